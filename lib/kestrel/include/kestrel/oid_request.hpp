#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <kestrel/export.hpp>
#include <kestrel/oid.hpp>

namespace corvane::tallis::kestrel {

/// Query kind, as the connection executes it.
enum class query_t : std::int32_t {
  get = 0,   ///< a GET of all OIDs
  walk = 1,  ///< a GETNEXT walk from the single OID, at most max_depth steps
  bulk = 2,  ///< one GETBULK of the single OID with max-repetitions bulk_size
};

/// One query as a connection runs it.
class KESTREL_EXPORT oid_request {
 public:
  /// max_depth and bulk_size start at 2147483647; no subtree limit.
  oid_request(query_t type, std::vector<oid> oids);
  oid_request(query_t type, oid o);

  oid_request(const oid_request&);
  oid_request(oid_request&&) noexcept;
  oid_request& operator=(const oid_request&);
  oid_request& operator=(oid_request&&) noexcept;
  ~oid_request();

  query_t type() const;
  const std::vector<oid>& oids() const;
  int max_depth() const;
  int bulk_size() const;
  const std::optional<oid>& only_children_of_oid() const;

  /// Stores the larger of `depth` and 1.
  oid_request& max_depth(int depth);
  /// Stores the larger of `size` and 1.
  oid_request& bulk_size(int size);
  /// When set, the connection keeps only results inside this subtree and marks the cut-off
  /// with an "End Of Table" error response.
  oid_request& only_children_of_oid(const std::optional<oid>& subtree);

  bool operator==(const oid_request& other) const;

 private:
  query_t type_;
  std::vector<oid> oids_;
  int max_depth_;
  int bulk_size_;
  std::optional<oid> only_children_of_oid_;
};

}  // namespace corvane::tallis::kestrel
