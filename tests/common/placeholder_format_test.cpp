#include <avocet/strings.hpp>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/case_names.hpp"

namespace avocet = corvane::tallis::avocet;

namespace {

struct format_case {
  std::string format;
  std::vector<std::string> arguments;
  std::string expected;
};

class FormatPlaceholders : public testing::TestWithParam<format_case> {};

TEST_P(FormatPlaceholders, Substitutes) {
  const auto& c = GetParam();
  EXPECT_EQ(avocet::format_placeholders_list(c.format, c.arguments), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, FormatPlaceholders,
    testing::Values(
        format_case{"", {}, ""}, format_case{"no percent here", {"x"}, "no percent here"},
        format_case{"100%% done", {}, "100% done"}, format_case{"%%1:s", {"A"}, "%1:s"},
        format_case{"Error %0:s/%1:s: %2:s.", {"10060", "-24", "Timeout"},
                    "Error 10060/-24: Timeout."},
        format_case{"%1:s before %0:s", {"a", "b"}, "b before a"},
        format_case{"%0:s%0:s", {"ab"}, "abab"}, format_case{"%007:s", {"0", "1", "2", "3", "4", "5", "6", "seven"}, "seven"},
        format_case{"only %0:s", {"a", "unused"}, "only a"},
        // Substituted text is never scanned again.
        format_case{"%0:s|%1:s", {"%1:s", "100%"}, "%1:s|100%"},
        format_case{"%0:s", {""}, ""}, format_case{"%%%%", {}, "%%"},
        format_case{"trailing %0:s", {"é"}, "trailing é"}),
    corvane::tallis::kestrel::helpers::numbered([](const format_case& c) { return c.format; }));

struct error_case {
  std::string format;
  std::size_t argument_count;
  std::string what;
};

class FormatErrors : public testing::TestWithParam<error_case> {};

TEST_P(FormatErrors, RaiseWithExactText) {
  const auto& c = GetParam();
  const std::vector<std::string> arguments(c.argument_count, "x");
  try {
    avocet::format_placeholders_list(c.format, arguments);
    FAIL() << "no exception for " << c.format;
  } catch (const avocet::format_string_error& e) {
    EXPECT_EQ(c.what, std::string("format_string_error: ") + e.what());
  } catch (const avocet::placeholder_index_not_in_arguments& e) {
    EXPECT_EQ(c.what, std::string("placeholder_index_not_in_arguments: ") + e.what());
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(c.what, std::string("out_of_range: ") + e.what());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, FormatErrors,
    testing::Values(
        error_case{"%0:s", 0, "placeholder_index_not_in_arguments: Index 0 is too high for argument list."},
        error_case{"%05:s", 2, "placeholder_index_not_in_arguments: Index 05 is too high for argument list."},
        error_case{"%2147483647:s", 1,
                   "placeholder_index_not_in_arguments: Index 2147483647 is too high for argument list."},
        error_case{"100% done", 0, "format_string_error: Malformed placeholder in format string."},
        error_case{"%d", 1, "format_string_error: Malformed placeholder in format string."},
        error_case{"%1", 2, "format_string_error: Malformed placeholder in format string."},
        error_case{"%:s", 1, "format_string_error: Malformed placeholder in format string."},
        error_case{"%1:x", 2, "format_string_error: Malformed placeholder in format string."},
        error_case{"end %", 0, "format_string_error: Malformed placeholder in format string."},
        error_case{"%4294967296:s", 1, "out_of_range: stol argument out of range"},
        error_case{"%2147483648:s", 1, "out_of_range: stol argument out of range"},
        error_case{"%99999999999999999999999:s", 1, "out_of_range: stol argument out of range"}),
    corvane::tallis::kestrel::helpers::numbered([](const error_case& c) { return c.format; }));

TEST(FormatPlaceholdersVariadic, AcceptsCharacterArraysAndStrings) {
  const std::string b = "b";
  EXPECT_EQ(avocet::format_placeholders("%0:s-%1:s", "a", b), "a-b");
}

TEST(FormatErrorsHierarchy, BothDeriveFromTheFormatterBase) {
  EXPECT_THROW(avocet::format_placeholders("%"), avocet::exception);
  EXPECT_THROW(avocet::format_placeholders("%0:s"), avocet::exception);
}

struct split_case {
  std::string text;
  std::vector<std::string> pieces;
};

class Split : public testing::TestWithParam<split_case> {};

TEST_P(Split, KeepsEmptyPiecesAndTheRest) {
  EXPECT_EQ(avocet::split(GetParam().text, '.'), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, Split,
    testing::Values(split_case{"", {}}, split_case{"abc", {"abc"}}, split_case{".", {"", ""}},
                    split_case{".1.3", {"", "1", "3"}}, split_case{"a..b.", {"a", "", "b", ""}}),
    corvane::tallis::kestrel::helpers::numbered([](const split_case& c) { return c.text; }));

TEST(SplitLimit, StopsAfterMaxSplits) {
  EXPECT_EQ(avocet::split("a.b.c", '.', 1), (std::vector<std::string>{"a", "b.c"}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 0), (std::vector<std::string>{"a.b.c"}));
}

}  // namespace
