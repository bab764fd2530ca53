#pragma once

#include <algorithm>
#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>
#include <kestrel/response.hpp>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::tallis::kestrel::helpers {

/// A MIB name service over a fixed map from names to numbers and back, for tests that need a
/// `library` without an engine (see `mib2_library`).
///
/// Like the engine, it resolves a registered name followed by numeric sub-identifiers
/// ("ifDescr.7"), dotted numeric text (".1.3.6.1"), and names numbers below a registered OID
/// by that name plus the remaining sub-identifiers. Anything else throws
/// exceptions::missing_mib_for_oid.
class map_library : public library {
 public:
  std::vector<long> name_to_numeric(const std::string& name) const override {
    // The name itself, or the longest registered name followed by "." and numbers only.
    for (auto end = name.size(); end != std::string::npos && end > 0;
         end = name.rfind('.', end - 1)) {
      const auto base = numbers_.find(name.substr(0, end));
      const auto rest = parse_numbers(name.substr(end));
      if (base == numbers_.end() || !rest) continue;
      std::vector<long> numeric = base->second;
      numeric.insert(numeric.end(), rest->begin(), rest->end());
      return numeric;
    }
    if (auto numeric = parse_numbers(name); numeric && !numeric->empty()) return *numeric;
    throw exceptions::missing_mib_for_oid(name, "Unknown Object Identifier");
  }

  std::string numeric_to_name(const std::vector<long>& numeric) const override {
    for (std::size_t length = numeric.size(); length > 0; --length) {
      const auto found = names_.find(std::vector<long>(numeric.begin(), numeric.begin() + length));
      if (found == names_.end()) continue;
      return found->second +
             numeric_oid_to_string(std::vector<long>(numeric.begin() + length, numeric.end()));
    }
    return numeric_oid_to_string(numeric);
  }

 private:
  friend map_library mib2_library();

  // Registers the full `name` of the object `below_mib2` under MIB-2 in both directions, and
  // its last component as one more way to write it.
  void add(const std::string& name, std::initializer_list<long> below_mib2) {
    std::vector<long> numeric = {1, 3, 6, 1, 2, 1};
    numeric.insert(numeric.end(), below_mib2);
    numbers_[name] = numbers_[name.substr(name.rfind('.') + 1)] = numeric;
    names_[numeric] = name;
  }

  // ".1.3.6" gives {1, 3, 6} and "" nothing; anything that is not "." followed by digits,
  // repeatedly, no value.
  static std::optional<std::vector<long>> parse_numbers(const std::string& text) {
    std::vector<long> numeric;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t begin = at + 1;
      at = std::min(text.find_first_not_of("0123456789", begin), text.size());
      if (text[begin - 1] != '.' || at == begin || at - begin > 10) return std::nullopt;
      numeric.push_back(std::stol(text.substr(begin, at - begin)));
    }
    return numeric;
  }

  std::map<std::string, std::vector<long>> numbers_;
  std::map<std::vector<long>, std::string> names_;
};

/// A library with a few MIB-2 objects under short full names ("system.sysName",
/// "interfaces.ifTable.ifEntry.ifDescr", "ifMIB.ifMIBObjects.ifXTable..."), each also known
/// by its last component ("sysName", "ifTable", "ifDescr").
inline map_library mib2_library() {
  map_library lib;
  long column = 0;
  for (const char* name :
       {"sysDescr", "sysObjectID", "sysUpTime", "sysContact", "sysName", "sysLocation"}) {
    lib.add(std::string("system.") + name, {1, ++column});
  }
  lib.add("interfaces.ifTable", {2, 2});
  lib.add("interfaces.ifTable.ifEntry", {2, 2, 1});
  column = 0;
  for (const char* name : {"ifIndex", "ifDescr", "ifType", "ifMtu", "ifSpeed", "ifPhysAddress",
                           "ifAdminStatus", "ifOperStatus"}) {
    lib.add(std::string("interfaces.ifTable.ifEntry.") + name, {2, 2, 1, ++column});
  }
  lib.add("ifMIB.ifMIBObjects.ifXTable", {31, 1, 1});
  lib.add("ifMIB.ifMIBObjects.ifXTable.ifXEntry", {31, 1, 1, 1});
  lib.add("ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifName", {31, 1, 1, 1, 1});
  lib.add("ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifHCInOctets", {31, 1, 1, 1, 6});
  return lib;
}

/// A response for `name` as resolved by `lib`.
inline response make_response(const library& lib, const std::string& name,
                              response::value_t value) {
  return response(lib.oid_from_name(name), std::move(value));
}

/// An error-marker response for `name`.
inline response make_error(const library& lib, const std::string& name, const std::string& text) {
  return make_response(lib, name, response::error_value{text});
}

}  // namespace corvane::tallis::kestrel::helpers
