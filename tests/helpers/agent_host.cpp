// Runs the test agent for a test process that cannot start it itself (a Windows test process
// under wine): starts Debian's snmpd on loopback, prints "port <n>" and "directory <path>" on
// standard output, and keeps the agent until standard input ends or SIGTERM/SIGINT arrives.

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <exception>
#include <iostream>

#include "helpers/snmp_agent.hpp"

namespace {

volatile sig_atomic_t stopping = 0;

void on_signal(int) { stopping = 1; }

}  // namespace

int main() {
  // Without SA_RESTART, a signal interrupts the read below, so the agent goes with its
  // directory.
  struct sigaction action {};
  action.sa_handler = on_signal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  try {
    corvane::tallis::kestrel::helpers::snmp_agent agent;
    std::cout << "port " << agent.port() << "\ndirectory " << agent.directory().string()
              << std::endl;
    std::array<char, 256> buffer{};
    // Until the end of the input, an error or a signal.
    for (ssize_t got = 1; stopping == 0 && (got > 0 || (got < 0 && errno == EINTR));) {
      got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    }
  } catch (const std::exception& error) {
    std::cerr << "agent_host: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
