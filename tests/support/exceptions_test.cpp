#include <avocet/strings.hpp>
#include <kestrel/exceptions.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/catalogue.hpp"
#include "helpers/case_names.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;
namespace ortolan = corvane::tallis::ortolan;

namespace {

struct leaf_case {
  std::string name;
  std::function<void()> raise;
  std::string key;
  std::string what;
};

class Leaves : public testing::TestWithParam<leaf_case> {};

TEST_P(Leaves, CarryEncodedKeyAndSubstitutedText) {
  const auto& c = GetParam();
  try {
    c.raise();
    FAIL() << "nothing raised";
  } catch (const ex::exception& e) {
    EXPECT_EQ(std::string(e.what()), c.what);
    EXPECT_EQ(e.message().key, c.key);
    EXPECT_EQ(e.message().text, c.what);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, Leaves,
    testing::Values(
        leaf_case{"invalid_handle", [] { throw ex::invalid_handle(); },
                  "#:kestrel.error.invalid_handle[]",
                  "The request handle is invalid. Please report this error to the Corvane "
                  "support team."},
        leaf_case{"maximum_oid_size_exceeded", [] { throw ex::maximum_oid_size_exceeded(); },
                  "#:kestrel.error.maximum_oid_size_exceeded[]",
                  "The maximum OID buffer size was exceeded. Please report this error to the "
                  "Corvane support team."},
        leaf_case{"communication_error",
                  [] { throw ex::communication_error("10060", "-24", "Timeout"); },
                  "#:kestrel.error.communication_error[10060,-24,Timeout]",
                  "The sensor failed to communicate with the target system: Error 10060/-24: "
                  "Timeout."},
        leaf_case{"timeout", [] { throw ex::timeout(); }, "#:kestrel.error.timeout[]",
                  "Timeout Error: The sensor failed to communicate with the target system. "
                  "Please check that the SNMP Port, Context Name, Encryption Type, and "
                  "Encryption Key are correct."},
        leaf_case{"authentication_password_invalid",
                  [] { throw ex::authentication_password_invalid("Too short"); },
                  "#:kestrel.error.authentication_password_invalid[Too short]",
                  "The authentication password is invalid. Too short."},
        leaf_case{"encryption_key_invalid", [] { throw ex::encryption_key_invalid("bad"); },
                  "#:kestrel.error.encryption_key_invalid[bad]",
                  "The encryption key is invalid. bad."},
        leaf_case{"initialization_failed",
                  [] { throw ex::initialization_failed("0", "-3", "Unknown host"); },
                  "#:kestrel.error.initialization_failed[0,-3,Unknown host]",
                  "Initialization failed: Error 0/-3: Unknown host."},
        leaf_case{"parameter_invalid", [] { throw ex::parameter_invalid("1", "2", "m"); },
                  "#:kestrel.error.parameter_invalid[1,2,m]", "Invalid parameter: Error 1/2: m."},
        leaf_case{"missing_mib_for_oid",
                  [] { throw ex::missing_mib_for_oid("IF-MIB::ifFoo", "Unknown Object"); },
                  "#:kestrel.error.missing_mib_for_oid[IF-MIB\\:\\:ifFoo,Unknown Object]",
                  "Halyard could not resolve the OID for 'IF-MIB::ifFoo'. Either the required "
                  "MIB file was not found or the name is invalid. Unknown Object"},
        leaf_case{"no_result_for_oid", [] { throw ex::no_result_for_oid(); },
                  "#:kestrel.error.no_result_for_oid[]",
                  "The target system did not return a result for the requested OID."},
        leaf_case{"index_not_found", [] { throw ex::index_not_found("ifDescr", "eth0"); },
                  "#:kestrel.error.index_not_found[ifDescr,eth0]",
                  "The requested index value (eth0) was not found in the SNMP table column "
                  "ifDescr."},
        leaf_case{"oid_has_wrong_type",
                  [] { throw ex::oid_has_wrong_type("sysName.0", "String", "Integer (32bit)"); },
                  "#:kestrel.error.oid_has_wrong_type[sysName.0,String,Integer (32bit)]",
                  "The returned result from OID 'sysName.0' is the wrong type ('String'). The "
                  "expected type is 'Integer (32bit)'."},
        leaf_case{"oid_has_wrong_type_literal",
                  [] { throw ex::oid_has_wrong_type("x", std::string("String"), "OID"); },
                  "#:kestrel.error.oid_has_wrong_type[x,String,OID]",
                  "The returned result from OID 'x' is the wrong type ('String'). The expected "
                  "type is 'OID'."},
        leaf_case{"duplicate_row_index", [] { throw ex::duplicate_row_index("d (.1) NULL: (null)"); },
                  "#:kestrel.error.duplicate_row_index[d (.1) NULL\\: (null)]",
                  "The table contains a duplicate index. Please report this error to the Corvane "
                  "support team. d (.1) NULL: (null)"},
        leaf_case{"non_table_data", [] { throw ex::non_table_data("x"); },
                  "#:kestrel.error.non_table_data[x]",
                  "The server result contains data that is not in a table. Please report this "
                  "error to the Corvane support team. x"},
        leaf_case{"response_limit_exceeded", [] { throw ex::response_limit_exceeded("1000000"); },
                  "#:kestrel.error.response_limit_exceeded[1000000]",
                  "The target system returned more than 1000000 values for one query. The query "
                  "was stopped."},
        // Every escaped character, and placeholders inside arguments taken literally.
        leaf_case{"escaping", [] { throw ex::index_not_found("a\\b#c[d]e,f:g", "%0:s"); },
                  "#:kestrel.error.index_not_found[a\\\\b\\#c\\[d\\]e\\,f\\:g,%0\\:s]",
                  "The requested index value (%0:s) was not found in the SNMP table column "
                  "a\\b#c[d]e,f:g."}),
    corvane::tallis::kestrel::helpers::by_name{});

template <class Group, class Leaf>
bool caught_as(const Leaf& leaf) {
  try {
    throw leaf;
  } catch (const Group&) {
    return true;
  } catch (...) {
    return false;
  }
}

TEST(ExceptionGroups, CatchTheirLeavesOnly) {
  EXPECT_TRUE(caught_as<ex::data_exception>(ex::oid_has_wrong_type("a", "b", "c")));
  EXPECT_TRUE(caught_as<ex::data_exception>(ex::duplicate_row_index("a")));
  EXPECT_TRUE(caught_as<ex::data_exception>(ex::non_table_data("a")));
  EXPECT_TRUE(caught_as<ex::data_exception>(ex::index_not_found("a", "b")));
  EXPECT_TRUE(caught_as<ex::data_exception>(ex::no_result_for_oid()));
  EXPECT_FALSE(caught_as<ex::data_exception>(ex::timeout()));

  EXPECT_TRUE(caught_as<ex::communication_error>(ex::timeout()));
  EXPECT_FALSE(caught_as<ex::communication_error>(ex::invalid_handle()));

  EXPECT_TRUE(caught_as<ex::settings_invalid>(ex::authentication_password_invalid("a")));
  EXPECT_TRUE(caught_as<ex::settings_invalid>(ex::encryption_key_invalid("a")));
  EXPECT_TRUE(caught_as<ex::settings_invalid>(ex::initialization_failed("a", "b", "c")));
  EXPECT_TRUE(caught_as<ex::settings_invalid>(ex::parameter_invalid("a", "b", "c")));
  EXPECT_TRUE(caught_as<ex::settings_invalid>(ex::missing_mib_for_oid("a", "b")));
  EXPECT_FALSE(caught_as<ex::settings_invalid>(ex::no_result_for_oid()));

  EXPECT_TRUE(caught_as<ortolan::i18n_exception>(ex::maximum_oid_size_exceeded()));
  EXPECT_TRUE(caught_as<corvane::tallis::tern::exception>(ex::timeout()));
  EXPECT_TRUE(caught_as<std::exception>(ex::timeout()));
}

TEST(ExceptionGroups, FormatterErrorsAreNotInternationalised) {
  EXPECT_FALSE(caught_as<ortolan::i18n_exception>(
      corvane::tallis::avocet::format_string_error("Malformed placeholder in format string.")));
}

TEST(ExceptionCopies, KeepTextAndKey) {
  const ex::index_not_found original("c", "v");
  const ex::index_not_found copy = original;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_STREQ(copy.what(), original.what());
  EXPECT_EQ(copy.message().key, original.message().key);
}

TEST(Catalogue, GenericEntryOfTheInternationalisationLayer) {
  const auto formatted = k::catalogue::ortolan_generic.format("detail");
  EXPECT_EQ(formatted.key, "#:ortolan.error.generic[detail]");
  EXPECT_EQ(formatted.text,
            "An error occurred. For more information, check the \\Logs\\sensors subfolder of "
            "the Halyard data directory on the probe system. If you have not enabled debug "
            "options, activate Store result under Debug Options in the settings of the sensor, "
            "rescan, and check the \\Logs\\sensors subfolder of the Halyard data directory on "
            "the probe system. detail");
}

}  // namespace
