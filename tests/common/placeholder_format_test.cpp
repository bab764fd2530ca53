#include <gtest/gtest.h>
#include <avocet/strings.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/error_text.hpp"

namespace avocet = corvane::tallis::avocet;
using corvane::tallis::kestrel::helpers::error_text;

namespace {

std::string format(const std::string& text, const std::vector<std::string>& arguments) {
  return avocet::format_placeholders_list(text, arguments);
}

TEST(FormatPlaceholders, SubstitutesOrRaisesWithExactText) {
  EXPECT_EQ(format("100%% %%1:s", {"A"}), "100% %1:s");
  EXPECT_EQ(format("%1:s before %00:s%0:s.", {"a", "b", "unused"}), "b before aa.");
  // The index as written, up to the largest signed 32-bit number; one more is out of range.
  for (const std::string index : {"09", "2147483647"}) {
    EXPECT_EQ(error_text<avocet::placeholder_index_not_in_arguments>(
                  [&] { format("%" + index + ":s", {"x"}); }),
              "Index " + index + " is too high for argument list.");
  }
  EXPECT_EQ(error_text<std::out_of_range>([] { format("%2147483648:s", {"x"}); }),
            "stol argument out of range");
  EXPECT_EQ(error_text<avocet::format_string_error>([] { format("%:s", {"a"}); }),
            "Malformed placeholder in format string.");
}

TEST(SplitAndVariadicFormat, KeepEmptyPiecesAndTheRest) {
  EXPECT_EQ(avocet::format_placeholders("%0:s-%1:s", "a", std::string("b")), "a-b");
  using pieces = std::vector<std::string>;
  EXPECT_EQ(avocet::split("", '.'), pieces{});
  EXPECT_EQ(avocet::split(".a..b.", '.'), (pieces{"", "a", "", "b", ""}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 1), (pieces{"a", "b.c"}));
  EXPECT_EQ(avocet::split("a.b.c", '.', 0), pieces{"a.b.c"});
}

}  // namespace
