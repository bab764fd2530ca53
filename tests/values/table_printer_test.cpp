#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include <kestrel/exceptions.hpp>
#include <kestrel/response.hpp>
#include <kestrel/table_printer.hpp>

#include "helpers/case_names.hpp"

namespace kestrel = corvane::tallis::kestrel;
using kestrel::response;
using kestrel::table_printer::print_table;

namespace {

const std::string if_table_name = ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable";
const kestrel::oid if_table({1, 3, 6, 1, 2, 1, 2, 2}, if_table_name);

response cell(const std::string& suffix, response::value_t value) {
  return response(kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2, 1}, if_table_name + ".ifEntry." + suffix),
                  std::move(value));
}

std::string print(const std::vector<response>& responses) {
  std::ostringstream out;
  print_table(responses, out, if_table);
  return out.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// --- layout -------------------------------------------------------------------------------

TEST(TablePrinterLayout, StringAndIntegerColumnsGolden) {
  const std::string printed = print({cell("ifDescr.1", response::string_value{"eth0"}),
                                     cell("ifType.1", response::int32_value{6})});
  EXPECT_EQ(printed,
            "Index ifDescr                        ifType \n"
            "-----+------------------------+------------+\n"
            "    1 eth0                                6 \n");
  for (const std::string& line : lines_of(printed)) EXPECT_EQ(line.size(), 44U) << line;
}

TEST(TablePrinterLayout, ColumnKindsByValueType) {
  const kestrel::oid value({1, 3, 6, 1, 2, 1, 31}, "ifMIB");
  const std::string printed =
      print({cell("ifA.1", response::null_value{}), cell("ifB.1", response::error_value{"End"}),
             cell("ifC.1", response::oid_value{value}), cell("ifD.1", response::double_value{1.5}),
             cell("ifE.1", response::timeticks_value{kestrel::timeticks_t(99)}),
             cell("ifF.1", response::uint64_value{18446744073709551615ULL})});
  EXPECT_EQ(printed,
            "Index          ifA ifB                      ifC                               ifD "
            "         ifE          ifF \n"
            "-----+------------+------------------------+------------------------+------------+"
            "------------+------------+\n"
            "    1       (null) End                      ifMIB                        1.500000 "
            "          99 18446~551615 \n");
}

TEST(TablePrinterLayout, RowsInTableOrderShorterRowsEndEarly) {
  const std::string printed = print({cell("ifDescr.2", response::string_value{"eth1"}),
                                     cell("ifDescr.1", response::string_value{"lo"}),
                                     cell("ifType.2", response::int32_value{6})});
  EXPECT_EQ(printed,
            "Index ifDescr                        ifType \n"
            "-----+------------------------+------------+\n"
            "    2 eth1                                6 \n"
            "    1 lo                       \n");
}

TEST(TablePrinterLayout, KindsComeFromTheFirstRowOnly) {
  const std::string printed = print({cell("ifAlias.1", response::int32_value{7}),
                                     cell("ifAlias.2", response::string_value{"uplink to core"}),
                                     cell("ifAlias.3", response::string_value{"short"})});
  EXPECT_EQ(printed,
            "Index      ifAlias \n"
            "-----+------------+\n"
            "    1            7 \n"
            "    2 uplin~o core \n"
            "    3        short \n");
}

TEST(TablePrinterLayout, HeaderIsThePieceBeforeTheLastDot) {
  // With a multi-part index that is a piece of the index, not the column name.
  const kestrel::oid table({1}, "xTable");
  std::ostringstream out;
  print_table({response(kestrel::oid({1}, "xTable.xEntry.xA.1"), response::int32_value{1}),
               response(kestrel::oid({1}, "xTable.xEntry.xB.10.0.0.1"), response::int32_value{2})},
              out, table);
  EXPECT_EQ(lines_of(out.str())[0], "Index           xA            0 ");

  // A name with fewer than two "." is taken whole (an unnamed table has the prefix ".Entry").
  std::ostringstream whole;
  print_table({response(kestrel::oid({1}, ".Entryxy"), response::int32_value{1})}, whole,
              kestrel::oid({}, ""));
  EXPECT_EQ(whole.str(),
            "Index     .Entryxy \n"
            "-----+------------+\n"
            "    y            1 \n");
}

// --- shortening ---------------------------------------------------------------------------

struct fit_case {
  std::string label;
  std::string index;
  response::value_t value;
  std::string index_text;
  std::string cell_text;
};

class TablePrinterFit : public testing::TestWithParam<fit_case> {};

TEST_P(TablePrinterFit, CellsAreExactlyTheirWidth) {
  const fit_case& c = GetParam();
  const std::vector<std::string> lines = lines_of(print({cell("ifX." + c.index, c.value)}));
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[2], c.index_text + " " + c.cell_text + " ");
}

const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";

INSTANTIATE_TEST_SUITE_P(
    Widths, TablePrinterFit,
    testing::Values(
        fit_case{"index_shortened", "123456", response::int32_value{1}, "12~56", "           1"},
        fit_case{"index_exact", "12345", response::int32_value{1}, "12345", "           1"},
        fit_case{"text_shortened", "1", response::string_value{thirty}, "    1",
                 "abcdefghijk~stuvwxyz0123"},
        fit_case{"text_exact", "1", response::string_value{thirty.substr(0, 24)}, "    1",
                 thirty.substr(0, 24)},
        fit_case{"text_one_over", "1", response::string_value{thirty.substr(0, 25)}, "    1",
                 "abcdefghijk~nopqrstuvwxy"},
        fit_case{"number_exact", "1", response::int64_value{123456789012}, "    1", "123456789012"},
        fit_case{"number_shortened", "1", response::int64_value{1234567890123}, "    1",
                 "12345~890123"},
        fit_case{"empty_text", "1", response::string_value{""}, "    1",
                 "                        "}),
    [](const testing::TestParamInfo<fit_case>& param) { return param.param.label; });

TEST(TablePrinterHeaders, LongHeadersAreShortenedToo) {
  const std::vector<std::string> lines =
      lines_of(print({cell("ifHCInUcastPkts.1", response::uint64_value{1}),
                      cell("ifAVeryLongColumnNameForText.1", response::string_value{"x"})}));
  EXPECT_EQ(lines[0], "Index ifHCI~stPkts ifAVeryLong~nNameForText ");
}

// --- failures -----------------------------------------------------------------------------

TEST(TablePrinterFailure, EmptyListWritesNothing) {
  std::ostringstream out;
  try {
    print_table({}, out, if_table);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Empty table response.");
  }
  EXPECT_EQ(out.str(), "");
}

TEST(TablePrinterFailure, WiderLaterRowLeavesEarlierOutputAndAPartialLine) {
  std::ostringstream out;
  try {
    print_table({cell("ifDescr.1", response::string_value{"eth0"}),
                 cell("ifDescr.22", response::string_value{"eth1"}),
                 cell("ifType.22", response::int32_value{6})},
                out, if_table);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Too many columns in row 22");
  }
  EXPECT_EQ(out.str(),
            "Index ifDescr                  \n"
            "-----+------------------------+\n"
            "    1 eth0                     \n"
            "   22 eth1                     ");
}

TEST(TablePrinterFailure, TableViewErrorsPassThroughBeforeAnyOutput) {
  std::ostringstream out;
  const response outside(kestrel::oid({1, 3}, ".iso.org"), response::null_value{});
  try {
    print_table({cell("ifDescr.1", response::string_value{"eth0"}), outside}, out, if_table);
    FAIL() << "no exception";
  } catch (const kestrel::exceptions::non_table_data& e) {
    EXPECT_EQ(e.message().key, "#:kestrel.error.non_table_data[.iso.org (.1.3) NULL\\: (null)]");
  }
  EXPECT_EQ(out.str(), "");
}

// --- flushing -----------------------------------------------------------------------------

// Counts the flushes that reach the buffer.
class counting_buffer : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

TEST(TablePrinterFlush, EveryLineIsFlushed) {
  counting_buffer buffer;
  std::ostream out(&buffer);
  print_table({cell("ifDescr.1", response::string_value{"eth0"}),
               cell("ifDescr.2", response::string_value{"eth1"})},
              out, if_table);
  EXPECT_EQ(buffer.syncs, 4);  // header, separator, two rows
  EXPECT_EQ(lines_of(buffer.str()).size(), 4U);
}

}  // namespace
