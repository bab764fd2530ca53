// This program links the engine itself, as a host process that uses Net-SNMP on its own
// would. The pool's engine instances, the MIB instance among them, must never be the host's.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <kestrel/library.hpp>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/pool_netsnmp.hpp"
#include "support/dynamic_library.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;

std::string full_name(context_netsnmp& context, const std::vector<::oid>& numeric) {
  std::string text(256, '\0');
  const int written =
      context.snprint_objid(text.data(), text.size() - 1, numeric.data(), numeric.size());
  text.resize(written < 0 ? 0 : static_cast<std::size_t>(written));
  return text;
}

std::string host_configuration_dir() {
  const char* dir =
      ::netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_CONFIGURATION_DIR);
  return dir != nullptr ? dir : "(unset)";
}

bool host_reads(const std::string& name) {
  std::vector<::oid> numeric(MAX_OID_LEN);
  std::size_t count = numeric.size();
  return ::read_objid(name.c_str(), numeric.data(), &count) == 1 && count == 9;
}

TEST(host_engine_test, PoolEnginesLeaveTheHostsOwnEngineAlone) {
  // The host runs its own engine, with the MIBs beside the module and its own output format.
  ::setenv("MIBDIRS", (module_directory() / "mibs").c_str(), 1);
  ::netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT,
                       NETSNMP_OID_OUTPUT_SUFFIX);
  ::init_snmp("host");
  ASSERT_TRUE(host_reads("SNMPv2-MIB::sysDescr.0"));
  const std::string configuration_dir = host_configuration_dir();

  const fs::path base =
      fs::temp_directory_path() / ("kestrel-" + std::to_string(::getpid()) + "-host-engine");
  for (int round = 0; round < 2; ++round) {
    auto p = create_pool(base);
    auto names = create_library(*p);
    EXPECT_EQ(names->oid_from_name("SNMPv2-MIB::sysDescr.0").name(),
              ".iso.org.dod.internet.mgmt.mib-2.system.sysDescr.0");
    // Printing consults the output format from inside the engine; a copy whose internal calls
    // bound to the host's engine (or to another copy) would print in that one's format.
    auto first = std::dynamic_pointer_cast<pool_netsnmp>(p)->get_context(1);
    auto second = std::dynamic_pointer_cast<pool_netsnmp>(p)->get_context(2);
    second->netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT,
                               NETSNMP_OID_OUTPUT_NUMERIC);
    EXPECT_EQ(full_name(*second, {1, 3, 6, 1}), ".1.3.6.1");
    EXPECT_EQ(full_name(*first, {1, 3, 6, 1}), ".iso.3.6.1");
    EXPECT_EQ(::netsnmp_ds_get_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT),
              NETSNMP_OID_OUTPUT_SUFFIX);
    EXPECT_EQ(host_configuration_dir(), configuration_dir);
  }
  EXPECT_TRUE(host_reads("SNMPv2-MIB::sysDescr.0"));
  ::snmp_shutdown("host");
  fs::remove_all(base);
}

}  // namespace
}  // namespace corvane::tallis::kestrel
