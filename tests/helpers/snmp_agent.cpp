#include "helpers/snmp_agent.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

namespace corvane::tallis::kestrel::helpers {

namespace fs = std::filesystem;

namespace {

// An SNMPv2c GET of sysUpTime.0 with the community "public": any answer means ready.
constexpr std::array<unsigned char, 40> readiness_probe = {
    0x30, 0x26, 0x02, 0x01, 0x01, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xa0,
    0x19, 0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0e, 0x30, 0x0c,
    0x06, 0x08, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00, 0x05, 0x00};

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in loopback_v4(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A UDP socket bound to a free port on 127.0.0.1, and that port.
std::pair<int, std::uint16_t> loopback_socket(int flags) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | flags, 0);
  if (fd < 0) fail("socket");
  sockaddr_in address = loopback_v4(0);
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    fail("bind");
  }
  return {fd, ntohs(address.sin_port)};
}

// Whether the agent on `port` answers the probe within 100 ms.
bool answers(std::uint16_t port) {
  const auto [probe, unused] = loopback_socket(0);
  const sockaddr_in agent = loopback_v4(port);
  pollfd waiting{probe, POLLIN, 0};
  std::array<char, 1500> buffer{};
  const bool answered = ::sendto(probe, readiness_probe.data(), readiness_probe.size(), 0,
                                 reinterpret_cast<const sockaddr*>(&agent), sizeof(agent)) >= 0 &&
                        ::poll(&waiting, 1, 100) == 1 &&
                        ::recv(probe, buffer.data(), buffer.size(), 0) > 0;
  ::close(probe);
  return answered;
}

// Ends the child `pid`: SIGTERM, and SIGKILL when it has not gone after five seconds.
void end_child(pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int poll = 0; poll < 100; ++poll) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    ::poll(nullptr, 0, 50);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// Pointers to the texts of `strings`, ended by a null pointer, for execve.
std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

bool snmp_agent::controllable() { return true; }

snmp_agent::snmp_agent() {
  std::string pattern = (fs::temp_directory_path() / "kestrel-agent-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
  directory_ = pattern;
  fs::create_directories(directory_ / "mibs");
  try {
    // A port is free when picked, but another process may take it (on 127.0.0.1 or [::1])
    // before the agent binds it; the agent then exits and is started again on another.
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
      const auto [fd, port] = loopback_socket(SOCK_CLOEXEC);
      ::close(fd);
      port_ = port;
      renew_engine_id();
      write_configuration();
      launch();
    }
    if (pid_ < 0) throw std::runtime_error("snmpd did not start; log:\n" + log_text());
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
    throw;
  }
}

snmp_agent::~snmp_agent() {
  stop();
  std::error_code ignored;
  fs::remove_all(directory_, ignored);
}

std::uint16_t snmp_agent::port() const { return port_; }

const fs::path& snmp_agent::directory() const { return directory_; }

void snmp_agent::stop() {
  if (pid_ > 0) end_child(pid_);
  pid_ = -1;
}

void snmp_agent::start() {
  if (pid_ < 0 && !launch()) throw std::runtime_error("snmpd did not restart; log:\n" + log_text());
}

void snmp_agent::renew_engine_id() {
  if (pid_ > 0) throw std::logic_error("renew_engine_id needs a stopped agent");
  fs::remove_all(directory_ / "persist");
  fs::create_directories(directory_ / "persist");
}

void snmp_agent::write_configuration() const {
  std::ofstream conf(directory_ / "snmpd.conf", std::ios::trunc);
  conf << "syscontact " << sys_contact << "\nsysname " << sys_name << "\nsyslocation "
       << sys_location << "\nsysservices " << sys_services << "\n"
       << "dontLogTCPWrappersConnects yes\nview all included .1\n"
       << "rocommunity " << community << " default\nrocommunity6 " << community << " default\n";
  const std::tuple<const char*, const char*, const char*> users[] = {
      {"u_sha_aes", "SHA", "AES"},
      {"u_sha256_aes", "SHA-256", "AES"},
      {"u_sha_aes256c", "SHA", "AES-256-C"},
      {"u_sha512_aes256", "SHA-512", "AES256"}};
  for (const auto& [user, auth, priv] : users) {
    conf << "createUser " << user << " " << auth << " \"" << auth_password << "\" " << priv << " \""
         << priv_password << "\"\nrouser -s usm " << user << " priv\n";
  }
  // Values that clients must show with care: a text with a line break, and a DateAndTime.
  conf << "override " << playpen_text_oid << " octet_str 0x6c696e65206f6e650a6c696e652074776f\n"
       << "override " << playpen_date_oid << " octet_str 0x07e805010c1e2d062b0200\n";
  // The engine library behind the agent reads snmp.conf from the same path.
  std::ofstream(directory_ / "snmp.conf", std::ios::trunc) << "mibs :\n";
}

bool snmp_agent::launch() {
  const std::string port = std::to_string(port_), persist = (directory_ / "persist").string();
  const std::string log = (directory_ / "snmpd.log").string();
  std::vector<std::string> arguments = {
      "/usr/sbin/snmpd", "-f", "-A", "-Lf", log, "udp:127.0.0.1:" + port, "udp6:[::1]:" + port};
  // Only this directory is searched for configuration: neither /etc/snmp nor anything of the
  // caller's environment reaches the agent.
  std::vector<std::string> environment = {"SNMPCONFPATH=" + directory_.string() + ":" + persist,
                                          "SNMP_PERSISTENT_DIR=" + persist,
                                          "MIBDIRS=" + (directory_ / "mibs").string()};
  const std::vector<char*> argv = pointers(arguments), envp = pointers(environment);
  const int output = ::open((directory_ / "snmpd.stderr").c_str(),
                            O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) fail("fork");
  if (child == 0) {
    // The agent dies with the thread that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(output);
  // Ten seconds at most (100 probes of 100 ms).
  for (int poll = 0; poll < 100; ++poll) {
    if (::waitpid(child, nullptr, WNOHANG) == child) return false;
    if (answers(port_)) {
      pid_ = child;
      return true;
    }
  }
  end_child(child);
  return false;
}

std::string snmp_agent::log_text() const {
  // (Streaming an empty file's buffer would fail the whole text, so the characters are copied.)
  std::string text;
  for (const char* name : {"snmpd.log", "snmpd.stderr"}) {
    std::ifstream file(directory_ / name);
    text.append(std::istreambuf_iterator<char>(file), {});
  }
  return text;
}

snmp_agent& shared_agent() {
  static snmp_agent agent;
  return agent;
}

silent_agent::silent_agent() { std::tie(socket_, port_) = loopback_socket(SOCK_CLOEXEC); }

silent_agent::~silent_agent() { ::close(socket_); }

std::uint16_t silent_agent::port() const { return port_; }

std::optional<std::uint16_t> silent_agent::receive(std::chrono::milliseconds timeout) {
  pollfd waiting{socket_, POLLIN, 0};
  std::array<char, 65536> buffer{};
  sockaddr_in sender{};
  socklen_t length = sizeof(sender);
  if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1 ||
      ::recvfrom(socket_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender),
                 &length) < 0) {
    return std::nullopt;
  }
  return ntohs(sender.sin_port);
}

std::size_t silent_agent::drain() {
  std::size_t count = 0;
  std::array<char, 65536> buffer{};
  // Bounded: a client under test never sends anywhere near this many.
  while (count < 10000 && ::recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT) >= 0) {
    ++count;
  }
  return count;
}

}  // namespace corvane::tallis::kestrel::helpers
