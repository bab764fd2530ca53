#include <gtest/gtest.h>
#include <avocet/strings.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/case_names.hpp"

namespace avocet = corvane::tallis::avocet;

namespace {

struct format_case {
  std::string format;
  std::vector<std::string> arguments;
  std::string expected;  // the text, or the error's kind and text
};

class FormatPlaceholders : public testing::TestWithParam<format_case> {};

TEST_P(FormatPlaceholders, SubstitutesOrRaisesWithExactText) {
  const auto& c = GetParam();
  std::string got;
  try {
    got = avocet::format_placeholders_list(c.format, c.arguments);
  } catch (const avocet::exception& e) {
    const bool malformed = dynamic_cast<const avocet::format_string_error*>(&e) != nullptr;
    got = (malformed ? "malformed: " : "index: ") + std::string(e.what());
  } catch (const std::out_of_range& e) {
    got = std::string("range: ") + e.what();
  }
  EXPECT_EQ(got, c.expected);
}

const std::string malformed = "malformed: Malformed placeholder in format string.";
const std::string range = "range: stol argument out of range";

INSTANTIATE_TEST_SUITE_P(
    Grammar, FormatPlaceholders,
    testing::Values(format_case{"100%% %%1:s", {"A"}, "100% %1:s"},
                    format_case{"%1:s before %00:s%0:s.", {"a", "b", "unused"}, "b before aa."},
                    format_case{"%01:s", {"a"}, "index: Index 01 is too high for argument list."},
                    format_case{"%2147483647:s",
                                {"x"},
                                "index: Index 2147483647 is too high for argument list."},
                    format_case{"%2147483648:s", {"x"}, range},
                    format_case{"%:s", {"a"}, malformed}),
    corvane::tallis::kestrel::helpers::numbered([](const format_case& c) { return c.format; }));

TEST(SplitAndVariadicFormat, KeepEmptyPiecesAndTheRest) {
  EXPECT_EQ(avocet::format_placeholders("%0:s-%1:s", "a", std::string("b")), "a-b");
  using pieces = std::vector<std::string>;
  EXPECT_EQ(avocet::split("", '.'), pieces{});
  EXPECT_EQ(avocet::split(".a..b.", '.'), (pieces{"", "a", "", "b", ""}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 1), (pieces{"a", "b.c"}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 0), pieces{"a.b.c"});
}

}  // namespace
