#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace corvane::tallis::kestrel::helpers {

/// The text of the std::runtime_error that `action` raises; a test failure when it raises none.
inline std::string runtime_error_text(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  ADD_FAILURE() << "no std::runtime_error";
  return {};
}

}  // namespace corvane::tallis::kestrel::helpers
