#pragma once

#include <string>
#include <vector>

#include <kestrel/export.hpp>
#include <kestrel/oid.hpp>

namespace corvane::tallis::kestrel {

/// MIB name services: names to numeric OIDs and back.
class KESTREL_EXPORT library {
 public:
  library() = default;
  library(const library&) = default;
  library& operator=(const library&) = default;
  virtual ~library();

  /// The numeric OID that a name (label, MODULE::label, dotted numbers) stands for.
  virtual std::vector<long> name_to_numeric(const std::string& name) const = 0;
  /// The full textual name of a numeric OID.
  virtual std::string numeric_to_name(const std::vector<long>& numeric) const = 0;

  /// The numbers and the full name of `name`.
  oid oid_from_name(const std::string& name) const;
  /// The dotted numeric text of `name`; the textual name is not asked for.
  std::string oid_string_from_name(const std::string& name) const;

  /// ".1.3.6.1" form; an empty vector gives "". No engine call.
  static std::string numeric_oid_to_string(const std::vector<long>& numeric);
  /// The last "."-separated piece of the name without a trailing "Table" (ifTable gives if).
  /// An empty name gives the empty text.
  static std::string table_name_from_oid(const oid& o);
};

}  // namespace corvane::tallis::kestrel
