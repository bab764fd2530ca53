#include <gtest/gtest.h>
#include <kestrel/exceptions.hpp>

#include <functional>
#include <string>

#include "helpers/case_names.hpp"
#include "support/catalogue.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;

namespace {

struct leaf_case {
  std::function<void()> raise;
  std::string group;  // the group class that catches it, if any
  std::string key;
  std::string what;
};

std::string group_of(const ex::exception& e) {
  if (dynamic_cast<const ex::data_exception*>(&e) != nullptr) return "data";
  if (dynamic_cast<const ex::settings_invalid*>(&e) != nullptr) return "settings";
  if (dynamic_cast<const ex::communication_error*>(&e) != nullptr) return "communication";
  return "";
}

class Leaves : public testing::TestWithParam<leaf_case> {};

TEST_P(Leaves, CarryTheirGroupEncodedKeyAndSubstitutedText) {
  const auto& c = GetParam();
  try {
    c.raise();
    FAIL() << "nothing raised";
  } catch (const ex::exception& e) {
    EXPECT_EQ(group_of(e), c.group);
    EXPECT_EQ(std::string(e.what()), c.what);
    EXPECT_EQ(e.message().key, c.key);
  }
}

const std::string report = "Please report this error to the Corvane support team.";

INSTANTIATE_TEST_SUITE_P(
    Catalogue, Leaves,
    testing::Values(
        leaf_case{[] { throw ex::invalid_handle(); }, "", "#:kestrel.error.invalid_handle[]",
                  "The request handle is invalid. " + report},
        leaf_case{[] { throw ex::maximum_oid_size_exceeded(); }, "",
                  "#:kestrel.error.maximum_oid_size_exceeded[]",
                  "The maximum OID buffer size was exceeded. " + report},
        leaf_case{[] { throw ex::communication_error("10060", "-24", "Timeout"); }, "communication",
                  "#:kestrel.error.communication_error[10060,-24,Timeout]",
                  "The sensor failed to communicate with the target system: Error 10060/-24: "
                  "Timeout."},
        leaf_case{[] { throw ex::timeout(); }, "communication", "#:kestrel.error.timeout[]",
                  "Timeout Error: The sensor failed to communicate with the target system. "
                  "Please check that the SNMP Port, Context Name, Encryption Type, and "
                  "Encryption Key are correct."},
        leaf_case{[] { throw ex::authentication_password_invalid("Too short"); }, "settings",
                  "#:kestrel.error.authentication_password_invalid[Too short]",
                  "The authentication password is invalid. Too short."},
        leaf_case{[] { throw ex::encryption_key_invalid("bad"); }, "settings",
                  "#:kestrel.error.encryption_key_invalid[bad]",
                  "The encryption key is invalid. bad."},
        leaf_case{[] { throw ex::initialization_failed("0", "-3", "Unknown host"); }, "settings",
                  "#:kestrel.error.initialization_failed[0,-3,Unknown host]",
                  "Initialization failed: Error 0/-3: Unknown host."},
        leaf_case{[] { throw ex::parameter_invalid("1", "2", "m"); }, "settings",
                  "#:kestrel.error.parameter_invalid[1,2,m]", "Invalid parameter: Error 1/2: m."},
        leaf_case{[] { throw ex::missing_mib_for_oid("IF-MIB::ifFoo", "Unknown Object"); },
                  "settings",
                  "#:kestrel.error.missing_mib_for_oid[IF-MIB\\:\\:ifFoo,Unknown Object]",
                  "Halyard could not resolve the OID for 'IF-MIB::ifFoo'. Either the required "
                  "MIB file was not found or the name is invalid. Unknown Object"},
        leaf_case{[] { throw ex::no_result_for_oid(); }, "data",
                  "#:kestrel.error.no_result_for_oid[]",
                  "The target system did not return a result for the requested OID."},
        leaf_case{[] { throw ex::index_not_found("ifDescr", "eth0"); }, "data",
                  "#:kestrel.error.index_not_found[ifDescr,eth0]",
                  "The requested index value (eth0) was not found in the SNMP table column "
                  "ifDescr."},
        leaf_case{[] { throw ex::oid_has_wrong_type("sysName.0", "String", "Integer (32bit)"); },
                  "data", "#:kestrel.error.oid_has_wrong_type[sysName.0,String,Integer (32bit)]",
                  "The returned result from OID 'sysName.0' is the wrong type ('String'). The "
                  "expected type is 'Integer (32bit)'."},
        leaf_case{[] { throw ex::duplicate_row_index("d (.1) NULL: (null)"); }, "data",
                  "#:kestrel.error.duplicate_row_index[d (.1) NULL\\: (null)]",
                  "The table contains a duplicate index. " + report + " d (.1) NULL: (null)"},
        leaf_case{[] { throw ex::non_table_data("x"); }, "data",
                  "#:kestrel.error.non_table_data[x]",
                  "The server result contains data that is not in a table. " + report + " x"},
        leaf_case{[] { throw ex::response_limit_exceeded("1000000"); }, "data",
                  "#:kestrel.error.response_limit_exceeded[1000000]",
                  "The target system returned more than 1000000 values for one query. The query "
                  "was stopped."},
        // Every escaped character, and placeholders inside arguments taken literally.
        leaf_case{[] { throw ex::index_not_found("a\\b#c[d]e,f:g", "%0:s"); }, "data",
                  "#:kestrel.error.index_not_found[a\\\\b\\#c\\[d\\]e\\,f\\:g,%0\\:s]",
                  "The requested index value (%0:s) was not found in the SNMP table column "
                  "a\\b#c[d]e,f:g."},
        // The internationalisation layer's own entry, which no class of this library raises.
        leaf_case{[] { throw ex::exception(k::catalogue::ortolan_generic.format("detail")); }, "",
                  "#:ortolan.error.generic[detail]",
                  "An error occurred. For more information, check the \\Logs\\sensors subfolder "
                  "of the Halyard data directory on the probe system. If you have not enabled "
                  "debug options, activate Store result under Debug Options in the settings of "
                  "the sensor, rescan, and check the \\Logs\\sensors subfolder of the Halyard data "
                  "directory on the probe system. detail"}),
    corvane::tallis::kestrel::helpers::numbered([](const leaf_case& c) { return c.key; }));

}  // namespace
