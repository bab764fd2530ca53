#pragma once

#include <kestrel/compat_settings.hpp>
#include <kestrel/connection_options.hpp>
#include <kestrel/settings.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace kestrel_cli {

/// Bad usage or bad input found by the tool itself (exit code 2).
class usage_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// An agent address split into the host text the engine understands and a port.
struct agent_address {
  std::string host;
  std::optional<std::uint16_t> port;
};

/// Parses "host", "host:port", "[addr]:port", "udp:host:port" or "udp6:[addr]:port". A bare
/// IPv6 address without brackets is taken whole as the host.
agent_address parse_agent_address(const std::string& text);

/// The agent options, with Net-SNMP's letters where one exists.
struct agent_options {
  std::string version = "2c";
  std::string community = "public";
  std::string user;
  std::string auth_protocol;
  std::string auth_passphrase;
  std::string priv_protocol;
  std::string priv_passphrase;
  std::string context;
  std::optional<long> timeout_seconds;
  std::optional<int> retries;
  long delay_ms = 0;
  bool getnext = false;
  bool one_by_one = false;
  bool library_defaults = false;
  std::optional<std::size_t> max_values;
};

corvane::tallis::kestrel::settings make_settings(const agent_options& options,
                                                 const std::string& host);
corvane::tallis::kestrel::compat_settings make_compat_settings(const agent_options& options);
/// Every option that keeps an agent's data, unless `library_defaults` asks for the library's
/// own behaviour.
corvane::tallis::kestrel::connection_options make_connection_options(const agent_options& options);

}  // namespace kestrel_cli
