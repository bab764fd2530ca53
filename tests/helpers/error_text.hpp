#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace corvane::tallis::kestrel::helpers {

/// The text of the E that `action` raises; a test failure when it raises none.
template <class E>
std::string error_text(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& error) {
    return error.what();
  }
  ADD_FAILURE() << "no exception of the expected type";
  return {};
}

/// The text of the std::runtime_error that `action` raises.
inline std::string runtime_error_text(const std::function<void()>& action) {
  return error_text<std::runtime_error>(action);
}

}  // namespace corvane::tallis::kestrel::helpers
