// Descriptions of the MIB engine instance: version, MIB directories, modules, protocols, hints.
#include <algorithm>
#include <kestrel/engine_info.hpp>
#include <stdexcept>
#include <utility>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/pool_netsnmp.hpp"
#include "support/platform.hpp"

namespace corvane::tallis::kestrel {

namespace {

// The tools' protocol names with the engine data symbol that offers each.
const std::pair<const char*, const char*> auth_symbols[] = {
    {"MD5", "usmHMACMD5AuthProtocol"},           {"SHA", "usmHMACSHA1AuthProtocol"},
    {"SHA-224", "usmHMAC128SHA224AuthProtocol"}, {"SHA-256", "usmHMAC192SHA256AuthProtocol"},
    {"SHA-384", "usmHMAC256SHA384AuthProtocol"}, {"SHA-512", "usmHMAC384SHA512AuthProtocol"}};
const std::pair<const char*, const char*> priv_symbols[] = {
    {"DES", "usmDESPrivProtocol"},
    {"AES", "usmAESPrivProtocol"},
    {"AES-192", "usmAES192PrivProtocol"},
    {"AES-256", "usmAES256PrivProtocol"},
    {"AES-192-C", "usmAES192CiscoPrivProtocol"},
    {"AES-256-C", "usmAES256CiscoPrivProtocol"}};

// A bound on module ids, far above any MIB collection; ids are handed out from 0 upwards.
constexpr int most_modules = 100000;

template <std::size_t N>
std::vector<std::string> offered(dynamic_library& engine,
                                 const std::pair<const char*, const char*> (&table)[N]) {
  std::vector<std::string> names;
  for (const auto& [name, symbol] : table) {
    try {
      engine.get_symbol(symbol);
      names.emplace_back(name);
    } catch (const std::runtime_error&) {
      // An engine built without this protocol.
    }
  }
  return names;
}

std::shared_ptr<context_netsnmp> mib_context(pool& p) {
  return dynamic_cast<pool_netsnmp&>(p).get_context(0);
}

}  // namespace

engine_description describe_engine(pool& p) {
  const auto context = mib_context(p);
  dynamic_library& engine = context->engine();
  engine_description description;

  description.version = invoke<decltype(::netsnmp_get_version)>(engine, "netsnmp_get_version");

  const char* directories =
      invoke<decltype(::netsnmp_get_mib_directory)>(engine, "netsnmp_get_mib_directory");
  const std::string list = directories != nullptr ? directories : "";
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(platform::mib_list_separator(), start), list.size());
    if (end > start) description.mib_directories.push_back(list.substr(start, end - start));
    start = end + 1;
  }

  for (int id = 0; id < most_modules; ++id) {
    const struct module* found = invoke<decltype(::find_module)>(engine, "find_module", id);
    if (found == nullptr) break;
    // A module that was found in a directory but never read has no import count yet.
    if (found->no_imports >= 0 && found->name != nullptr)
      description.modules.emplace_back(found->name);
  }
  std::sort(description.modules.begin(), description.modules.end());

  description.auth_protocols = offered(engine, auth_symbols);
  description.priv_protocols = offered(engine, priv_symbols);
  return description;
}

std::string display_hint(pool& p, const std::vector<long>& numeric) {
  if (numeric.empty()) return {};
  const auto context = mib_context(p);
  dynamic_library& engine = context->engine();
  std::vector<::oid> name(numeric.begin(), numeric.end());
  struct tree* head = invoke<decltype(::get_tree_head)>(engine, "get_tree_head");
  const struct tree* node =
      invoke<decltype(::get_tree)>(engine, "get_tree", name.data(), name.size(), head);
  // get_tree answers with the deepest object it knows: for an instance OID its object.
  if (node == nullptr || node->hint == nullptr) return {};
  return node->hint;
}

}  // namespace corvane::tallis::kestrel
