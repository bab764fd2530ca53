#pragma once

#include <cctype>
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
/// `library` without an engine.
///
/// Like the engine, it resolves a registered name followed by numeric sub-identifiers
/// ("ifDescr.7"), dotted numeric text (".1.3.6.1"), and names numbers below a registered OID
/// by that name plus the remaining sub-identifiers. Anything else throws
/// exceptions::missing_mib_for_oid.
class map_library : public library {
 public:
  map_library() = default;
  map_library(std::initializer_list<std::pair<std::string, std::vector<long>>> entries) {
    for (const auto& [name, numeric] : entries) add(name, numeric);
  }

  /// Registers `name` as the full name of `numeric`, in both directions.
  map_library& add(const std::string& name, const std::vector<long>& numeric) {
    numbers_[name] = numeric;
    names_[numeric] = name;
    return *this;
  }

  /// Registers `name` as one more way to write `numeric`; the full name stays as it was.
  map_library& alias(const std::string& name, const std::vector<long>& numeric) {
    numbers_[name] = numeric;
    return *this;
  }

  std::vector<long> name_to_numeric(const std::string& name) const override {
    ++lookups;
    if (const auto found = numbers_.find(name); found != numbers_.end()) return found->second;
    if (auto numeric = parse_numbers(name)) return *numeric;
    // The longest registered name that is followed by "." and numbers only.
    for (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0;
         dot = name.rfind('.', dot - 1)) {
      const auto base = numbers_.find(name.substr(0, dot));
      if (base == numbers_.end()) continue;
      if (auto rest = parse_numbers(name.substr(dot))) {
        std::vector<long> numeric = base->second;
        numeric.insert(numeric.end(), rest->begin(), rest->end());
        return numeric;
      }
    }
    throw exceptions::missing_mib_for_oid(name, "Unknown Object Identifier");
  }

  std::string numeric_to_name(const std::vector<long>& numeric) const override {
    for (std::size_t length = numeric.size(); length > 0; --length) {
      const std::vector<long> base(numeric.begin(), numeric.begin() + length);
      const auto found = names_.find(base);
      if (found == names_.end()) continue;
      const std::vector<long> rest(numeric.begin() + length, numeric.end());
      return found->second + numeric_oid_to_string(rest);
    }
    return numeric_oid_to_string(numeric);
  }

  /// Calls of name_to_numeric so far.
  mutable std::size_t lookups = 0;

 private:
  // ".1.3.6" gives {1, 3, 6}; anything that is not "." followed by digits, repeatedly, nothing.
  static std::optional<std::vector<long>> parse_numbers(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::vector<long> numeric;
    std::size_t at = 0;
    while (at < text.size()) {
      if (text[at] != '.') return std::nullopt;
      const std::size_t begin = ++at;
      while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
      if (at == begin || at - begin > 10) return std::nullopt;
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
  auto add = [&lib](const std::string& name, std::initializer_list<long> below_mib2) {
    std::vector<long> numeric = {1, 3, 6, 1, 2, 1};
    numeric.insert(numeric.end(), below_mib2);
    lib.add(name, numeric);
    lib.alias(name.substr(name.rfind('.') + 1), numeric);
  };
  add("system.sysDescr", {1, 1});
  add("system.sysObjectID", {1, 2});
  add("system.sysUpTime", {1, 3});
  add("system.sysContact", {1, 4});
  add("system.sysName", {1, 5});
  add("system.sysLocation", {1, 6});
  add("interfaces.ifTable", {2, 2});
  add("interfaces.ifTable.ifEntry", {2, 2, 1});
  const char* if_columns[] = {"ifIndex", "ifDescr",       "ifType",        "ifMtu",
                              "ifSpeed", "ifPhysAddress", "ifAdminStatus", "ifOperStatus"};
  long column = 1;
  for (const char* name : if_columns) {
    add(std::string("interfaces.ifTable.ifEntry.") + name, {2, 2, 1, column++});
  }
  add("ifMIB.ifMIBObjects.ifXTable", {31, 1, 1});
  add("ifMIB.ifMIBObjects.ifXTable.ifXEntry", {31, 1, 1, 1});
  add("ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifName", {31, 1, 1, 1, 1});
  add("ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifHCInOctets", {31, 1, 1, 1, 6});
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
