#include <tern/exception.hpp>

#include <utility>

namespace corvane::tallis::tern {

exception::exception(std::string message) : message_(std::move(message)) {}

exception::~exception() = default;

const char* exception::what() const noexcept { return message_.c_str(); }

}  // namespace corvane::tallis::tern
