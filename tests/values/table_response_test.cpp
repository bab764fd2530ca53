#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <kestrel/exceptions.hpp>
#include <kestrel/response.hpp>
#include <kestrel/table_response.hpp>
#include <ortolan/i18n_message.hpp>

#include "helpers/case_names.hpp"

namespace kestrel = corvane::tallis::kestrel;
namespace exceptions = corvane::tallis::kestrel::exceptions;
using kestrel::response;
using kestrel::table_response;

namespace {

const std::string if_table_name = ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable";
const kestrel::oid if_table({1, 3, 6, 1, 2, 1, 2, 2}, if_table_name);
const std::string if_entry = if_table_name + ".ifEntry";

const std::string if_x_table_name = ".iso.org.dod.internet.mgmt.mib-2.ifMIB.ifMIBObjects.ifXTable";
const kestrel::oid if_x_table({1, 3, 6, 1, 2, 1, 31, 1, 1}, if_x_table_name);

// A response named `suffix` below the ifTable entry.
response cell(const std::string& suffix, response::value_t value) {
  return response(kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2, 1}, if_entry + "." + suffix),
                  std::move(value));
}

response text_cell(const std::string& suffix, const std::string& text) {
  return cell(suffix, response::string_value{text});
}

std::vector<std::string> keys(const table_response::cells& cells) {
  std::vector<std::string> result;
  for (const auto& [key, r] : cells) result.push_back(key);
  return result;
}

template <class Pairs>
std::vector<std::string> keys_of(const Pairs& pairs) {
  std::vector<std::string> result;
  for (const auto& [key, value] : pairs) result.push_back(key);
  return result;
}

// --- construction -------------------------------------------------------------------------

TEST(TableResponseConstruction, EmptyListHasDerivedNameAndNoCells) {
  const table_response table({}, if_table, std::nullopt);
  EXPECT_EQ(table.name(), "if");
  EXPECT_TRUE(table.rows().empty());
  EXPECT_TRUE(table.columns().empty());
}

TEST(TableResponseConstruction, OneRowTwoColumns) {
  const table_response table(
      {text_cell("ifDescr.1", "eth0"), cell("ifType.1", response::int32_value{6})}, if_table,
      std::nullopt);
  ASSERT_EQ(keys_of(table.rows()), (std::vector<std::string>{"1"}));
  const table_response::row& row = table.rows()[0].second;
  EXPECT_EQ(row.name(), "1");
  EXPECT_EQ(keys(row.columns()), (std::vector<std::string>{"Descr", "Type"}));
  EXPECT_EQ(row.at("Descr").get().as_string(), "eth0");
  EXPECT_EQ(row.at("Type").get().as_int32_t(), 6);

  ASSERT_EQ(keys_of(table.columns()), (std::vector<std::string>{"Descr", "Type"}));
  for (const auto& [name, column] : table.columns()) {
    EXPECT_EQ(column.name(), name);
    EXPECT_EQ(keys(column.rows()), (std::vector<std::string>{"1"}));
  }
}

TEST(TableResponseConstruction, ColumnMajorWalkOrder) {
  const table_response table(
      {text_cell("ifDescr.2", "eth1"), text_cell("ifDescr.1", "lo"), text_cell("ifDescr.7", "x"),
       cell("ifType.2", response::int32_value{6}), cell("ifType.1", response::int32_value{24}),
       cell("ifMtu.1", response::int32_value{65536})},
      if_table, std::nullopt);
  EXPECT_EQ(keys_of(table.rows()), (std::vector<std::string>{"2", "1", "7"}));
  EXPECT_EQ(keys_of(table.columns()), (std::vector<std::string>{"Descr", "Type", "Mtu"}));
  EXPECT_EQ(keys(table.rows()[0].second.columns()), (std::vector<std::string>{"Descr", "Type"}));
  EXPECT_EQ(keys(table.rows()[1].second.columns()),
            (std::vector<std::string>{"Descr", "Type", "Mtu"}));
  EXPECT_EQ(keys(table.rows()[2].second.columns()), (std::vector<std::string>{"Descr"}));
  EXPECT_EQ(keys(table.at_column("Type").rows()), (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(table.at_column("Type").at("1").get().as_int32_t(), 24);
}

TEST(TableResponseConstruction, RowsAndColumnsReferToTheOwnedResponses) {
  const table_response table({text_cell("ifDescr.1", "eth0")}, if_table, std::nullopt);
  const response& via_row = table.rows()[0].second.at("Descr").get();
  const response& via_column = table.at_column("Descr").at("1").get();
  EXPECT_EQ(&via_row, &via_column);

  // Copies are plain values that still point into the table.
  const table_response::row copy = table.rows()[0].second;
  EXPECT_EQ(&copy.at("Descr").get(), &via_row);
  EXPECT_EQ(copy.size(), 1U);
  EXPECT_FALSE(copy.empty());
  EXPECT_EQ(copy.begin()->first, "Descr");
}

// --- cutting the column name and the row index out of the response name -------------------

struct cut_case {
  std::string label;
  const kestrel::oid* table;
  std::optional<std::string> prefix;
  std::string cell_name;
  std::string column;
  std::string index;
};

class TableResponseCut : public testing::TestWithParam<cut_case> {};

TEST_P(TableResponseCut, FilesTheCellUnderColumnAndIndex) {
  const cut_case& c = GetParam();
  const table_response table(
      {response(kestrel::oid({1}, c.cell_name), response::string_value{"v"})}, *c.table, c.prefix);
  ASSERT_EQ(table.columns().size(), 1U);
  ASSERT_EQ(table.rows().size(), 1U);
  EXPECT_EQ(table.columns()[0].first, c.column);
  EXPECT_EQ(table.rows()[0].first, c.index);
  EXPECT_EQ(table.at_column(c.column).at(c.index).get().name(), c.cell_name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TableResponseCut,
    testing::Values(
        cut_case{"plain", &if_table, std::nullopt, if_entry + ".ifDescr.2", "Descr", "2"},
        // Only the last piece of a multi-part index is the row index.
        cut_case{"multi_part_index", &if_table, std::nullopt, if_entry + ".ifDescr.10.0.0.1",
                 "Descr", "1"},
        cut_case{"no_index", &if_table, std::nullopt, if_entry + ".ifDescr", "Descr", "Descr"},
        cut_case{"empty_prefix", &if_table, std::string(), if_entry + ".ifDescr.2", "ifDescr", "2"},
        // Only the prefix's length counts, not its text.
        cut_case{"prefix_length_only", &if_table, std::string("abc"), if_entry + ".ifDescr.2",
                 "escr", "2"},
        cut_case{"x_table_without_prefix", &if_x_table, std::nullopt,
                 if_x_table_name + ".ifXEntry.ifName.5", "ame", "5"},
        cut_case{"x_table_with_prefix", &if_x_table, std::string("if"),
                 if_x_table_name + ".ifXEntry.ifName.5", "Name", "5"},
        cut_case{"empty_pieces", &if_table, std::nullopt, if_entry + ".if.", "", ""}),
    [](const testing::TestParamInfo<cut_case>& param) { return param.param.label; });

// --- construction failures ----------------------------------------------------------------

struct failure_case {
  std::string label;
  std::vector<response> responses;
  std::string key;   // the encoded key; empty for a standard error
  std::string what;  // the full what() text
};

class TableResponseFailure : public testing::TestWithParam<failure_case> {};

TEST_P(TableResponseFailure, RaisesWithExactTextAndKey) {
  const failure_case& c = GetParam();
  try {
    const table_response table(c.responses, if_table, std::nullopt);
    FAIL() << "no exception";
  } catch (const exceptions::data_exception& e) {
    EXPECT_EQ(e.message().key, c.key);
    EXPECT_EQ(e.what(), c.what);
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(c.key, "");
    EXPECT_EQ(e.what(), c.what);
  }
}

const std::string non_table_text =
    "The server result contains data that is not in a table. Please report this error to the "
    "Corvane support team. ";
const std::string duplicate_text =
    "The table contains a duplicate index. Please report this error to the Corvane support "
    "team. ";

response other_table_cell() {
  return response(kestrel::oid({1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 0},
                               ".iso.org.dod.internet.mgmt.mib-2.ip.ipAddrTable.ipAddrEntry."
                               "ipAdEntAddr.0"),
                  response::string_value{"a:b"});
}

const std::string other_table_description =
    ".iso.org.dod.internet.mgmt.mib-2.ip.ipAddrTable.ipAddrEntry.ipAdEntAddr.0 "
    "(.1.3.6.1.2.1.4.20.1.1.0) String: a:b";

INSTANTIATE_TEST_SUITE_P(
    Rejected, TableResponseFailure,
    testing::Values(
        failure_case{"other_table",
                     {text_cell("ifDescr.1", "eth0"), other_table_cell()},
                     "#:kestrel.error.non_table_data[.iso.org.dod.internet.mgmt.mib-2.ip."
                     "ipAddrTable.ipAddrEntry.ipAdEntAddr.0 (.1.3.6.1.2.1.4.20.1.1.0) String\\: "
                     "a\\:b]",
                     non_table_text + other_table_description},
        failure_case{"shorter_than_entry_prefix",
                     {response(kestrel::oid({1, 3}, ".iso.org"), response::null_value{})},
                     "#:kestrel.error.non_table_data[.iso.org (.1.3) NULL\\: (null)]",
                     non_table_text + ".iso.org (.1.3) NULL: (null)"},
        // Nothing after the skipped column prefix.
        failure_case{"empty_rest",
                     {response(kestrel::oid({1}, if_entry + ".if"), response::null_value{})},
                     "#:kestrel.error.non_table_data[" + if_entry + ".if (.1) NULL\\: (null)]",
                     non_table_text + if_entry + ".if (.1) NULL: (null)"},
        failure_case{"too_short_for_skip",
                     {response(kestrel::oid({1}, if_entry + ".i"), response::null_value{})},
                     "",
                     "invalid string position"},
        failure_case{"entry_prefix_only",
                     {response(kestrel::oid({1}, if_entry), response::null_value{})},
                     "",
                     "invalid string position"},
        // The description is that of the second response of the cell.
        failure_case{"same_name_twice",
                     {text_cell("ifDescr.1", "first"), text_cell("ifDescr.1", "second")},
                     "#:kestrel.error.duplicate_row_index[" + if_entry +
                         ".ifDescr.1 (.1.3.6.1.2.1.2.2.1) String\\: second]",
                     duplicate_text + if_entry + ".ifDescr.1 (.1.3.6.1.2.1.2.2.1) String: second"},
        failure_case{"multi_part_indexes_ending_alike",
                     {text_cell("ifDescr.10.0.0.1", "a"), text_cell("ifType.2", "b"),
                      text_cell("ifDescr.10.0.0.2", "c"), text_cell("ifDescr.1", "d")},
                     "#:kestrel.error.duplicate_row_index[" + if_entry +
                         ".ifDescr.1 (.1.3.6.1.2.1.2.2.1) String\\: d]",
                     duplicate_text + if_entry + ".ifDescr.1 (.1.3.6.1.2.1.2.2.1) String: d"}),
    [](const testing::TestParamInfo<failure_case>& param) { return param.param.label; });

// --- insertion rules ----------------------------------------------------------------------

// Opens the protected insert operations that the constructor uses.
class open_table : public table_response {
 public:
  open_table() : table_response({}, if_table, std::nullopt) {}
  using table_response::insert_or_assign_to_rows;
  using table_response::try_insert_to_columns;
};

TEST(TableResponseInsertion, ColumnsKeepTheFirstAndRejectTheSecondRowsKeepTheLast) {
  const response first = text_cell("ifDescr.1", "first");
  const response second = text_cell("ifDescr.1", "second");
  open_table table;

  table.try_insert_to_columns("Descr", "1", first);
  EXPECT_THROW(table.try_insert_to_columns("Descr", "1", second), exceptions::duplicate_row_index);
  EXPECT_EQ(&table.at_column("Descr").at("1").get(), &first);

  table.insert_or_assign_to_rows("Descr", "1", first);
  table.insert_or_assign_to_rows("Descr", "1", second);
  ASSERT_EQ(table.rows().size(), 1U);
  EXPECT_EQ(table.rows()[0].second.size(), 1U);
  EXPECT_EQ(&table.rows()[0].second.at("Descr").get(), &second);
}

// --- lookups ------------------------------------------------------------------------------

TEST(TableResponseLookup, MissingKeysRaiseOutOfRangeWithExactText) {
  const table_response table({cell("ifType.3", response::int32_value{6})}, if_table, std::nullopt);
  const table_response::row& row = table.rows()[0].second;
  const table_response::column& column = table.at_column("Type");

  const std::vector<std::pair<std::function<void()>, std::string>> lookups = {
      {[&] { table.at_column("Foo"); }, "Column 'Foo' not found in table."},
      {[&] { table.at_column("type"); }, "Column 'type' not found in table."},
      {[&] { row.at("Speed"); }, "Row '3': Column 'Speed' not found."},
      {[&] { column.at("4"); }, "Row '4': Column 'Type' not found."},
      {[&] { table_response::column("Speed", {}).at("3"); }, "Row '3': Column 'Speed' not found."},
  };
  for (const auto& [lookup, text] : lookups) {
    SCOPED_TRACE(text);
    try {
      lookup();
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
      EXPECT_EQ(e.what(), text);
    }
  }
}

}  // namespace
