// A table recorded from the test agent and replayed through the walk mock answers the same.
#include <gtest/gtest.h>

#include <fstream>
#include <kestrel/request.hpp>
#include <kestrel/test_connections.hpp>
#include <string>
#include <vector>

#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

std::vector<std::string> describe(const std::vector<response>& responses) {
  std::vector<std::string> texts;
  for (const response& r : responses) texts.push_back(r.str());
  return texts;
}

using snmprec_round_trip = netsnmp_test;

TEST_F(snmprec_round_trip, ARecordedTableReplaysAsTheAgentAnswered) {
  const compat_settings compat;
  for (const char* table : {"IF-MIB::ifTable", "SNMPv2-MIB::sysORTable"}) {
    SCOPED_TRACE(table);
    request live(
        create_connection(*pool_, community_settings(version_t::snmp_v2c, shared_agent().port())),
        names_, compat);
    const auto live_id = live.table(table);
    const std::vector<response> recorded = live.execute(logger_).at(live_id);
    ASSERT_GT(recorded.size(), 5u);

    const std::filesystem::path file = base_ / "device.snmprec";
    {
      std::ofstream out(file, std::ios::binary);
      test::write_snmprec(recorded, out);
    }
    request replay(test::get_mock_connection_walk_factory(test::load_snmprec(file, *names_))(
                       community_settings(version_t::snmp_v2c, 1)),
                   names_, compat);
    const auto replay_id = replay.table(table);
    EXPECT_EQ(describe(replay.execute(logger_).at(replay_id)), describe(recorded));
  }
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
