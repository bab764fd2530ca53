#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace corvane::tallis::kestrel::helpers {

/// Debian's snmpd on loopback (127.0.0.1 and [::1], one free UDP port), started from a
/// configuration generated into a temporary directory of its own: nothing is read from
/// /etc/snmp, the persistent state (and with it the engine ID) lives in that directory, and the
/// log goes to a file there. It serves community "public" (v1, v2c) and the SNMPv3 users
/// u_sha_aes (SHA, AES), u_sha256_aes (SHA-256, AES), u_sha_aes256c (SHA, AES-256-C) and
/// u_sha512_aes256 (SHA-512, AES256).
///
/// The agent is stopped by its PID when the object goes, and dies with the thread that started
/// it if the test process ends abruptly.
class snmp_agent {
 public:
  static constexpr const char* community = "public";
  static constexpr const char* auth_password = "auth-password";
  static constexpr const char* priv_password = "priv-password";
  static constexpr const char* sys_contact = "kestrel-test";
  static constexpr const char* sys_name = "kestrel-agent";
  static constexpr const char* sys_location = "loopback";
  static constexpr int sys_services = 72;
  /// Under NET-SNMP-MIB::netSnmpExperimental: the text "line one\nline two" and the DateAndTime
  /// 2024-05-01 12:30:45.6 +02:00 (11 octets).
  static constexpr const char* playpen_text_oid = ".1.3.6.1.4.1.8072.9999.1.0";
  static constexpr const char* playpen_date_oid = ".1.3.6.1.4.1.8072.9999.2.0";

  /// Starts the agent and waits (bounded) until it answers. Throws std::runtime_error when it
  /// cannot be started.
  ///
  /// Where the test process cannot start snmpd itself (a Windows test process under wine), the
  /// agent is one that the host runs for it (tests/helpers/agent_host.cpp), named by the
  /// environment variables KESTREL_TEST_AGENT_PORT and KESTREL_TEST_AGENT_DIR; such an agent
  /// cannot be stopped or restarted from here (see `controllable`).
  snmp_agent();
  snmp_agent(const snmp_agent&) = delete;
  snmp_agent& operator=(const snmp_agent&) = delete;
  ~snmp_agent();

  std::uint16_t port() const;
  const std::filesystem::path& directory() const;

  /// Whether this process runs the agent itself, so that `stop`, `start` and
  /// `renew_engine_id` work; they throw std::logic_error on an agent run by the host.
  static bool controllable();

  /// Stops the agent (SIGTERM, then SIGKILL after a bounded wait).
  void stop();
  /// Starts it again on the same port; it keeps its engine ID unless `renew_engine_id` ran.
  void start();
  /// Drops the persistent state of a stopped agent: its next start has a new engine ID.
  void renew_engine_id();

  /// What the agent wrote to its log so far.
  std::string log_text() const;

 private:
  void write_configuration() const;
  bool launch();

  std::filesystem::path directory_;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
};

/// The agent shared by the tests of one process, started on first use (call it from the main
/// thread) and stopped when the process exits.
snmp_agent& shared_agent();

/// A UDP socket on 127.0.0.1 that receives and never answers: it counts what a client sends.
class silent_agent {
 public:
  silent_agent();
  silent_agent(const silent_agent&) = delete;
  silent_agent& operator=(const silent_agent&) = delete;
  ~silent_agent();

  std::uint16_t port() const;
  /// Waits at most `timeout` for one datagram and returns the sender's port.
  std::optional<std::uint16_t> receive(std::chrono::milliseconds timeout);
  /// The number of datagrams waiting now (they are consumed).
  std::size_t drain();

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace corvane::tallis::kestrel::helpers
