#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <kestrel/library.hpp>

#include "request/table_paging.hpp"

namespace corvane::tallis::kestrel {

class context_netsnmp;

/// MIB name services over the pool's MIB context (key 0), serialised by its MIB lock (never
/// by its engine lock, so exchanges go on while names are looked up).
class library_netsnmp : public library, public table_shape {
 public:
  /// Sub-identifiers a name may resolve to.
  static constexpr std::size_t max_numeric_length = 128;
  /// Characters of a full textual name.
  static constexpr std::size_t max_name_length = 2047;

  explicit library_netsnmp(std::shared_ptr<context_netsnmp> context);
  library_netsnmp(const library_netsnmp&) = delete;
  library_netsnmp& operator=(const library_netsnmp&) = delete;
  ~library_netsnmp() override;

  /// Throws exceptions::missing_mib_for_oid(name, engine text) for a name the MIBs do not
  /// know, invalid syntax or more than `max_numeric_length` sub-identifiers.
  std::vector<long> name_to_numeric(const std::string& name) const override;
  /// Throws exceptions::maximum_oid_size_exceeded when the name exceeds `max_name_length`.
  std::string numeric_to_name(const std::vector<long>& numeric) const override;
  /// The readable columns of the table's entry, as the MIB tree lists them.
  std::size_t readable_columns(const std::vector<long>& table) const override;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace corvane::tallis::kestrel
