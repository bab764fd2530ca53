#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include <kestrel/exceptions.hpp>
#include <kestrel/response.hpp>
#include <kestrel/table_printer.hpp>

#include "helpers/case_names.hpp"
#include "helpers/error_text.hpp"

namespace kestrel = corvane::tallis::kestrel;
using kestrel::response;
using kestrel::helpers::runtime_error_text;
using kestrel::table_printer::print_table;

namespace {

const std::string if_table_name = ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable";
const kestrel::oid if_table({1, 3, 6, 1, 2, 1, 2, 2}, if_table_name);

response cell(const std::string& suffix, response::value_t value) {
  return response(kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2, 1}, if_table_name + ".ifEntry." + suffix),
                  std::move(value));
}

std::string print(const std::vector<response>& responses, const kestrel::oid& table = if_table) {
  std::ostringstream out;
  print_table(responses, out, table);
  return out.str();
}

TEST(TablePrinterLayout, GoldenTables) {
  const kestrel::oid if_mib({1, 3, 6, 1, 2, 1, 31}, "ifMIB");
  // Rows in table order, column kinds from the first row only, shorter rows end early.
  EXPECT_EQ(print({cell("ifAlias.2", response::int32_value{7}),
                   cell("ifAlias.1", response::string_value{"uplink to core"}),
                   cell("ifAlias.3", response::string_value{"short"}),
                   cell("ifType.2", response::int32_value{6})}),
            "Index      ifAlias       ifType \n"
            "-----+------------+------------+\n"
            "    2            7            6 \n"
            "    1 uplin~o core \n"
            "    3        short \n");
  // Column kinds by value type; long headers are shortened too.
  EXPECT_EQ(
      print({cell("ifA.1", response::null_value{}),
             cell("ifAVeryLongColumnNameForText.1", response::error_value{"End"}),
             cell("ifC.1", response::oid_value{if_mib}), cell("ifD.1", response::double_value{1.5}),
             cell("ifE.1", response::timeticks_value{kestrel::timeticks_t(99)}),
             cell("ifHCInUcastPkts.1", response::uint64_value{18446744073709551615ULL})}),
      "Index          ifA ifAVeryLong~nNameForText ifC                               ifD "
      "         ifE ifHCI~stPkts \n"
      "-----+------------+------------------------+------------------------+------------+"
      "------------+------------+\n"
      "    1       (null) End                      ifMIB                        1.500000 "
      "          99 18446~551615 \n");
}

TEST(TablePrinterLayout, HeaderIsThePieceBeforeTheLastDot) {
  // With a multi-part index that is a piece of the index, not the column name.
  const std::string printed =
      print({response(kestrel::oid({1}, "xTable.xEntry.xA.1"), response::int32_value{1}),
             response(kestrel::oid({1}, "xTable.xEntry.xB.10.0.0.1"), response::int32_value{2})},
            kestrel::oid({1}, "xTable"));
  EXPECT_EQ(printed.substr(0, printed.find('\n')), "Index           xA            0 ");
  // A name with fewer than two "." is taken whole (an unnamed table has the prefix ".Entry").
  EXPECT_EQ(print({response(kestrel::oid({1}, ".Entryxy"), response::int32_value{1})},
                  kestrel::oid({}, "")),
            "Index     .Entryxy \n-----+------------+\n    y            1 \n");
}

struct fit_case {
  std::string name;
  std::string index;
  response::value_t value;
  std::string row;
};

class TablePrinterFit : public testing::TestWithParam<fit_case> {};

TEST_P(TablePrinterFit, CellsAreExactlyTheirWidth) {
  const std::string printed = print({cell("ifX." + GetParam().index, GetParam().value)});
  EXPECT_EQ(printed.substr(printed.rfind('\n', printed.size() - 2) + 1), GetParam().row + " \n");
}

const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";

INSTANTIATE_TEST_SUITE_P(
    Widths, TablePrinterFit,
    testing::Values(
        fit_case{"index_shortened", "123456", response::int32_value{1}, "12~56            1"},
        fit_case{"index_exact", "12345", response::int32_value{1}, "12345            1"},
        fit_case{"text_shortened", "1", response::string_value{thirty},
                 "    1 abcdefghijk~stuvwxyz0123"},
        fit_case{"text_exact", "1", response::string_value{thirty.substr(0, 24)},
                 "    1 " + thirty.substr(0, 24)},
        fit_case{"text_one_over", "1", response::string_value{thirty.substr(0, 25)},
                 "    1 abcdefghijk~nopqrstuvwxy"}),
    kestrel::helpers::by_name{});

TEST(TablePrinterFailure, StopsWithTheTextAndLeavesWhatWasPrinted) {
  std::ostringstream out;
  EXPECT_EQ(runtime_error_text([&] { print_table({}, out, if_table); }), "Empty table response.");
  EXPECT_EQ(out.str(), "");
  // A table view error passes through before any output.
  const response outside(kestrel::oid({1, 3}, ".iso.org"), response::null_value{});
  try {
    print_table({cell("ifDescr.1", response::string_value{"eth0"}), outside}, out, if_table);
    ADD_FAILURE() << "no exception";
  } catch (const kestrel::exceptions::non_table_data& e) {
    EXPECT_EQ(e.message().key, "#:kestrel.error.non_table_data[.iso.org (.1.3) NULL\\: (null)]");
  }
  EXPECT_EQ(out.str(), "");
  // A wider later row leaves the earlier output and a partial line.
  EXPECT_EQ(runtime_error_text([&] {
              print_table({cell("ifDescr.1", response::string_value{"eth0"}),
                           cell("ifDescr.22", response::string_value{"eth1"}),
                           cell("ifType.22", response::int32_value{6})},
                          out, if_table);
            }),
            "Too many columns in row 22");
  EXPECT_EQ(out.str(),
            "Index ifDescr                  \n-----+------------------------+\n"
            "    1 eth0                     \n   22 eth1                     ");
}

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
}

}  // namespace
