#pragma once

// Readable names for the cases of parameterised tests, so that a failing case can be told from
// its ctest line.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

namespace corvane::tallis::kestrel::helpers {

/// `text` as a test name: letters and digits kept, every other run of characters one '_'.
inline std::string test_name(std::string_view text) {
  std::string name;
  for (const char c : text) {
    const bool kept = std::isalnum(static_cast<unsigned char>(c)) != 0;
    if (kept || (!name.empty() && name.back() != '_')) name += kept ? c : '_';
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

/// Names each case by its `name` member.
struct by_name {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return test_name(info.param.name);
  }
};

/// Names each case by its position and a label taken from it (which need not be unique).
template <class Label>
auto numbered(Label label) {
  return [label](const auto& info) {
    const std::string text = test_name(label(info.param));
    return "c" + std::to_string(info.index) + (text.empty() ? "" : "_" + text);
  };
}

}  // namespace corvane::tallis::kestrel::helpers
