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

#include "helpers/case_names.hpp"

namespace kestrel = corvane::tallis::kestrel;
namespace exceptions = corvane::tallis::kestrel::exceptions;
using kestrel::response;
using kestrel::table_response;
using names = std::vector<std::string>;

namespace {

const std::string if_table_name = ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable";
const kestrel::oid if_table({1, 3, 6, 1, 2, 1, 2, 2}, if_table_name);
const std::string if_entry = if_table_name + ".ifEntry";
const std::string if_x_table_name = ".iso.org.dod.internet.mgmt.mib-2.ifMIB.ifMIBObjects.ifXTable";
const kestrel::oid if_x_table({1, 3, 6, 1, 2, 1, 31, 1, 1}, if_x_table_name);

// A response named `suffix` below the ifTable entry.
response cell(const std::string& suffix, response::value_t value = response::int32_value{6}) {
  return response(kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2, 1}, if_entry + "." + suffix),
                  std::move(value));
}

response text_cell(const std::string& suffix, const std::string& text) {
  return cell(suffix, response::string_value{text});
}

template <class Pairs>
names keys(const Pairs& pairs) {
  names result;
  for (const auto& [key, value] : pairs) result.push_back(key);
  return result;
}

TEST(TableResponseConstruction, RowsAndColumnsInWalkOrderReferToTheOwnedResponses) {
  const table_response empty({}, if_table, std::nullopt);
  EXPECT_EQ(empty.name(), "if");
  EXPECT_TRUE(empty.rows().empty());
  EXPECT_TRUE(empty.columns().empty());

  const table_response table(
      {text_cell("ifDescr.2", "eth1"), text_cell("ifDescr.1", "lo"), text_cell("ifDescr.7", "x"),
       cell("ifType.2"), cell("ifType.1", response::int32_value{24}), cell("ifMtu.1")},
      if_table, std::nullopt);
  EXPECT_EQ(keys(table.rows()), (names{"2", "1", "7"}));
  EXPECT_EQ(keys(table.columns()), (names{"Descr", "Type", "Mtu"}));
  const std::vector<names> row_columns = {{"Descr", "Type"}, {"Descr", "Type", "Mtu"}, {"Descr"}};
  for (std::size_t i = 0; i < row_columns.size(); ++i) {
    EXPECT_EQ(table.rows()[i].second.name(), table.rows()[i].first);
    EXPECT_EQ(keys(table.rows()[i].second.columns()), row_columns[i]);
  }
  for (const auto& [name, column] : table.columns()) EXPECT_EQ(column.name(), name);
  EXPECT_EQ(keys(table.at_column("Type").rows()), (names{"2", "1"}));
  EXPECT_EQ(table.at_column("Type").at("1").get().as_int32_t(), 24);
  EXPECT_EQ(table.rows()[1].second.at("Descr").get().as_string(), "lo");

  const response& via_column = table.at_column("Descr").at("1").get();
  EXPECT_EQ(&table.rows()[1].second.at("Descr").get(), &via_column);
  // Copies are plain values that still point into the table.
  const table_response::row copy = table.rows()[1].second;
  EXPECT_EQ(&copy.at("Descr").get(), &via_column);
  EXPECT_EQ(copy.size(), 3U);
  EXPECT_FALSE(copy.empty());
  EXPECT_EQ(copy.begin()->first, "Descr");
}

struct cut_case {
  std::string name;
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
  EXPECT_EQ(keys(table.columns()), names{c.column});
  EXPECT_EQ(keys(table.rows()), names{c.index});
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
        cut_case{"empty_prefix", &if_table, "", if_entry + ".ifDescr.2", "ifDescr", "2"},
        // Only the prefix's length counts, not its text.
        cut_case{"prefix_length_only", &if_table, "abc", if_entry + ".ifDescr.2", "escr", "2"},
        cut_case{"x_table_without_prefix", &if_x_table, std::nullopt,
                 if_x_table_name + ".ifXEntry.ifName.5", "ame", "5"},
        cut_case{"x_table_with_prefix", &if_x_table, "if", if_x_table_name + ".ifXEntry.ifName.5",
                 "Name", "5"},
        cut_case{"empty_pieces", &if_table, std::nullopt, if_entry + ".if.", "", ""}),
    kestrel::helpers::by_name{});

struct failure_case {
  std::string name;
  std::vector<response> responses;
  std::string key;  // the encoded key, naming the response; empty for a standard error
};

class TableResponseFailure : public testing::TestWithParam<failure_case> {};

TEST_P(TableResponseFailure, RaisesWithTheKeyOfTheResponse) {
  const failure_case& c = GetParam();
  try {
    const table_response table(c.responses, if_table, std::nullopt);
    ADD_FAILURE() << "no exception";
  } catch (const exceptions::data_exception& e) {
    EXPECT_EQ(e.message().key, c.key);
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(c.key, "");
    EXPECT_STREQ(e.what(), "invalid string position");
  }
}

const std::string non_table = "#:kestrel.error.non_table_data[";
// Not below the table, and longer than its entry's name.
const std::string ip_addr =
    ".iso.org.dod.internet.mgmt.mib-2.ip.ipAddrTable.ipAddrEntry.ipAdEntAddr.0";
const std::string duplicate = "#:kestrel.error.duplicate_row_index[" + if_entry +
                              ".ifDescr.1 (.1.3.6.1.2.1.2.2.1) String\\: ";

INSTANTIATE_TEST_SUITE_P(
    Rejected, TableResponseFailure,
    testing::Values(
        failure_case{"other_table",
                     {text_cell("ifDescr.1", "eth0"),
                      response(kestrel::oid({1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 0}, ip_addr),
                               response::string_value{"a:b"})},
                     non_table + ip_addr + " (.1.3.6.1.2.1.4.20.1.1.0) String\\: a\\:b]"},
        failure_case{"shorter_than_entry_prefix",
                     {response(kestrel::oid({1, 3}, ".iso.org"), response::null_value{})},
                     non_table + ".iso.org (.1.3) NULL\\: (null)]"},
        // Nothing after the skipped column prefix.
        failure_case{"empty_rest",
                     {response(kestrel::oid({1}, if_entry + ".if"), response::null_value{})},
                     non_table + if_entry + ".if (.1) NULL\\: (null)]"},
        failure_case{"too_short_for_skip",
                     {response(kestrel::oid({1}, if_entry + ".i"), response::null_value{})},
                     ""},
        failure_case{"entry_prefix_only",
                     {response(kestrel::oid({1}, if_entry), response::null_value{})},
                     ""},
        // The key names the second response of the cell.
        failure_case{"same_name_twice",
                     {text_cell("ifDescr.1", "first"), text_cell("ifDescr.1", "second")},
                     duplicate + "second]"},
        failure_case{"multi_part_indexes_ending_alike",
                     {text_cell("ifDescr.10.0.0.1", "a"), text_cell("ifType.2", "b"),
                      text_cell("ifDescr.10.0.0.2", "c"), text_cell("ifDescr.1", "d")},
                     duplicate + "d]"}),
    kestrel::helpers::by_name{});

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

TEST(TableResponseLookup, MissingKeysRaiseOutOfRangeWithExactText) {
  const table_response table({cell("ifType.3")}, if_table, std::nullopt);
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
    try {
      lookup();
      ADD_FAILURE() << "no exception: " << text;
    } catch (const std::out_of_range& e) {
      EXPECT_EQ(e.what(), text);
    }
  }
}

}  // namespace
