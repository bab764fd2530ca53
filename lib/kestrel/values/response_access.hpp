#pragma once

#include <kestrel/response.hpp>

namespace corvane::tallis::kestrel::detail {

/// The library's own look at a response's OID, without the copy the public accessors hand out:
/// the paging and table code compares every cell's OID.
struct response_access {
  static const kestrel::oid& oid_of(const response& r) { return r.oid_; }
};

}  // namespace corvane::tallis::kestrel::detail
