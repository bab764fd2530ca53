#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <kestrel/export.hpp>

namespace corvane::tallis::kestrel {

/// SNMP protocol version.
enum class version_t : std::int32_t { snmp_v1 = 0, snmp_v2c = 1, snmp_v3 = 2 };

/// SNMPv3 authentication protocol.
enum class auth_t : std::int32_t { none = 0, md5 = 1, sha1 = 2, sha224 = 3, sha256 = 4, sha384 = 5, sha512 = 6 };

/// SNMPv3 privacy protocol. `aes192` and `aes256` extend the localised key as the AES-192/256
/// drafts do (Net-SNMP's AES-192, AES-256); `aes192c` and `aes256c` extend it the way many
/// switches do (Net-SNMP's AES-192-C, AES-256-C). An agent accepts only its own extension.
enum class priv_t : std::int32_t {
  none = 0,
  des = 1,
  aes = 2,
  aes192 = 3,
  aes256 = 4,
  aes192c = 5,
  aes256c = 6
};

/// Which agent to talk to and how to authenticate. A plain value.
class KESTREL_EXPORT settings {
 public:
  /// SNMPv1 (use_v2c false) or SNMPv2c (use_v2c true).
  settings(std::string community, bool use_v2c, std::string host,
           std::optional<std::uint16_t> port, std::optional<std::chrono::seconds> timeout);

  /// SNMPv3. Nothing is validated here; unusable passwords fail when the connection opens.
  settings(std::string username, std::string password, auth_t auth, std::string encryption_key,
           priv_t priv, std::string context, std::string host, std::optional<std::uint16_t> port,
           std::optional<std::chrono::seconds> timeout);

  settings(const settings&);
  settings(settings&&) noexcept;
  settings& operator=(const settings&);
  settings& operator=(settings&&) noexcept;
  ~settings();

  std::string host() const;
  std::optional<std::uint16_t> port() const;
  version_t snmp_version() const;
  std::string community() const;
  std::string username() const;
  std::string password() const;
  auth_t auth_type() const;
  std::string encryption_key() const;
  priv_t priv_type() const;
  std::string context() const;
  std::optional<std::chrono::seconds> timeout() const;

  /// Replaces the time-out.
  settings& timeout(std::optional<std::chrono::seconds> timeout);

  bool operator==(const settings& other) const;

  /// FNV-1a of every field, folded together; keys the engine instance of a connection.
  /// An empty time-out hashes like 0 s; an empty port does not hash like port 0.
  std::uint32_t get_hash() const;

 private:
  std::string host_;
  std::optional<std::uint16_t> port_;
  version_t snmp_version_;
  std::string community_;
  std::string username_;
  std::string password_;
  auth_t auth_type_;
  std::string encryption_key_;
  priv_t priv_type_;
  std::string context_;
  std::optional<std::chrono::seconds> timeout_;
};

}  // namespace corvane::tallis::kestrel
