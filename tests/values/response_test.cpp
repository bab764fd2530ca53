#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <functional>
#include <ios>
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
#include <kestrel/library.hpp>
#include <kestrel/response.hpp>
#include <kestrel/table_printer.hpp>

#include "helpers/case_names.hpp"
#include "helpers/recording_logger.hpp"
#include "helpers/test_platform.hpp"
#include "netsnmp/exchange.hpp"

namespace kestrel = corvane::tallis::kestrel;
using kestrel::response;
using kestrel::timeticks_t;

namespace {

const kestrel::oid sys_name({1, 3, 6, 1, 2, 1, 1, 5, 0}, "sysName.0");
const kestrel::oid if_mib({1, 3, 6, 1, 2, 1, 31}, ".iso.org.dod.internet.mgmt.mib-2.ifMIB");

response make(response::value_t value) { return response(sys_name, std::move(value)); }

// Runs `call` and checks that it raises oid_has_wrong_type naming sysName.0, the held type and
// the expected type (the texts of the key are checked with the exceptions).
void expect_wrong_type(const std::function<void()>& call, const std::string& held,
                       const std::string& expected) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected type " << expected;
  } catch (const kestrel::exceptions::oid_has_wrong_type& e) {
    EXPECT_EQ(e.message().key,
              "#:kestrel.error.oid_has_wrong_type[sysName.0," + held + "," + expected + "]");
  }
}

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

TEST_P(ResponseValue, TypeNamePredicateTruthTextAndDescription) {
  const value_case& c = GetParam();
  const response r = make(c.value);
  const std::size_t index = r.value().index();
  EXPECT_EQ(response::type_name(r.value()), c.type_name);
  EXPECT_EQ(r.as_string(), c.text);
  EXPECT_EQ(static_cast<bool>(r), index != 10) << "only an error marker is false";
  EXPECT_EQ(r.str(), "sysName.0 (.1.3.6.1.2.1.1.5.0) " + c.type_name + ": " + c.text);
  const std::vector<bool> predicates = {r.is_null(),        r.is_int32_t(), r.is_uint32_t(),
                                        r.is_timeticks_t(), r.is_int64_t(), r.is_uint64_t(),
                                        r.is_float(),       r.is_double(),  r.is_string(),
                                        r.is_oid(),         r.is_error()};
  for (std::size_t i = 0; i < predicates.size(); ++i) {
    EXPECT_EQ(predicates[i], i == index) << "predicate " << i;
  }
}

// The lenient conversions admit exactly the types of the table, row by row.
TEST_P(ResponseValue, ConversionsAdmitExactlyTheTable) {
  const value_case& c = GetParam();
  const response r = make(c.value);
  EXPECT_EQ(r.is_convertible_to_double(), c.to_double.has_value());
  if (c.to_double) {
    EXPECT_DOUBLE_EQ(r.as_converted_to_double(), *c.to_double);
  } else {
    expect_wrong_type([&] { r.as_converted_to_double(); }, c.type_name, "Double");
  }
  EXPECT_EQ(r.is_convertible_to_int64_t(), c.to_int64.has_value());
  if (c.to_int64) {
    EXPECT_EQ(r.as_converted_to_int64_t(), *c.to_int64);
  } else {
    expect_wrong_type([&] { r.as_converted_to_int64_t(); }, c.type_name, "Integer (64bit)");
  }
  EXPECT_EQ(r.is_convertible_to_uint64_t(), c.to_uint64.has_value());
  if (c.to_uint64) {
    EXPECT_EQ(r.as_converted_to_uint64_t(), *c.to_uint64);
  } else {
    expect_wrong_type([&] { r.as_converted_to_uint64_t(); }, c.type_name,
                      "Unsigned Integer (64bit)");
  }
}

constexpr auto no = std::nullopt;
constexpr auto int_min = std::numeric_limits<int>::min();
constexpr auto int64_min = std::numeric_limits<std::int64_t>::min();
constexpr auto uint64_max = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    EveryAlternative, ResponseValue,
    testing::Values(value_case{"null", response::null_value{}, "NULL", "(null)", no, no, no},
                    value_case{"int_min", response::int32_value{int_min}, "Integer (32bit)",
                               "-2147483648", int_min, int_min, no},
                    // Unsigned values never go through a signed type.
                    value_case{"unsigned_max", response::uint32_value{4294967295U},
                               "Unsigned Integer (32bit)", "4294967295", 4294967295.0, 4294967295LL,
                               4294967295ULL},
                    value_case{"timeticks", response::timeticks_value{timeticks_t(12345)},
                               "Time Ticks (32bit)", "12345", 123.45, 12345, 12345ULL},
                    value_case{"int64_min", response::int64_value{int64_min}, "Integer (64bit)",
                               "-9223372036854775808", -9223372036854775808.0, int64_min, no},
                    // Never to int64, even when it would fit.
                    value_case{"uint64_small", response::uint64_value{7},
                               "Unsigned Integer (64bit)", "7", 7.0, no, 7ULL},
                    value_case{"uint64_max", response::uint64_value{uint64_max},
                               "Unsigned Integer (64bit)", "18446744073709551615",
                               18446744073709551616.0, no, uint64_max},
                    // Floating values are cut toward zero and printed as "%f" prints them.
                    value_case{"float_tenth", response::float_value{0.1F}, "Float", "0.100000",
                               static_cast<double>(0.1F), 0, no},
                    value_case{"float_negative", response::float_value{-2.75F}, "Float",
                               "-2.750000", -2.75, -2, no},
                    value_case{"double_positive", response::double_value{2.9}, "Double", "2.900000",
                               2.9, 2, no},
                    value_case{"double_large", response::double_value{1e20}, "Double",
                               "100000000000000000000.000000", 1e20,
                               std::numeric_limits<std::int64_t>::max(), no},
                    value_case{"double_tiny", response::double_value{0.0000004}, "Double",
                               "0.000000", 0.0000004, 0, no},
                    // Strings are never parsed.
                    value_case{"string", response::string_value{std::string("42\0\xff", 4)},
                               "String", std::string("42\0\xff", 4), no, no, no},
                    value_case{"oid", response::oid_value{if_mib}, "OID",
                               ".iso.org.dod.internet.mgmt.mib-2.ifMIB", no, no, no},
                    value_case{"error", response::error_value{"End of MIB"}, "Error", "End of MIB",
                               no, no, no}),
    kestrel::helpers::by_name{});

TEST(ResponseDescription, BindingAndNumbersAsTheEngineHandsThemOver) {
  const response r = make(response::null_value{});
  EXPECT_EQ(r.oid(), sys_name);
  EXPECT_EQ(r.name(), "sysName.0");
  EXPECT_EQ(r.numeric_oid(), (std::vector<long>{1, 3, 6, 1, 2, 1, 1, 5, 0}));
  EXPECT_EQ(response(kestrel::oid({}, "x"), response::int32_value{1}).str(),
            "x () Integer (32bit): 1");
  // The full unsigned 32-bit range of a sub-identifier, where a long holds it.
  EXPECT_EQ(response(kestrel::oid({1, kestrel::helpers::largest_sub_identifier}, "y"),
                     response::null_value{})
                .str(),
            "y (.1." + kestrel::helpers::largest_sub_identifier_text() + ") NULL: (null)");
}

// German number punctuation: "," before the decimals, "." between groups of three digits.
struct german_punctuation : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

// A host that switched its C and C++ locales to German, restored afterwards.
struct german_host {
  german_host() {
    for (const char* name : {"de_DE.UTF-8", "de-DE", "German_Germany.1252"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        c_locale = true;
        break;
      }
    }
  }
  ~german_host() {
    std::setlocale(LC_ALL, "C");
    std::locale::global(previous);
  }
  std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new german_punctuation));
  bool c_locale = false;
};

TEST(ResponseTexts, IgnoreTheHostsLocaleAndTheCallersStreamState) {
  const german_host host;
  const std::vector<long> numeric = {1, 3, 6, 255, 12345};
  std::ostringstream stream;
  stream.imbue(std::locale());
  stream << std::hex << std::showbase;
  kestrel::operator<<(stream, numeric) << 255;
  EXPECT_EQ(stream.str(), ".1.3.6.255.123450xff");
  EXPECT_EQ(kestrel::library::numeric_oid_to_string(numeric), ".1.3.6.255.12345");
  kestrel::helpers::recording_logger logger;
  kestrel::detail::stream_logger(logger) << 12345 << ' ' << 2.5;
  EXPECT_EQ(logger.messages(), std::vector<std::string>{"12345 2.5"});

  if (!host.c_locale) GTEST_SKIP() << "no German C locale on this system";
  const kestrel::oid column({1, 3, 6, 1, 2, 1, 2, 2, 1, 5}, ".iso.ifTable.ifEntry.ifSpeed.1");
  EXPECT_EQ(response(column, response::double_value{-12345.125}).str(),
            ".iso.ifTable.ifEntry.ifSpeed.1 (.1.3.6.1.2.1.2.2.1.5) Double: -12345.125000");
  const response speed(column, response::float_value{2.5F});
  EXPECT_EQ(speed.as_string(), "2.500000");
  std::ostringstream printed;
  kestrel::table_printer::print_table({speed}, printed,
                                      kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2}, ".iso.ifTable"));
  EXPECT_NE(printed.str().find(" 2.500000 "), std::string::npos) << printed.str();
}

TEST(ResponseStrictAccessors, ReturnTheHeldValue) {
  EXPECT_EQ(make(response::int32_value{-7}).as_int32_t(), -7);
  EXPECT_EQ(make(response::uint32_value{4294967295U}).as_uint32_t(), 4294967295U);
  EXPECT_EQ(make(response::timeticks_value{timeticks_t(12345)}).as_timeticks_t(),
            timeticks_t(12345));
  EXPECT_EQ(make(response::int64_value{-(1LL << 40)}).as_int64_t(), -(1LL << 40));
  EXPECT_EQ(make(response::uint64_value{1ULL << 63}).as_uint64_t(), 1ULL << 63);
  EXPECT_EQ(make(response::float_value{2.5F}).as_float(), 2.5F);
  EXPECT_EQ(make(response::double_value{-2.9}).as_double(), -2.9);
  EXPECT_EQ(make(response::oid_value{if_mib}).as_oid(), if_mib);
}

TEST(ResponseStrictAccessors, RefuseAStringAndTheNeighbouringAlternative) {
  // The same C++ representation or a lossless widening is still the wrong alternative.
  const std::vector<
      std::tuple<std::string, std::function<void(const response&)>, response::value_t>>
      accessors = {
          {"Integer (32bit)", [](const response& r) { r.as_int32_t(); }, response::int64_value{1}},
          {"Unsigned Integer (32bit)", [](const response& r) { r.as_uint32_t(); },
           response::timeticks_value{timeticks_t(1)}},
          {"Time Ticks (32bit)", [](const response& r) { r.as_timeticks_t(); },
           response::int64_value{1}},
          {"Integer (64bit)", [](const response& r) { r.as_int64_t(); }, response::uint64_value{1}},
          {"Unsigned Integer (64bit)", [](const response& r) { r.as_uint64_t(); },
           response::uint32_value{1}},
          {"Float", [](const response& r) { r.as_float(); }, response::double_value{1}},
          {"Double", [](const response& r) { r.as_double(); }, response::float_value{1}},
          {"OID", [](const response& r) { r.as_oid(); }, response::error_value{"End of MIB"}},
      };
  for (const auto& [expected, call, neighbour] : accessors) {
    for (const response& r : {make(response::string_value{"42"}), make(neighbour)}) {
      expect_wrong_type([&] { call(r); }, response::type_name(r.value()), expected);
    }
  }
}

TEST(ResponseConversionEdges, FloatingValuesOutsideInt64DoNotCrash) {
  // The result is not part of the contract; the conversion must just be defined.
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {std::nan(""), inf, -inf, 1e300, -1e300}) {
    EXPECT_NO_THROW(make(response::double_value{v}).as_converted_to_int64_t());
    EXPECT_NO_THROW(make(response::float_value{static_cast<float>(v)}).as_converted_to_int64_t());
  }
  EXPECT_EQ(make(response::double_value{-9223372036854775808.0}).as_converted_to_int64_t(),
            int64_min);
}

struct throws_on_conversion {
  operator response::string_value() const { throw std::runtime_error("conversion failed"); }
};

TEST(ResponseValueless, EveryInspectionRaisesBadVariantAccess) {
  response::value_t value = response::int32_value{1};
  EXPECT_THROW(value.emplace<8>(throws_on_conversion{}), std::runtime_error);
  const response r(sys_name, value);
  ASSERT_TRUE(r.value().valueless_by_exception());
  const std::vector<std::function<void()>> inspections = {
      [&] { response::type_name(r.value()); },
      [&] { static_cast<void>(static_cast<bool>(r)); },
      [&] { r.as_oid(); },
      [&] { r.str(); },
      [&] { r.is_convertible_to_double(); },
      [&] { r.as_converted_to_int64_t(); },
      [&] { r.as_converted_to_uint64_t(); },
  };
  for (std::size_t i = 0; i < inspections.size(); ++i) {
    try {
      inspections[i]();
      ADD_FAILURE() << "no exception from inspection " << i;
    } catch (const std::bad_variant_access& e) {
      EXPECT_STREQ(e.what(), "bad variant access") << "inspection " << i;
    }
  }
  EXPECT_EQ(r.name(), "sysName.0");  // the OID is still readable
}

}  // namespace
