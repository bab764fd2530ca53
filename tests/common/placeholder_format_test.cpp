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
const std::string too_high = " is too high for argument list.";

INSTANTIATE_TEST_SUITE_P(
    Grammar, FormatPlaceholders,
    testing::Values(format_case{"", {}, ""},
                    format_case{"no percent here", {"x"}, "no percent here"},
                    format_case{"100%% done", {}, "100% done"}, format_case{"%%1:s", {"A"}, "%1:s"},
                    format_case{"Error %0:s/%1:s: %2:s.", {"1", "-24", "T"}, "Error 1/-24: T."},
                    format_case{"%1:s before %0:s", {"a", "b"}, "b before a"},
                    format_case{"%0:s%0:s", {"ab", "unused"}, "abab"},
                    format_case{"%007:s", {"0", "1", "2", "3", "4", "5", "6", "seven"}, "seven"},
                    // Substituted text is never scanned again.
                    format_case{"%0:s|%1:s", {"%1:s", "100%"}, "%1:s|100%"},
                    format_case{"%0:s", {}, "index: Index 0" + too_high},
                    format_case{"%05:s", {"0", "1", "2", "3", "4"}, "index: Index 05" + too_high},
                    format_case{"%2147483647:s", {"x"}, "index: Index 2147483647" + too_high},
                    format_case{"%2147483648:s", {"x"}, range},
                    format_case{"%99999999999999999999999:s", {"x"}, range},
                    format_case{"100% done", {}, malformed},
                    format_case{"%1", {"a", "b"}, malformed}, format_case{"%:s", {"a"}, malformed},
                    format_case{"%1:x", {"a", "b"}, malformed},
                    format_case{"end %", {}, malformed}),
    corvane::tallis::kestrel::helpers::numbered([](const format_case& c) { return c.format; }));

TEST(SplitAndVariadicFormat, KeepEmptyPiecesAndTheRest) {
  EXPECT_EQ(avocet::format_placeholders("%0:s-%1:s", "a", std::string("b")), "a-b");
  using pieces = std::vector<std::string>;
  EXPECT_EQ(avocet::split("", '.'), pieces{});
  EXPECT_EQ(avocet::split("abc", '.'), pieces{"abc"});
  EXPECT_EQ(avocet::split(".1.3", '.'), (pieces{"", "1", "3"}));
  EXPECT_EQ(avocet::split("a..b.", '.'), (pieces{"a", "", "b", ""}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 1), (pieces{"a", "b.c"}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 0), pieces{"a.b.c"});
}

}  // namespace
