// Every kind of query against Debian's snmpd on loopback (helpers/snmp_agent.hpp).

#include <algorithm>
#include <fstream>

#include <kestrel/test_connections.hpp>

#include "netsnmp/connection_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using namespace std::chrono_literals;

const std::string system_group = ".iso.org.dod.internet.mgmt.mib-2.system.";

std::size_t count_of(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// ---- SNMPv3 ----------------------------------------------------------------------------

using usm_test = netsnmp_test;

// The agent reports a failed authentication at once; what it cannot decrypt or serve it drops,
// and the request times out (bounded, no retry). AES-192/256 keys are extended from a shorter
// hash in one of two ways: an agent that uses one cannot decrypt the other.
TEST_F(usm_test, RequestsTheAgentCannotServeFailInsteadOfHanging) {
  const std::string timed_out =
      "Timeout Error: The sensor failed to communicate with the target system. Please check "
      "that the SNMP Port, Context Name, Encryption Type, and Encryption Key are correct.";
  const std::string failed =
      "The sensor failed to communicate with the target system: Error "
      "0/-35: Authentication failure (incorrect password, community or key).";
  const std::string auth = snmp_agent::auth_password;
  const std::string priv = snmp_agent::priv_password;
  const settings rows[] = {
      settings("u_sha256_aes", "wrong-password", auth_t::sha256, priv, priv_t::aes, "", "127.0.0.1",
               shared_agent().port(), 1s),
      settings("u_sha256_aes", auth, auth_t::sha256, "wrong-key-123", priv_t::aes, "", "127.0.0.1",
               shared_agent().port(), 1s),
      settings("u_sha_aes256c", auth, auth_t::sha1, priv, priv_t::aes256, "", "127.0.0.1",
               shared_agent().port(), 1s),
  };
  for (const settings& s : rows) {
    SCOPED_TRACE(&s - rows);
    auto req = make_request(s, compat_settings(0ms, retry_t::no_retry));
    req->single_get("SNMPv2-MIB::sysName.0");
    try {
      req->execute(logger_);
      ADD_FAILURE() << "no exception";
    } catch (const exceptions::communication_error& e) {
      EXPECT_EQ(e.what(), &s == rows ? failed : timed_out);
      EXPECT_EQ(dynamic_cast<const exceptions::timeout*>(&e) != nullptr, &s != rows);
    }
  }
}

// After a time-out the engine forgets the agent; every connection on the shared engine then
// finds the restarted agent's new engine.
TEST_F(usm_test, AfterATimeOutEveryConnectionFindsTheRestartedAgentsNewEngine) {
  if (!snmp_agent::controllable()) GTEST_SKIP() << "the agent is run by the host: no restart";
  snmp_agent agent;  // this test stops and restarts its own agent
  const settings s = sha_aes_settings(agent.port(), 1s);
  const std::shared_ptr<connection> link = create_connection(*pool_, s);
  request first(link, names_, compat_settings(0ms, retry_t::no_retry));
  request second(create_connection(*pool_, s), names_, compat_settings(0ms, retry_t::retry));
  const auto first_id = first.single_get(".1.3.6.1.6.3.10.2.1.1.0");  // snmpEngineID.0
  const auto second_id = second.single_get(".1.3.6.1.6.3.10.2.1.1.0");
  const std::string before = first.execute(logger_).at(first_id).at(0).as_string();
  EXPECT_EQ(second.execute(logger_).at(second_id).at(0).as_string(), before);
  agent.stop();
  EXPECT_THROW(first.execute(logger_), exceptions::timeout);

  // No engine ID, no localised user for the old one.
  const session_netsnmp& session = dynamic_cast<connection_netsnmp&>(*link).session();
  netsnmp_session* engine_session = session.context().snmp_sess_session(session.handle());
  EXPECT_EQ(engine_session->securityEngineIDLen, 0u);
  EXPECT_EQ(engine_session->contextEngineIDLen, 0u);
  EXPECT_EQ(session.context().usm_get_user(reinterpret_cast<const u_char*>(before.data()),
                                           before.size(), "u_sha_aes"),
            nullptr);

  agent.renew_engine_id();
  agent.start();
  const std::string after = first.execute(logger_).at(first_id).at(0).as_string();
  EXPECT_NE(after, before);
  EXPECT_EQ(after.size(), before.size());
  // The other connection still holds the old engine ID, whose user the first one dropped.
  EXPECT_EQ(second.execute(logger_).at(second_id).at(0).as_string(), after);
}

// ---- SNMPv1 and SNMPv2c ----------------------------------------------------------------

class community_test : public netsnmp_test, public ::testing::WithParamInterface<version_t> {
 protected:
  std::unique_ptr<request> make(const compat_settings& compat = compat_settings()) {
    return make_request(community_settings(GetParam(), shared_agent().port()), compat);
  }
  bool v1() const { return GetParam() == version_t::snmp_v1; }
};

TEST_P(community_test, MultiGetsInOneRequestOrOneByOneAlsoWithAMissingOid) {
  for (const get_mode_t mode : {get_mode_t::multi_get, get_mode_t::one_by_one}) {
    SCOPED_TRACE(static_cast<int>(mode));
    logger_.entries.clear();
    auto r = make(compat_settings(0ms, retry_t::retry, counter_mode_t::default_mode, mode));
    const auto id = r->multi_get(
        {"SNMPv2-MIB::sysContact.0", "SNMPv2-MIB::sysName.0", "SNMPv2-MIB::sysLocation.0"});
    EXPECT_EQ(texts(r->execute(logger_).at(id)),
              (std::vector<std::string>{snmp_agent::sys_contact, snmp_agent::sys_name,
                                        snmp_agent::sys_location}));
    EXPECT_EQ(count_of(logger_.messages(), "Request GET:"),
              mode == get_mode_t::multi_get ? 1u : 3u);
  }

  // The missing OID comes first: the agent names it by position 1. SNMPv1 refuses the whole GET
  // and names the missing OID, which is asked again without it.
  logger_.entries.clear();
  auto with_missing = make();
  const auto id = with_missing->multi_get(
      {"SNMPv2-MIB::sysContact.7", "SNMPv2-MIB::sysContact.0", "SNMPv2-MIB::sysLocation.0"});
  const std::vector<response> answer = with_missing->execute(logger_).at(id);
  EXPECT_EQ(answer.at(0).name(), system_group + "sysContact.7");
  EXPECT_EQ(texts(answer),
            (std::vector<std::string>{
                v1() ? "End of MIB" : "No Such Instance currently exists at this OID",
                snmp_agent::sys_contact, snmp_agent::sys_location}));
  EXPECT_EQ(count_of(logger_.messages(), "Request GET:"), v1() ? 2u : 1u);
  EXPECT_EQ(count_of(logger_.messages(),
                     "  " + system_group + "sysContact.7(.1.3.6.1.2.1.1.4.7): End of MIB"),
            v1() ? 1u : 0u);
}

TEST_P(community_test, FindsARowByColumnValueOrIndex) {
  auto r = make();
  const auto by_value = r->table_row_from_column_value("IF-MIB::ifTable", "Descr", "lo",
                                                       {"Index", "Descr", "Type"}, {});
  const std::vector<response> row = r->execute(logger_).at(by_value);
  ASSERT_EQ(row.size(), 3u);
  EXPECT_EQ(row[1].as_string(), "lo");
  EXPECT_EQ(row[2].as_int32_t(), 24);  // softwareLoopback
  const std::string index = row[0].as_string();
  EXPECT_EQ(row[0].name(),
            ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable.ifEntry.ifIndex." + index);

  // The row by its index, and the whole table (over SNMPv1 by GETNEXT): nothing beyond it.
  auto again = make();
  const auto by_index = again->table_row_from_index("IF-MIB::ifTable", index, {"Descr"}, {});
  const auto table = again->table("IF-MIB::ifTable");
  const result both = again->execute(logger_);
  EXPECT_EQ(both.at(by_index).at(0).as_string(), "lo");
  EXPECT_GT(both.at(table).size(), 20u);
  for (const response& cell : both.at(table)) {
    EXPECT_TRUE(cell.name().starts_with(".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable."))
        << cell.str();
  }
}

INSTANTIATE_TEST_SUITE_P(versions, community_test,
                         ::testing::Values(version_t::snmp_v1, version_t::snmp_v2c),
                         [](const auto& param_info) {
                           return param_info.param == version_t::snmp_v1 ? "v1" : "v2c";
                         });

// ---- The debug dump --------------------------------------------------------------------

using dump_test = netsnmp_test;

TEST_F(dump_test, OneGetOneWalkStepAndOneGetBulkWriteTheseLines) {
  auto r = make_request(community_settings(version_t::snmp_v2c, shared_agent().port()));
  r->multi_get({"SNMPv2-MIB::sysContact.0", "SNMPv2-MIB::sysName.0"});
  r->walk("SNMPv2-MIB::sysContact", 1);
  r->bulk("SNMPv2-MIB::sysContact", 2);
  r->execute(logger_);
  const std::string column = "  Name: " + system_group + "sysContact (.1.3.6.1.2.1.1.4)";
  const std::string contact[] = {"  Name: " + system_group + "sysContact.0 (.1.3.6.1.2.1.1.4.0)",
                                 "    Type: 0x04", "    Str(12): kestrel-test"};
  const std::string name[] = {"  Name: " + system_group + "sysName.0 (.1.3.6.1.2.1.1.5.0)",
                              "    Type: 0x04", "    Str(13): kestrel-agent"};
  std::vector<std::string> lines = {"Request GET:", contact[0], name[0], "Response:", contact[0],
                                    contact[1],     contact[2], name[0], name[1],     name[2]};
  lines.insert(lines.end(), {"Request GETNEXT (depth 1):", column, "Response:", contact[0],
                             contact[1], contact[2]});
  lines.insert(lines.end(), {"Request GETBULK (bulk size 2):", column, "Response:", contact[0],
                             contact[1], contact[2], name[0], name[1], name[2]});
  EXPECT_EQ(logger_.entries, dump_entries(lines));
}

// A table recorded from the agent and replayed through the walk mock answers the same.
TEST_F(dump_test, ARecordedTableReplaysAsTheAgentAnswered) {
  for (const char* table : {"IF-MIB::ifTable", "SNMPv2-MIB::sysORTable"}) {
    SCOPED_TRACE(table);
    auto live = make_request(community_settings(version_t::snmp_v2c, shared_agent().port()));
    const auto live_id = live->table(table);
    const std::vector<response> recorded = live->execute(logger_).at(live_id);
    ASSERT_GT(recorded.size(), 5u);
    const std::filesystem::path file = base_ / "device.snmprec";
    {
      std::ofstream out(file, std::ios::binary);
      test::write_snmprec(recorded, out);
    }
    request replay(test::get_mock_connection_walk_factory(test::load_snmprec(file, *names_))(
                       community_settings(version_t::snmp_v2c, 1)),
                   names_, compat_settings());
    const auto replay_id = replay.table(table);
    EXPECT_EQ(texts(replay.execute(logger_).at(replay_id), &response::str),
              texts(recorded, &response::str));
  }
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
