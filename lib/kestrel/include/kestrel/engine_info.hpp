#pragma once

#include <string>
#include <vector>

#include <kestrel/export.hpp>
#include <kestrel/pool.hpp>

namespace corvane::tallis::kestrel {

/// What the pool's MIB engine instance is and has loaded.
struct engine_description {
  /// The engine's version ("5.9.3").
  std::string version;
  /// The MIB directories it searched, in order.
  std::vector<std::string> mib_directories;
  /// The MIB modules it has read, sorted by name.
  std::vector<std::string> modules;
  /// The SNMPv3 protocols it offers, by the names of Net-SNMP's tools ("SHA-256", "AES-256-C").
  std::vector<std::string> auth_protocols;
  std::vector<std::string> priv_protocols;
};

/// Describes the MIB engine instance of `p` (loading it, as create_library does).
KESTREL_EXPORT engine_description describe_engine(pool& p);

/// The DISPLAY-HINT that the loaded MIBs give the object of `numeric` (an instance OID names its
/// object), through the object's textual convention: "2d-1d-1d,1d:1d:1d.1d,1a1d:1d" for a
/// DateAndTime, "255a" for a DisplayString. Empty when the MIBs give none or do not know the
/// object.
KESTREL_EXPORT std::string display_hint(pool& p, const std::vector<long>& numeric);

}  // namespace corvane::tallis::kestrel
