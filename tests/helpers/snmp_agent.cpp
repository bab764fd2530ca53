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
#include <memory>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace corvane::tallis::kestrel::helpers {

namespace fs = std::filesystem;

namespace {

constexpr const char* snmpd_program = "/usr/sbin/snmpd";

// How long the agent may take to answer after a start, and to go after SIGTERM.
constexpr int readiness_polls = 100;
constexpr auto readiness_poll = std::chrono::milliseconds(100);
constexpr int stop_polls = 100;
constexpr auto stop_poll = std::chrono::milliseconds(50);

// An SNMPv2c GET of sysUpTime.0 with the community "public": any answer means ready.
constexpr std::array<unsigned char, 40> readiness_probe = {
    0x30, 0x26, 0x02, 0x01, 0x01, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xa0,
    0x19, 0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0e, 0x30, 0x0c,
    0x06, 0x08, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00, 0x05, 0x00};

struct descriptor {
  int fd;
  explicit descriptor(int f) : fd(f) {}
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
  ~descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

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

// A port that is free on 127.0.0.1 and on [::1] at the moment of asking.
std::uint16_t free_port() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    descriptor v4(::socket(AF_INET, SOCK_DGRAM, 0));
    if (v4.fd < 0) fail("socket");
    sockaddr_in address = loopback_v4(0);
    if (::bind(v4.fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) fail("bind");
    socklen_t length = sizeof(address);
    ::getsockname(v4.fd, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin_port);

    descriptor v6(::socket(AF_INET6, SOCK_DGRAM, 0));
    if (v6.fd < 0) fail("socket");
    const int only_v6 = 1;
    ::setsockopt(v6.fd, IPPROTO_IPV6, IPV6_V6ONLY, &only_v6, sizeof(only_v6));
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(port);
    address6.sin6_addr = in6addr_loopback;
    if (::bind(v6.fd, reinterpret_cast<sockaddr*>(&address6), sizeof(address6)) == 0) return port;
  }
  throw std::runtime_error("no UDP port is free on both 127.0.0.1 and [::1]");
}

bool answers(std::uint16_t port) {
  descriptor probe(::socket(AF_INET, SOCK_DGRAM, 0));
  if (probe.fd < 0) return false;
  const sockaddr_in agent = loopback_v4(port);
  if (::sendto(probe.fd, readiness_probe.data(), readiness_probe.size(), 0,
               reinterpret_cast<const sockaddr*>(&agent), sizeof(agent)) < 0) {
    return false;
  }
  pollfd waiting{probe.fd, POLLIN, 0};
  if (::poll(&waiting, 1, static_cast<int>(readiness_poll.count())) != 1) return false;
  std::array<char, 1500> buffer{};
  return ::recv(probe.fd, buffer.data(), buffer.size(), 0) > 0;
}

}  // namespace

bool snmp_agent::controllable() { return true; }

snmp_agent::snmp_agent() {
  std::string pattern = (fs::temp_directory_path() / "kestrel-agent-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
  directory_ = pattern;
  fs::create_directories(directory_ / "persist");
  fs::create_directories(directory_ / "mibs");
  try {
    // The port was free when picked; another process may take it before the agent binds it.
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
      port_ = free_port();
      write_configuration();
      if (!launch()) fs::remove_all(directory_ / "persist");
      fs::create_directories(directory_ / "persist");
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

bool snmp_agent::running() const { return pid_ > 0; }

void snmp_agent::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int poll = 0; poll < stop_polls; ++poll) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(stop_poll);
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void snmp_agent::start() {
  if (pid_ > 0) return;
  if (!launch()) throw std::runtime_error("snmpd did not restart; log:\n" + log_text());
}

void snmp_agent::renew_engine_id() {
  if (pid_ > 0) throw std::logic_error("renew_engine_id needs a stopped agent");
  fs::remove_all(directory_ / "persist");
  fs::create_directories(directory_ / "persist");
}

void snmp_agent::write_configuration() const {
  std::ofstream conf(directory_ / "snmpd.conf", std::ios::trunc);
  conf << "syscontact " << sys_contact << "\n"
       << "sysname " << sys_name << "\n"
       << "syslocation " << sys_location << "\n"
       << "sysservices " << sys_services << "\n"
       << "dontLogTCPWrappersConnects yes\n"
       << "rocommunity " << community << " default\n"
       << "rocommunity6 " << community << " default\n"
       << "view all included .1\n";
  static const char* const auth_tokens[] = {"",        "MD5",     "SHA",    "SHA-224",
                                            "SHA-256", "SHA-384", "SHA-512"};
  static const char* const priv_tokens[] = {"",       "DES",       "AES",      "AES192",
                                            "AES256", "AES-192-C", "AES-256-C"};
  for (const usm_user& user : users()) {
    conf << "createUser " << user.name;
    if (user.auth != 0) conf << " " << auth_tokens[user.auth] << " \"" << auth_password << "\"";
    if (user.priv != 0) conf << " " << priv_tokens[user.priv] << " \"" << priv_password << "\"";
    const char* level = user.auth == 0 ? "noauth" : user.priv == 0 ? "auth" : "priv";
    conf << "\nrouser -s usm " << user.name << " " << level << "\n";
  }
  // The agent serves a named context only through a proxy; this one points back at itself.
  conf << "proxy -Cn " << context_name << " -v 2c -c " << community << " udp:127.0.0.1:" << port_
       << " .1.3.6.1.2.1.1\n"
       << "createUser " << context_user << " SHA \"" << auth_password << "\" AES \""
       << priv_password << "\"\n"
       << "rouser -s usm " << context_user << " priv -V all " << context_name << "\n";
  // Values that clients must show with care: a text with a line break, and a DateAndTime.
  conf << "override " << playpen_text_oid << " octet_str 0x6c696e65206f6e650a6c696e652074776f\n"
       << "override " << playpen_date_oid << " octet_str 0x07e805010c1e2d062b0200\n";
  // The engine library behind the agent reads snmp.conf from the same path.
  std::ofstream(directory_ / "snmp.conf", std::ios::trunc) << "mibs :\n";
}

bool snmp_agent::launch() {
  const std::string log_file = (directory_ / "snmpd.log").string();
  const std::string port = std::to_string(port_);
  std::vector<std::string> arguments = {
      snmpd_program, "-f", "-A", "-Lf", log_file, "udp:127.0.0.1:" + port, "udp6:[::1]:" + port};
  // Only this directory is searched for configuration: neither /etc/snmp nor the caller's
  // own SNMP variables reach the agent.
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name != "SNMPCONFPATH" && name != "SNMP_PERSISTENT_DIR" && name != "MIBDIRS" &&
        name != "MIBS") {
      environment.push_back(text);
    }
  }
  environment.push_back("SNMPCONFPATH=" + directory_.string() + ":" +
                        (directory_ / "persist").string());
  environment.push_back("SNMP_PERSISTENT_DIR=" + (directory_ / "persist").string());
  environment.push_back("MIBDIRS=" + (directory_ / "mibs").string());

  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  const int output = ::open((directory_ / "snmpd.stderr").c_str(),
                            O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) fail("fork");
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (output >= 0) {
      ::dup2(output, STDOUT_FILENO);
      ::dup2(output, STDERR_FILENO);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (output >= 0) ::close(output);

  for (int poll = 0; poll < readiness_polls; ++poll) {
    if (::waitpid(child, nullptr, WNOHANG) == child) return false;
    if (answers(port_)) {
      pid_ = child;
      return true;
    }
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return false;
}

snmp_agent& shared_agent() {
  static snmp_agent agent;
  return agent;
}

silent_agent::silent_agent() {
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) fail("socket");
  sockaddr_in address = loopback_v4(0);
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(socket_);
    fail("bind");
  }
  socklen_t length = sizeof(address);
  ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

silent_agent::~silent_agent() { ::close(socket_); }

std::uint16_t silent_agent::port() const { return port_; }

std::optional<std::uint16_t> silent_agent::receive(std::chrono::milliseconds timeout) {
  pollfd waiting{socket_, POLLIN, 0};
  if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
  std::array<char, 65536> buffer{};
  sockaddr_in sender{};
  socklen_t length = sizeof(sender);
  if (::recvfrom(socket_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender),
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
