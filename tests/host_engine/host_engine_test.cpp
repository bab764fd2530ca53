// This program links the engine itself, as a host process that uses Net-SNMP on its own
// would. The pool's engine copies must still be instances of their own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/pool_netsnmp.hpp"

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

TEST(host_engine_test, EngineCopiesStayIsolatedFromTheEngineTheHostLinks) {
  const fs::path base =
      fs::temp_directory_path() / ("kestrel-" + std::to_string(::getpid()) + "-host-engine");
  // The host's own engine prints object identifiers numerically.
  ::netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT,
                       NETSNMP_OID_OUTPUT_NUMERIC);
  {
    auto p = std::dynamic_pointer_cast<pool_netsnmp>(create_pool(base));
    auto first = p->get_context(1);
    auto second = p->get_context(2);

    // The copies' start-up did not reach the host's engine.
    EXPECT_EQ(::netsnmp_ds_get_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT),
              NETSNMP_OID_OUTPUT_NUMERIC);
    EXPECT_EQ(::netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_CONFIGURATION_DIR),
              nullptr);

    // Printing consults the output format from inside the engine; a copy whose internal calls
    // bound to the host's engine would print numerically here.
    EXPECT_EQ(full_name(*first, {1, 3, 6, 1}), ".iso.3.6.1");
    second->netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT,
                               NETSNMP_OID_OUTPUT_NUMERIC);
    EXPECT_EQ(full_name(*second, {1, 3, 6, 1}), ".1.3.6.1");
    EXPECT_EQ(full_name(*first, {1, 3, 6, 1}), ".iso.3.6.1");
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace corvane::tallis::kestrel
