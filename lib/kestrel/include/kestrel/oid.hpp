#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <kestrel/export.hpp>

namespace corvane::tallis::kestrel {

/// An object identifier: its numeric sub-identifiers and its textual name, both as the MIB
/// name service produced them. Neither is derived from the other here.
class KESTREL_EXPORT oid {
 public:
  oid(std::vector<long> numeric_oid, std::string name);

  oid(const oid&);
  oid(oid&&) noexcept;
  oid& operator=(const oid&);
  oid& operator=(oid&&) noexcept;
  ~oid();

  const std::vector<long>& numeric_oid() const;
  const std::string& name() const;
  unsigned size() const;

  /// Equal numbers and equal names.
  bool operator==(const oid& other) const;

  /// By numbers (signed, lexicographic, a prefix first); by name when the numbers are equal.
  bool operator<(const oid& other) const;

 private:
  std::vector<long> numeric_oid_;
  std::string name_;
};

/// Writes every sub-identifier preceded by "." (.1.3.6.1.2.1); an empty list writes nothing.
KESTREL_EXPORT std::ostream& operator<<(std::ostream& stream, const std::vector<long>& numeric);

}  // namespace corvane::tallis::kestrel
