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

response make(response::value_t value) { return response(sys_name, std::move(value)); }

// Runs `call` and checks that it raises oid_has_wrong_type with the text and encoded key that
// name sysName.0, the held type and the expected type.
void expect_wrong_type(const std::function<void()>& call, const std::string& held,
                       const std::string& expected) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected type " << expected;
  } catch (const kestrel::exceptions::oid_has_wrong_type& e) {
    EXPECT_EQ(e.what(), "The returned result from OID 'sysName.0' is the wrong type ('" + held +
                            "'). The expected type is '" + expected + "'.");
    EXPECT_EQ(e.message().key,
              "#:kestrel.error.oid_has_wrong_type[sysName.0," + held + "," + expected + "]");
    EXPECT_EQ(e.message().text, e.what());
  }
}

// --- type names, predicates, truth and text form -----------------------------------------

struct form_case {
  response::value_t value;
  std::size_t index;
  std::string type_name;
  std::string text;
};

class ResponseForm : public testing::TestWithParam<form_case> {};

TEST_P(ResponseForm, TypeNamePredicateTruthTextAndDescription) {
  const form_case& c = GetParam();
  const response r = make(c.value);
  EXPECT_EQ(r.value().index(), c.index);
  EXPECT_EQ(response::type_name(r.value()), c.type_name);
  EXPECT_EQ(r.as_string(), c.text);
  EXPECT_EQ(static_cast<bool>(r), c.index != 10) << "only an error marker is false";
  EXPECT_EQ(r.str(), "sysName.0 (.1.3.6.1.2.1.1.5.0) " + c.type_name + ": " + c.text);

  const std::vector<bool> predicates = {r.is_null(),        r.is_int32_t(), r.is_uint32_t(),
                                        r.is_timeticks_t(), r.is_int64_t(), r.is_uint64_t(),
                                        r.is_float(),       r.is_double(),  r.is_string(),
                                        r.is_oid(),         r.is_error()};
  for (std::size_t i = 0; i < predicates.size(); ++i) {
    EXPECT_EQ(predicates[i], i == c.index) << "predicate " << i;
  }
}

const kestrel::oid if_mib({1, 3, 6, 1, 2, 1, 31}, ".iso.org.dod.internet.mgmt.mib-2.ifMIB");

INSTANTIATE_TEST_SUITE_P(
    EveryAlternative, ResponseForm,
    testing::Values(
        form_case{response::null_value{}, 0, "NULL", "(null)"},
        form_case{response::int32_value{-5}, 1, "Integer (32bit)", "-5"},
        form_case{response::int32_value{std::numeric_limits<int>::min()}, 1, "Integer (32bit)",
                  "-2147483648"},
        form_case{response::uint32_value{4294967295U}, 2, "Unsigned Integer (32bit)", "4294967295"},
        form_case{response::timeticks_value{timeticks_t(12345)}, 3, "Time Ticks (32bit)", "12345"},
        form_case{response::int64_value{std::numeric_limits<std::int64_t>::min()}, 4,
                  "Integer (64bit)", "-9223372036854775808"},
        form_case{response::uint64_value{std::numeric_limits<std::uint64_t>::max()}, 5,
                  "Unsigned Integer (64bit)", "18446744073709551615"},
        form_case{response::float_value{2.5F}, 6, "Float", "2.500000"},
        form_case{response::float_value{0.1F}, 6, "Float", "0.100000"},
        form_case{response::double_value{-2.9}, 7, "Double", "-2.900000"},
        form_case{response::double_value{1e20}, 7, "Double", "100000000000000000000.000000"},
        form_case{response::double_value{0.0000004}, 7, "Double", "0.000000"},
        form_case{response::string_value{"router1"}, 8, "String", "router1"},
        form_case{response::string_value{std::string("a\0b\xff", 4)}, 8, "String",
                  std::string("a\0b\xff", 4)},
        form_case{response::oid_value{if_mib}, 9, "OID", ".iso.org.dod.internet.mgmt.mib-2.ifMIB"},
        form_case{response::error_value{"End of MIB"}, 10, "Error", "End of MIB"}),
    corvane::tallis::kestrel::helpers::numbered([](const form_case& c) {
      return c.type_name + " " + c.text;
    }));

TEST(ResponseDescription, GoldenLineAndEmptyNumericOid) {
  EXPECT_EQ(make(response::string_value{"router1"}).str(),
            "sysName.0 (.1.3.6.1.2.1.1.5.0) String: router1");
  EXPECT_EQ(response(kestrel::oid({}, "x"), response::int32_value{1}).str(),
            "x () Integer (32bit): 1");
  // Sub-identifiers are printed as the engine hands them over: the full unsigned 32-bit range
  // where a long holds it.
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
class german_host {
 public:
  german_host()
      : previous_(
            std::locale::global(std::locale(std::locale::classic(), new german_punctuation))) {
    for (const char* name : {"de_DE.UTF-8", "de-DE", "German_Germany.1252"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        c_locale_ = true;
        break;
      }
    }
  }
  german_host(const german_host&) = delete;
  german_host& operator=(const german_host&) = delete;
  ~german_host() {
    std::setlocale(LC_ALL, "C");
    std::locale::global(previous_);
  }
  bool c_locale() const { return c_locale_; }

 private:
  std::locale previous_;
  bool c_locale_ = false;
};

TEST(ResponseTexts, IgnoreTheHostsLocaleAndTheCallersStreamState) {
  german_host host;
  const std::vector<long> numeric = {1, 3, 6, 255, 12345};
  std::ostringstream stream;
  stream.imbue(std::locale());
  stream << std::hex << std::showbase;
  {
    using kestrel::operator<<;
    stream << numeric;
  }
  stream << 255;
  EXPECT_EQ(stream.str(), ".1.3.6.255.123450xff");
  EXPECT_EQ(kestrel::library::numeric_oid_to_string(numeric), ".1.3.6.255.12345");

  kestrel::helpers::recording_logger logger;
  kestrel::detail::stream_logger(logger) << 12345 << ' ' << 2.5;
  EXPECT_EQ(logger.messages(), std::vector<std::string>{"12345 2.5"});

  if (!host.c_locale()) GTEST_SKIP() << "no German C locale on this system";
  const kestrel::oid column({1, 3, 6, 1, 2, 1, 2, 2, 1, 5}, ".iso.ifTable.ifEntry.ifSpeed.1");
  const std::vector<response> table = {
      response(column, response::float_value{2.5F}),
      response(column, response::double_value{-12345.125}),
  };
  EXPECT_EQ(table[0].as_string(), "2.500000");
  EXPECT_EQ(table[1].str(),
            ".iso.ifTable.ifEntry.ifSpeed.1 (.1.3.6.1.2.1.2.2.1.5) Double: -12345.125000");
  std::ostringstream printed;
  kestrel::table_printer::print_table({table[0]}, printed,
                                      kestrel::oid({1, 3, 6, 1, 2, 1, 2, 2}, ".iso.ifTable"));
  EXPECT_NE(printed.str().find(" 2.500000 "), std::string::npos) << printed.str();
}

TEST(ResponseAccessors, OidNameAndNumbersComeFromTheBinding) {
  const response r = make(response::null_value{});
  EXPECT_EQ(r.oid(), sys_name);
  EXPECT_EQ(r.name(), "sysName.0");
  EXPECT_EQ(r.numeric_oid(), (std::vector<long>{1, 3, 6, 1, 2, 1, 1, 5, 0}));
}

// --- strict accessors ---------------------------------------------------------------------

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

struct strict_case {
  std::string expected_type;
  std::function<void(const response&)> call;
};

const std::vector<strict_case> strict_accessors = {
    {"Integer (32bit)", [](const response& r) { r.as_int32_t(); }},
    {"Unsigned Integer (32bit)", [](const response& r) { r.as_uint32_t(); }},
    {"Time Ticks (32bit)", [](const response& r) { r.as_timeticks_t(); }},
    {"Integer (64bit)", [](const response& r) { r.as_int64_t(); }},
    {"Unsigned Integer (64bit)", [](const response& r) { r.as_uint64_t(); }},
    {"Float", [](const response& r) { r.as_float(); }},
    {"Double", [](const response& r) { r.as_double(); }},
    {"OID", [](const response& r) { r.as_oid(); }},
};

TEST(ResponseStrictAccessors, OnAStringNameTheOidAndBothTypes) {
  const response r = make(response::string_value{"42"});
  for (const strict_case& c : strict_accessors) {
    SCOPED_TRACE(c.expected_type);
    expect_wrong_type([&] { c.call(r); }, "String", c.expected_type);
  }
}

TEST(ResponseStrictAccessors, NeighbouringAlternativesDoNotPass) {
  // Same C++ representation or a lossless widening is still the wrong alternative.
  expect_wrong_type([] { make(response::int64_value{1}).as_int32_t(); }, "Integer (64bit)",
                    "Integer (32bit)");
  expect_wrong_type([] { make(response::uint32_value{1}).as_uint64_t(); },
                    "Unsigned Integer (32bit)", "Unsigned Integer (64bit)");
  expect_wrong_type([] { make(response::float_value{1}).as_double(); }, "Float", "Double");
  expect_wrong_type([] { make(response::int64_value{1}).as_timeticks_t(); }, "Integer (64bit)",
                    "Time Ticks (32bit)");
  expect_wrong_type([] { make(response::error_value{"End of MIB"}).as_int32_t(); }, "Error",
                    "Integer (32bit)");
  expect_wrong_type([] { make(response::null_value{}).as_oid(); }, "NULL", "OID");
}

TEST(ResponseStrictAccessors, KeyEscapesTheOidName) {
  const response r(kestrel::oid({1}, "IF-MIB::ifIndex[1],x"), response::null_value{});
  try {
    r.as_int32_t();
    FAIL() << "no exception";
  } catch (const kestrel::exceptions::data_exception& e) {
    EXPECT_EQ(e.message().key,
              "#:kestrel.error.oid_has_wrong_type[IF-MIB\\:\\:ifIndex\\[1\\]\\,x,NULL,Integer "
              "(32bit)]");
    EXPECT_STREQ(e.what(),
                 "The returned result from OID 'IF-MIB::ifIndex[1],x' is the wrong type "
                 "('NULL'). The expected type is 'Integer (32bit)'.");
  }
}

// --- lenient conversions: the admission table, row by row --------------------------------

struct conversion_case {
  std::string label;
  response::value_t value;
  std::optional<double> to_double;
  std::optional<std::int64_t> to_int64;
  std::optional<std::uint64_t> to_uint64;
};

class ResponseConversions : public testing::TestWithParam<conversion_case> {};

TEST_P(ResponseConversions, AdmitExactlyTheTable) {
  const conversion_case& c = GetParam();
  const response r = make(c.value);
  const std::string held = response::type_name(c.value);

  EXPECT_EQ(r.is_convertible_to_double(), c.to_double.has_value());
  if (c.to_double) {
    EXPECT_DOUBLE_EQ(r.as_converted_to_double(), *c.to_double);
  } else {
    expect_wrong_type([&] { r.as_converted_to_double(); }, held, "Double");
  }

  EXPECT_EQ(r.is_convertible_to_int64_t(), c.to_int64.has_value());
  if (c.to_int64) {
    EXPECT_EQ(r.as_converted_to_int64_t(), *c.to_int64);
  } else {
    expect_wrong_type([&] { r.as_converted_to_int64_t(); }, held, "Integer (64bit)");
  }

  EXPECT_EQ(r.is_convertible_to_uint64_t(), c.to_uint64.has_value());
  if (c.to_uint64) {
    EXPECT_EQ(r.as_converted_to_uint64_t(), *c.to_uint64);
  } else {
    expect_wrong_type([&] { r.as_converted_to_uint64_t(); }, held, "Unsigned Integer (64bit)");
  }
}

constexpr auto no = std::nullopt;
constexpr std::uint64_t two_to_63 = 1ULL << 63;

INSTANTIATE_TEST_SUITE_P(
    AdmissionTable, ResponseConversions,
    testing::Values(conversion_case{"null", response::null_value{}, no, no, no},
                    conversion_case{"int_negative", response::int32_value{-5}, -5.0, -5, no},
                    conversion_case{"int_positive", response::int32_value{5}, 5.0, 5, no},
                    conversion_case{"int_min",
                                    response::int32_value{std::numeric_limits<int>::min()},
                                    -2147483648.0, -2147483648LL, no},
                    conversion_case{"unsigned_max", response::uint32_value{4294967295U},
                                    4294967295.0, 4294967295LL, 4294967295ULL},
                    conversion_case{"timeticks", response::timeticks_value{timeticks_t(12345)},
                                    123.45, 12345, 12345ULL},
                    conversion_case{"int64_min",
                                    response::int64_value{std::numeric_limits<std::int64_t>::min()},
                                    -9223372036854775808.0,
                                    std::numeric_limits<std::int64_t>::min(), no},
                    conversion_case{"int64_positive", response::int64_value{7}, 7.0, 7, no},
                    // Never to int64, even when it would fit.
                    conversion_case{"uint64_small", response::uint64_value{7}, 7.0, no, 7ULL},
                    conversion_case{"uint64_large", response::uint64_value{two_to_63},
                                    9223372036854775808.0, no, two_to_63},
                    conversion_case{"float_positive", response::float_value{2.5F}, 2.5, 2, no},
                    conversion_case{"float_negative", response::float_value{-2.75F}, -2.75, -2, no},
                    conversion_case{"double_negative", response::double_value{-2.9}, -2.9, -2, no},
                    conversion_case{"double_positive", response::double_value{2.9}, 2.9, 2, no},
                    // Strings are never parsed.
                    conversion_case{"string_digits", response::string_value{"42"}, no, no, no},
                    conversion_case{"oid", response::oid_value{sys_name}, no, no, no},
                    conversion_case{"error", response::error_value{"End of MIB"}, no, no, no}),
    [](const testing::TestParamInfo<conversion_case>& param) { return param.param.label; });

TEST(ResponseConversionEdges, UnsignedNeverGoesThroughASignedType) {
  EXPECT_EQ(make(response::uint32_value{4294967295U}).as_converted_to_double(), 4294967295.0);
  EXPECT_EQ(make(response::uint64_value{std::numeric_limits<std::uint64_t>::max()})
                .as_converted_to_double(),
            18446744073709551616.0);
}

TEST(ResponseConversionEdges, FloatingValuesOutsideInt64DoNotCrash) {
  // The result is not part of the contract; the conversion must just be defined.
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {std::nan(""), inf, -inf, 1e300, -1e300}) {
    SCOPED_TRACE(v);
    EXPECT_NO_THROW(make(response::double_value{v}).as_converted_to_int64_t());
    EXPECT_NO_THROW(make(response::float_value{static_cast<float>(v)}).as_converted_to_int64_t());
  }
  EXPECT_EQ(make(response::double_value{-9223372036854775808.0}).as_converted_to_int64_t(),
            std::numeric_limits<std::int64_t>::min());
}

// --- valueless value ----------------------------------------------------------------------

struct throws_on_conversion {
  operator response::string_value() const { throw std::runtime_error("conversion failed"); }
};

response::value_t valueless() {
  response::value_t value = response::int32_value{1};
  try {
    value.emplace<8>(throws_on_conversion{});
  } catch (const std::runtime_error&) {
  }
  return value;
}

TEST(ResponseValueless, EveryInspectionRaisesBadVariantAccess) {
  const response r(sys_name, valueless());
  ASSERT_TRUE(r.value().valueless_by_exception());

  const std::vector<std::pair<std::string, std::function<void()>>> inspections = {
      {"type_name", [&] { response::type_name(r.value()); }},
      {"bool", [&] { static_cast<void>(static_cast<bool>(r)); }},
      {"is_null", [&] { r.is_null(); }},
      {"is_error", [&] { r.is_error(); }},
      {"as_int32_t", [&] { r.as_int32_t(); }},
      {"as_oid", [&] { r.as_oid(); }},
      {"as_string", [&] { r.as_string(); }},
      {"str", [&] { r.str(); }},
      {"is_convertible_to_double", [&] { r.is_convertible_to_double(); }},
      {"as_converted_to_int64_t", [&] { r.as_converted_to_int64_t(); }},
      {"as_converted_to_uint64_t", [&] { r.as_converted_to_uint64_t(); }},
  };
  for (const auto& [label, inspect] : inspections) {
    SCOPED_TRACE(label);
    try {
      inspect();
      ADD_FAILURE() << "no exception";
    } catch (const std::bad_variant_access& e) {
      EXPECT_STREQ(e.what(), "bad variant access");
    }
  }
  // The OID is still readable.
  EXPECT_EQ(r.name(), "sysName.0");
}

}  // namespace
