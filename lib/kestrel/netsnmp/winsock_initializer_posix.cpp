#include <kestrel/pool.hpp>

namespace corvane::tallis::kestrel::initializers {

// Sockets need no start-up outside Windows; the class stays so that callers and the engine
// contexts keep one shape on every platform.
winsock_initializer::winsock_initializer() = default;
winsock_initializer::~winsock_initializer() = default;

}  // namespace corvane::tallis::kestrel::initializers
