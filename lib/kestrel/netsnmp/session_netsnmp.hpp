#pragma once

#include <memory>

#include <kestrel/settings.hpp>

#include "netsnmp/context_netsnmp.hpp"

namespace corvane::tallis::kestrel {

/// One opened Net-SNMP single session on one engine context, described by one `settings`
/// value. It exists only opened: the constructor either opens the session or throws.
class session_netsnmp {
 public:
  /// Fills the session description from `settings`, localises the SNMPv3 keys and opens the
  /// session. Throws exceptions::initialization_failed when the engine cannot open it, and
  /// exceptions::authentication_password_invalid or exceptions::encryption_key_invalid when
  /// the key generation rejects the password or the encryption key.
  session_netsnmp(std::shared_ptr<context_netsnmp> context, const settings& settings);
  session_netsnmp(const session_netsnmp&) = delete;
  session_netsnmp& operator=(const session_netsnmp&) = delete;
  /// Closes the session, wipes the keys and the community of the description and frees its
  /// strings.
  ~session_netsnmp();

  /// The engine instance the session was opened on.
  context_netsnmp& context() const;
  /// The description the session was opened from; the engine works on its own copy.
  const netsnmp_session& description() const;
  /// The engine's single-session handle; never null.
  void* handle() const;
  /// The GETBULK sent ahead over this session, if any (see context_netsnmp::send_ahead).
  read_ahead& ahead();

 private:
  void describe(const settings& settings);
  void describe_usm(const settings& settings);
  void release_strings();

  std::shared_ptr<context_netsnmp> context_;
  netsnmp_session description_;
  void* handle_;
  read_ahead ahead_;
};

}  // namespace corvane::tallis::kestrel
