#include "options.hpp"

#include <charconv>
#include <chrono>
#include <map>

namespace k = corvane::tallis::kestrel;

namespace kestrel_cli {

namespace {

std::uint16_t parse_port(const std::string& text, const std::string& whole) {
  unsigned value = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value == 0 || value > 65535) {
    throw usage_error("invalid port in agent address '" + whole + "'");
  }
  return static_cast<std::uint16_t>(value);
}

template <class Enum>
Enum lookup(const std::map<std::string, Enum>& names, const std::string& text,
            const std::string& what) {
  const auto found = names.find(text);
  if (found == names.end()) {
    std::string known;
    for (const auto& [name, value] : names) known += (known.empty() ? "" : ", ") + name;
    throw usage_error("unknown " + what + " '" + text + "' (one of " + known + ")");
  }
  return found->second;
}

}  // namespace

agent_address parse_agent_address(const std::string& text) {
  if (text.empty()) throw usage_error("empty agent address");
  std::string rest = text;
  std::string transport;
  for (const char* prefix : {"udp6:", "udp:"}) {
    if (rest.rfind(prefix, 0) == 0) {
      transport = prefix;
      rest.erase(0, transport.size());
      break;
    }
  }
  if (rest.empty()) throw usage_error("no host in agent address '" + text + "'");

  if (rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) throw usage_error("unclosed '[' in agent address '" + text + "'");
    agent_address address{transport + rest.substr(0, close + 1), std::nullopt};
    const std::string after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') throw usage_error("unexpected text after ']' in '" + text + "'");
      address.port = parse_port(after.substr(1), text);
    }
    return address;
  }

  const auto colon = rest.find(':');
  if (colon == std::string::npos) return {transport + rest, std::nullopt};
  // More than one colon without brackets: a bare IPv6 address, no port.
  if (rest.find(':', colon + 1) != std::string::npos) return {transport + rest, std::nullopt};
  if (colon == 0) throw usage_error("no host in agent address '" + text + "'");
  return {transport + rest.substr(0, colon), parse_port(rest.substr(colon + 1), text)};
}

k::settings make_settings(const agent_options& options, const std::string& host_text) {
  const agent_address address = parse_agent_address(host_text);
  std::optional<std::chrono::seconds> timeout;
  if (options.timeout_seconds) {
    if (*options.timeout_seconds < 1) throw usage_error("the time-out (-t) must be at least 1 s");
    timeout = std::chrono::seconds(*options.timeout_seconds);
  }

  if (options.version == "1" || options.version == "2c") {
    return k::settings(options.community, options.version == "2c", address.host, address.port,
                       timeout);
  }
  if (options.version != "3") {
    throw usage_error("unknown SNMP version '" + options.version + "' (one of 1, 2c, 3)");
  }
  if (options.user.empty()) throw usage_error("SNMPv3 needs a user name (-u)");

  static const std::map<std::string, k::auth_t> auth_names = {
      {"MD5", k::auth_t::md5},       {"SHA", k::auth_t::sha1},
      {"SHA-224", k::auth_t::sha224}, {"SHA-256", k::auth_t::sha256},
      {"SHA-384", k::auth_t::sha384}, {"SHA-512", k::auth_t::sha512}};
  static const std::map<std::string, k::priv_t> priv_names = {
      {"DES", k::priv_t::des},           {"AES", k::priv_t::aes},
      {"AES-192", k::priv_t::aes192},    {"AES-256", k::priv_t::aes256},
      {"AES-192-C", k::priv_t::aes192c}, {"AES-256-C", k::priv_t::aes256c}};
  k::auth_t auth = k::auth_t::none;
  if (!options.auth_protocol.empty()) {
    auth = lookup(auth_names, options.auth_protocol, "authentication protocol");
  } else if (!options.auth_passphrase.empty()) {
    auth = k::auth_t::md5;  // Net-SNMP's tools default to MD5 when only -A is given.
  }
  k::priv_t priv = k::priv_t::none;
  if (!options.priv_protocol.empty()) {
    priv = lookup(priv_names, options.priv_protocol, "privacy protocol");
  } else if (!options.priv_passphrase.empty()) {
    priv = k::priv_t::des;
  }
  if (priv != k::priv_t::none && auth == k::auth_t::none) {
    throw usage_error("privacy (-x/-X) needs authentication (-a/-A)");
  }
  return k::settings(options.user, options.auth_passphrase, auth, options.priv_passphrase, priv,
                     options.context, address.host, address.port, timeout);
}

k::compat_settings make_compat_settings(const agent_options& options) {
  if (options.delay_ms < 0) throw usage_error("the delay (--delay) cannot be negative");
  if (options.retries && *options.retries < 0) throw usage_error("-r cannot be negative");
  const bool retry = !options.retries || *options.retries > 0;
  return k::compat_settings(std::chrono::milliseconds(options.delay_ms),
                            retry ? k::retry_t::retry : k::retry_t::no_retry,
                            k::counter_mode_t::default_mode,
                            options.one_by_one ? k::get_mode_t::one_by_one : k::get_mode_t::multi_get,
                            options.getnext ? k::walk_mode_t::getnext : k::walk_mode_t::getbulk);
}

k::connection_options make_connection_options(const agent_options& options) {
  k::connection_options chosen =
      options.library_defaults ? k::connection_options{} : k::connection_options::keep_everything();
  if (options.max_values) {
    if (*options.max_values < 1) throw usage_error("--max-values must be at least 1");
    chosen.max_responses = *options.max_values;
  }
  return chosen;
}

}  // namespace kestrel_cli
