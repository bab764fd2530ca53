// The test agent as a Windows test process sees it: Debian's snmpd runs on the host, started by
// tests/helpers/agent_host.cpp, and reaches the test through two environment variables. The
// silent agent is a Windows sockets UDP socket.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

#include "helpers/snmp_agent.hpp"

namespace corvane::tallis::kestrel::helpers {

namespace fs = std::filesystem;

namespace {

std::string required_environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string("no test agent: ") + name +
                             " is not set (scripts/test-windows starts one)");
  }
  return value;
}

[[noreturn]] void not_here(const char* what) {
  throw std::logic_error(std::string(what) + ": the test agent is run by the host");
}

}  // namespace

bool snmp_agent::controllable() { return false; }

snmp_agent::snmp_agent() {
  const std::string port = required_environment("KESTREL_TEST_AGENT_PORT");
  port_ = static_cast<std::uint16_t>(std::stoul(port));
  directory_ = required_environment("KESTREL_TEST_AGENT_DIR");
  pid_ = 1;
}

snmp_agent::~snmp_agent() = default;

std::uint16_t snmp_agent::port() const { return port_; }

const fs::path& snmp_agent::directory() const { return directory_; }

void snmp_agent::stop() { not_here("stop"); }

void snmp_agent::start() { not_here("start"); }

void snmp_agent::renew_engine_id() { not_here("renew_engine_id"); }

snmp_agent& shared_agent() {
  static snmp_agent agent;
  return agent;
}

silent_agent::silent_agent() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    ::WSACleanup();
    throw std::runtime_error("socket: error " + std::to_string(::WSAGetLastError()));
  }
  sockaddr_in address{};  // 127.0.0.1, any free port
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::closesocket(s);
    ::WSACleanup();
    throw std::runtime_error("bind: error " + std::to_string(::WSAGetLastError()));
  }
  int length = sizeof(address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  socket_ = static_cast<int>(s);
}

silent_agent::~silent_agent() {
  ::closesocket(static_cast<SOCKET>(socket_));
  ::WSACleanup();
}

std::uint16_t silent_agent::port() const { return port_; }

std::optional<std::uint16_t> silent_agent::receive(std::chrono::milliseconds timeout) {
  const SOCKET s = static_cast<SOCKET>(socket_);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit{static_cast<long>(timeout.count() / 1000),
                static_cast<long>((timeout.count() % 1000) * 1000)};
  if (::select(0, &readable, nullptr, nullptr, &limit) != 1) return std::nullopt;
  std::array<char, 65536> buffer{};
  sockaddr_in sender{};
  int length = sizeof(sender);
  if (::recvfrom(s, buffer.data(), static_cast<int>(buffer.size()), 0,
                 reinterpret_cast<sockaddr*>(&sender), &length) == SOCKET_ERROR) {
    return std::nullopt;
  }
  return ntohs(sender.sin_port);
}

std::size_t silent_agent::drain() {
  const SOCKET s = static_cast<SOCKET>(socket_);
  std::size_t count = 0;
  std::array<char, 65536> buffer{};
  // Bounded: a client under test never sends anywhere near this many.
  while (count < 10000) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval now{0, 0};
    if (::select(0, &readable, nullptr, nullptr, &now) != 1) break;
    if (::recv(s, buffer.data(), static_cast<int>(buffer.size()), 0) == SOCKET_ERROR) break;
    ++count;
  }
  return count;
}

}  // namespace corvane::tallis::kestrel::helpers
