#include <gtest/gtest.h>
#include <kestrel/exceptions.hpp>

#include <string>

#include "helpers/case_names.hpp"
#include "support/catalogue.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;

namespace {

struct leaf_case {
  ex::exception error;  // the base part of the raised class, which holds key and text
  std::string key;
  std::string what;
};

class Leaves : public testing::TestWithParam<leaf_case> {};

TEST_P(Leaves, CarryTheirEncodedKeyAndSubstitutedText) {
  EXPECT_EQ(std::string(GetParam().error.what()), GetParam().what);
  EXPECT_EQ(GetParam().error.message().key, GetParam().key);
}

const std::string report = "Please report this error to the Corvane support team.";
const std::string key = "#:kestrel.error.";

INSTANTIATE_TEST_SUITE_P(
    Catalogue, Leaves,
    testing::Values(
        leaf_case{ex::invalid_handle(), key + "invalid_handle[]",
                  "The request handle is invalid. " + report},
        leaf_case{ex::maximum_oid_size_exceeded(), key + "maximum_oid_size_exceeded[]",
                  "The maximum OID buffer size was exceeded. " + report},
        leaf_case{ex::communication_error("10060", "-24", "Timeout"),
                  key + "communication_error[10060,-24,Timeout]",
                  "The sensor failed to communicate with the target system: Error 10060/-24: "
                  "Timeout."},
        leaf_case{ex::timeout(), key + "timeout[]",
                  "Timeout Error: The sensor failed to communicate with the target system. "
                  "Please check that the SNMP Port, Context Name, Encryption Type, and "
                  "Encryption Key are correct."},
        leaf_case{ex::authentication_password_invalid("Too short"),
                  key + "authentication_password_invalid[Too short]",
                  "The authentication password is invalid. Too short."},
        leaf_case{ex::encryption_key_invalid("bad"), key + "encryption_key_invalid[bad]",
                  "The encryption key is invalid. bad."},
        leaf_case{ex::initialization_failed("0", "-3", "Unknown host"),
                  key + "initialization_failed[0,-3,Unknown host]",
                  "Initialization failed: Error 0/-3: Unknown host."},
        leaf_case{ex::parameter_invalid("1", "2", "m"), key + "parameter_invalid[1,2,m]",
                  "Invalid parameter: Error 1/2: m."},
        leaf_case{ex::missing_mib_for_oid("IF-MIB::ifFoo", "Unknown Object"),
                  key + "missing_mib_for_oid[IF-MIB\\:\\:ifFoo,Unknown Object]",
                  "Halyard could not resolve the OID for 'IF-MIB::ifFoo'. Either the required "
                  "MIB file was not found or the name is invalid. Unknown Object"},
        leaf_case{ex::no_result_for_oid(), key + "no_result_for_oid[]",
                  "The target system did not return a result for the requested OID."},
        leaf_case{ex::oid_has_wrong_type("sysName.0", "String", "Integer (32bit)"),
                  key + "oid_has_wrong_type[sysName.0,String,Integer (32bit)]",
                  "The returned result from OID 'sysName.0' is the wrong type ('String'). The "
                  "expected type is 'Integer (32bit)'."},
        leaf_case{ex::duplicate_row_index("d (.1) NULL: (null)"),
                  key + "duplicate_row_index[d (.1) NULL\\: (null)]",
                  "The table contains a duplicate index. " + report + " d (.1) NULL: (null)"},
        leaf_case{ex::non_table_data("x"), key + "non_table_data[x]",
                  "The server result contains data that is not in a table. " + report + " x"},
        leaf_case{ex::response_limit_exceeded("1000000"), key + "response_limit_exceeded[1000000]",
                  "The target system returned more than 1000000 values for one query. The query "
                  "was stopped."},
        // Argument 1 before argument 0; every escaped character, and placeholders inside
        // arguments taken literally.
        leaf_case{ex::index_not_found("a\\b#c[d]e,f:g", "%0:s"),
                  key + "index_not_found[a\\\\b\\#c\\[d\\]e\\,f\\:g,%0\\:s]",
                  "The requested index value (%0:s) was not found in the SNMP table column "
                  "a\\b#c[d]e,f:g."},
        // The internationalisation layer's own entry, which no class of this library raises.
        leaf_case{ex::exception(k::catalogue::ortolan_generic.format("detail")),
                  "#:ortolan.error.generic[detail]",
                  "An error occurred. For more information, check the \\Logs\\sensors subfolder "
                  "of the Halyard data directory on the probe system. If you have not enabled "
                  "debug options, activate Store result under Debug Options in the settings of "
                  "the sensor, rescan, and check the \\Logs\\sensors subfolder of the Halyard data "
                  "directory on the probe system. detail"}),
    corvane::tallis::kestrel::helpers::numbered([](const leaf_case& c) { return c.key; }));

}  // namespace
