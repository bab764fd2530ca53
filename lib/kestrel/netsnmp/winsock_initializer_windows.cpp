#include <winsock2.h>

#include <kestrel/pool.hpp>

namespace corvane::tallis::kestrel::initializers {

// Every engine context makes one pair of calls; the outcomes are not examined, an engine
// without sockets shows up as failing requests.
winsock_initializer::winsock_initializer() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

winsock_initializer::~winsock_initializer() { ::WSACleanup(); }

}  // namespace corvane::tallis::kestrel::initializers
