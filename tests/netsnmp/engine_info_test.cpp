#include <gmock/gmock.h>

#include <kestrel/engine_info.hpp>

#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

using engine_info_test = netsnmp_test;

TEST_F(engine_info_test, DescribesTheMibEngineAndGivesDisplayHints) {
  const engine_description engine = describe_engine(*pool_);
  EXPECT_THAT(engine.version, ::testing::StartsWith("5."));
  // The module's own "mibs" is among them (on Windows the registry's entries come around it).
  EXPECT_THAT(engine.mib_directories, Contains(::testing::EndsWith("mibs")));
  EXPECT_THAT(engine.modules, Contains("IF-MIB"));
  EXPECT_THAT(engine.modules, Contains("SNMPv2-MIB"));
  // A module that imports nothing is loaded all the same.
  EXPECT_THAT(engine.modules, Contains("SNMPv2-SMI"));
  EXPECT_TRUE(std::is_sorted(engine.modules.begin(), engine.modules.end()));
  EXPECT_THAT(engine.auth_protocols,
              ElementsAre("MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"));
  EXPECT_THAT(engine.priv_protocols,
              ElementsAre("DES", "AES", "AES-192", "AES-256", "AES-192-C", "AES-256-C"));

  // Display hints come from the object's textual convention.
  const std::pair<std::vector<long>, std::string> cases[] = {
      {{1, 3, 6, 1, 2, 1, 1, 5, 0}, "255a"},  // SNMPv2-MIB::sysName.0, DisplayString
      {{1, 3, 6, 1, 2, 1, 1, 5}, "255a"},     // the object itself
      {{1, 3, 6, 1, 2, 1, 1, 3, 0}, ""},      // sysUpTime: TimeTicks, no hint
      {{1, 3, 6, 1, 4, 1, 99999, 1}, ""},     // no MIB knows it
      {{}, ""},
  };
  for (const auto& [numeric, hint] : cases) {
    EXPECT_EQ(display_hint(*pool_, numeric), hint) << library::numeric_oid_to_string(numeric);
  }
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
