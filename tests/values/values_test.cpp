#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <kestrel/exceptions.hpp>
#include <kestrel/response.hpp>
#include <kestrel/table_printer.hpp>
#include <kestrel/table_response.hpp>

#include "helpers/case_names.hpp"
#include "helpers/error_text.hpp"

namespace kestrel = corvane::tallis::kestrel;
namespace exceptions = corvane::tallis::kestrel::exceptions;
using kestrel::response;
using kestrel::table_response;
using kestrel::helpers::error_text;
using kestrel::helpers::runtime_error_text;
using names = std::vector<std::string>;

namespace {

const kestrel::oid sys_name({1, 3, 6, 1, 2, 1, 1, 5, 0}, "sysName.0");

struct value_case {
  std::string name;
  response::value_t value;
  std::string type_name;
  std::string text;
  std::optional<double> to_double;
  std::optional<std::int64_t> to_int64;
  std::optional<std::uint64_t> to_uint64;
};

class ResponseValue : public testing::TestWithParam<value_case> {};

// The description (name, type name, text), truth and the one true predicate of each alternative,
// its strict accessor, and the lenient conversions that admit exactly the types of the table.
TEST_P(ResponseValue, DescriptionsAndConversionsFollowTheTable) {
  const value_case& c = GetParam();
  const response r(sys_name, c.value);
  const std::size_t index = r.value().index();
  EXPECT_EQ(static_cast<bool>(r), index != 10) << "only an error marker is false";
  EXPECT_EQ(r.str(), "sysName.0 (.1.3.6.1.2.1.1.5.0) " + c.type_name + ": " + c.text);
  const std::vector<bool> predicates = {r.is_null(),        r.is_int32_t(), r.is_uint32_t(),
                                        r.is_timeticks_t(), r.is_int64_t(), r.is_uint64_t(),
                                        r.is_float(),       r.is_double(),  r.is_string(),
                                        r.is_oid(),         r.is_error()};
  std::vector<bool> only_own(predicates.size());
  only_own.at(index) = true;
  EXPECT_EQ(predicates, only_own);
  const auto expect_wrong_type = [&](const std::function<void()>& call, const std::string& type) {
    EXPECT_EQ(error_text<exceptions::oid_has_wrong_type>(call),
              "The returned result from OID 'sysName.0' is the wrong type ('" + c.type_name +
                  "'). The expected type is '" + type + "'.");
  };
  // A strict accessor takes only its own alternative, not even one of the same representation.
  const std::vector<std::pair<std::string, std::function<void()>>> strict = {
      {"Integer (32bit)", [&] { r.as_int32_t(); }},
      {"Unsigned Integer (32bit)", [&] { r.as_uint32_t(); }},
      {"Time Ticks (32bit)", [&] { r.as_timeticks_t(); }},
      {"Integer (64bit)", [&] { r.as_int64_t(); }},
      {"Unsigned Integer (64bit)", [&] { r.as_uint64_t(); }},
      {"Float", [&] { r.as_float(); }},
      {"Double", [&] { r.as_double(); }},
      {"OID", [&] { r.as_oid(); }}};
  for (const auto& [type, call] : strict) {
    if (type == c.type_name) {
      EXPECT_NO_THROW(call());
    } else {
      expect_wrong_type(call, type);
    }
  }
  // A lenient conversion admitted by the table gives exactly its value; any other raises.
  const auto expect_conversion = [&](const std::string& type, bool convertible,
                                     const auto& expected, const auto& convert) {
    EXPECT_EQ(convertible, expected.has_value()) << type;
    if (!expected) return expect_wrong_type(convert, type);
    EXPECT_EQ(convert(), *expected) << type;
  };
  expect_conversion("Double", r.is_convertible_to_double(), c.to_double,
                    [&] { return r.as_converted_to_double(); });
  expect_conversion("Integer (64bit)", r.is_convertible_to_int64_t(), c.to_int64,
                    [&] { return r.as_converted_to_int64_t(); });
  expect_conversion("Unsigned Integer (64bit)", r.is_convertible_to_uint64_t(), c.to_uint64,
                    [&] { return r.as_converted_to_uint64_t(); });
}

constexpr auto no = std::nullopt;
constexpr auto int_min = std::numeric_limits<int>::min();
constexpr auto int64_max = std::numeric_limits<std::int64_t>::max();
constexpr auto uint64_max = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    EveryAlternative, ResponseValue,
    testing::Values(
        value_case{"null", response::null_value{}, "NULL", "(null)", no, no, no},
        value_case{"int_min", response::int32_value{int_min}, "Integer (32bit)", "-2147483648",
                   int_min, int_min, no},
        // Unsigned values never go through a signed type.
        value_case{"unsigned_max", response::uint32_value{4294967295U}, "Unsigned Integer (32bit)",
                   "4294967295", 4294967295.0, 4294967295LL, 4294967295ULL},
        value_case{"timeticks", response::timeticks_value{kestrel::timeticks_t(12345)},
                   "Time Ticks (32bit)", "12345", 123.45, 12345, 12345ULL},
        // Never to int64, even when it would fit.
        value_case{"uint64_max", response::uint64_value{uint64_max}, "Unsigned Integer (64bit)",
                   "18446744073709551615", 18446744073709551616.0, no, uint64_max},
        // Floating values are cut toward zero, saturate, and are printed as "%f" prints them.
        value_case{"float_negative", response::float_value{-2.75F}, "Float", "-2.750000", -2.75, -2,
                   no},
        value_case{"double_two_to_63", response::double_value{9223372036854775808.0}, "Double",
                   "9223372036854775808.000000", 9223372036854775808.0, int64_max, no},
        // Strings are never parsed.
        value_case{"string", response::string_value{std::string("42\0\xff", 4)}, "String",
                   std::string("42\0\xff", 4), no, no, no},
        value_case{"oid", response::oid_value{kestrel::oid({1, 3}, ".iso.org")}, "OID", ".iso.org",
                   no, no, no},
        value_case{"error", response::error_value{"End of MIB"}, "Error", "End of MIB", no, no,
                   no}),
    kestrel::helpers::by_name{});

TEST(ResponseConversion, NotANumberGivesZero) {
  EXPECT_EQ(response(sys_name, response::double_value{std::nan("")}).as_converted_to_int64_t(), 0);
}

// German number punctuation: "," before the decimals, "." between groups of three digits.
struct german_punctuation : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(ResponseTexts, IgnoreTheHostsLocale) {
  // A host that switched its C++ and, where it has one, its C locale to German.
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new german_punctuation));
  const bool c_locale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr ||
                        std::setlocale(LC_ALL, "German_Germany.1252") != nullptr;
  EXPECT_EQ(response(kestrel::oid({1, 3, 12345}, "x"), response::double_value{-12345.125}).str(),
            "x (.1.3.12345) Double: -12345.125000");
  std::setlocale(LC_ALL, "C");
  std::locale::global(previous);
  if (!c_locale) GTEST_SKIP() << "no German C locale on this system";
}

struct throws_on_conversion {
  operator response::string_value() const { throw std::runtime_error("conversion failed"); }
};

TEST(ResponseValueless, InspectionsRaiseBadVariantAccess) {
  response::value_t value = response::int32_value{1};
  EXPECT_THROW(value.emplace<8>(throws_on_conversion{}), std::runtime_error);
  const response r(sys_name, value);
  EXPECT_EQ(error_text<std::bad_variant_access>([&] { r.str(); }), "bad variant access");
}

const kestrel::oid if_table({1, 3, 6, 1, 2, 1, 2, 2},
                            ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable");
const std::string if_entry = if_table.name() + ".ifEntry";

// A response named `suffix` below the ifTable entry.
response cell(const std::string& suffix, response::value_t value = response::int32_value{6}) {
  return response(kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2, 1}, if_entry + "." + suffix),
                  std::move(value));
}

response text_cell(const std::string& suffix, const std::string& text) {
  return cell(suffix, response::string_value{text});
}

std::string print(const std::vector<response>& responses, const kestrel::oid& table = if_table) {
  std::ostringstream out;
  kestrel::table_printer::print_table(responses, out, table);
  return out.str();
}

TEST(TablePrinterLayout, GoldenTables) {
  // Rows in table order, column kinds from the first row only (strings and markers are text),
  // shorter rows end early; cells and headers are padded or shortened around a "~".
  EXPECT_EQ(
      print({cell("ifAlias.2", response::int32_value{7}), text_cell("ifAlias.1", "uplink to core"),
             text_cell("ifAlias.123456", "short"), text_cell("ifDescr.2", "eth0"),
             cell("ifAVeryLongColumnNameForText.2", response::error_value{"End"})}),
      "Index      ifAlias ifDescr                  ifAVeryLong~nNameForText \n"
      "-----+------------+------------------------+------------------------+\n"
      "    2            7 eth0                     End                      \n"
      "    1 uplin~o core \n"
      "12~56        short \n");
  // A name with fewer than two "." is taken whole (an unnamed table has the prefix ".Entry").
  EXPECT_EQ(print({response(kestrel::oid({1}, ".Entryxy"), response::int32_value{1})},
                  kestrel::oid({}, "")),
            "Index     .Entryxy \n-----+------------+\n    y            1 \n");
}

TEST(TablePrinterFailure, StopsWithTheText) {
  EXPECT_EQ(runtime_error_text([] { print({}); }), "Empty table response.");
  // A row wider than the first.
  EXPECT_EQ(runtime_error_text([] {
              print({cell("ifA.1"), cell("ifA.22"), cell("ifB.22")});
            }),
            "Too many columns in row 22");
}

template <class Pairs>
names keys(const Pairs& pairs) {
  names result;
  for (const auto& [key, value] : pairs) result.push_back(key);
  return result;
}

TEST(TableResponseConstruction, RowsAndColumnsInWalkOrderAndLookupsByName) {
  const table_response table({cell("ifDescr.2"), cell("ifDescr.1"), cell("ifDescr.7"),
                              cell("ifType.2"), cell("ifType.1"), cell("ifMtu.1")},
                             if_table, std::nullopt);
  EXPECT_EQ(keys(table.rows()), (names{"2", "1", "7"}));
  EXPECT_EQ(keys(table.columns()), (names{"Descr", "Type", "Mtu"}));
  EXPECT_EQ(keys(table.rows()[1].second.columns()), (names{"Descr", "Type", "Mtu"}));
  EXPECT_EQ(keys(table.at_column("Type").rows()), (names{"2", "1"}));
  // Missing keys raise std::out_of_range with the names in the text.
  const std::vector<std::pair<std::function<void()>, std::string>> lookups = {
      {[&] { table.at_column("type"); }, "Column 'type' not found in table."},
      {[&] { table.rows()[1].second.at("Speed"); }, "Row '1': Column 'Speed' not found."},
      {[&] { table.at_column("Mtu").at("2"); }, "Row '2': Column 'Mtu' not found."},
  };
  for (const auto& [lookup, text] : lookups) EXPECT_EQ(error_text<std::out_of_range>(lookup), text);
  // Only the length of a column prefix counts, not its text.
  const table_response cut({text_cell("ifDescr.2", "v")}, if_table, "abc");
  EXPECT_EQ(keys(cut.columns()), names{"escr"});
}

// The class texts are checked with the exceptions; here the description of the response.
TEST(TableResponseFailure, RaisesNamingTheResponse) {
  // Nothing after the skipped column prefix, or not even the prefix.
  EXPECT_THAT(
      error_text<exceptions::non_table_data>([] { table_response({cell("if")}, if_table, {}); }),
      testing::EndsWith(". " + if_entry + ".if (.1.3.6.1.2.1.2.2.1) Integer (32bit): 6"));
  EXPECT_EQ(error_text<std::out_of_range>([] { table_response({cell("i")}, if_table, {}); }),
            "invalid string position");
  // A second cell under the same column and last piece of the index.
  EXPECT_THAT(
      error_text<exceptions::duplicate_row_index>([] {
        table_response({cell("ifDescr.10.0.0.1"), cell("ifDescr.1")}, if_table, {});
      }),
      testing::EndsWith(". " + if_entry + ".ifDescr.1 (.1.3.6.1.2.1.2.2.1) Integer (32bit): 6"));
}

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
  EXPECT_EQ(&table.rows()[0].second.at("Descr").get(), &second);
}

}  // namespace
