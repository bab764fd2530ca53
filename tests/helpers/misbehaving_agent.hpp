#pragma once

// POSIX only: starts tests/helpers/misbehaving_agent.py in one of its modes.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane::tallis::kestrel::helpers {

/// An SNMPv1/v2c agent on 127.0.0.1 (a free port) that misbehaves in `mode`; it ends by itself
/// after two minutes and is killed by its PID when the object goes.
class misbehaving_agent {
 public:
  explicit misbehaving_agent(const std::string& mode) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      ::execlp("python3", "python3", KESTREL_MISBEHAVING_AGENT, mode.c_str(), "120",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // The agent prints its port once it is bound; a slow start is waited for, boundedly.
    std::string line = "0";
    pollfd ready{out[0], POLLIN, 0};
    for (char c = 0; c != '\n' && ::poll(&ready, 1, 30000) > 0 && ::read(out[0], &c, 1) == 1;) {
      line += c;
    }
    ::close(out[0]);
    port_ = static_cast<std::uint16_t>(std::stoul(line));
    if (port_ == 0) throw std::runtime_error("the misbehaving agent did not start: " + mode);
  }
  misbehaving_agent(const misbehaving_agent&) = delete;
  misbehaving_agent& operator=(const misbehaving_agent&) = delete;
  ~misbehaving_agent() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
  }

  std::uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace corvane::tallis::kestrel::helpers
