#include "netsnmp/exchange.hpp"

#include <algorithm>
#include <stdexcept>

#include <gmock/gmock.h>

#include "helpers/error_text.hpp"
#include "helpers/map_library.hpp"
#include "netsnmp/connection_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using namespace std::chrono_literals;

// A variable binding put together by hand, as the engine would have parsed it, with the
// payload its type calls for: `number` (and `high` for 64 bits), `bytes` or a fixed value.
struct binding {
  binding(std::vector<::oid> name_, u_char type, long number = 0,
          std::optional<std::string> bytes_ = std::nullopt, unsigned long high = 0)
      : name(std::move(name_)), integer(number), bytes(std::move(bytes_)) {
    variable.name = name.data();
    variable.name_length = name.size();
    variable.type = type;
    c64 = counter64{high, static_cast<unsigned long>(number)};
    if (type == 0x02 || type == 0x41 || type == 0x42 || type == 0x43) {
      variable.val.integer = &integer;
      variable.val_len = sizeof(long);
    } else if (type == 0x46 || type == 0x4A || type == 0x4B || type == 0x7A) {
      variable.val.counter64 = &c64;
      variable.val_len = sizeof(counter64);
    } else if (type == 0x48 || type == 0x78) {
      variable.val.floatVal = &f;
    } else if (type == 0x49) {
      variable.val.doubleVal = &d;
    } else if (type == 0x06) {
      variable.val.objid = objid.data();
      variable.val_len = objid.size() * sizeof(::oid);
    } else if (bytes) {
      variable.val.string = reinterpret_cast<u_char*>(bytes->data());
      variable.val_len = bytes->size();
    }
  }

  std::vector<::oid> name;
  netsnmp_variable_list variable{};
  long integer;
  std::optional<std::string> bytes;
  counter64 c64{};
  float f = 1.5f;
  double d = 2.25;
  std::vector<::oid> objid = {1, 3, 6, 1, 2, 1, 1, 5};
};

const std::vector<::oid> sys_name_0 = {1, 3, 6, 1, 2, 1, 1, 5, 0};

TEST(value_from_variable_test, EveryTypeByteGivesItsAlternativeAndDumpLine) {
  const map_library names = mib2_library();
  using v = response;
  const long largest = largest_sub_identifier;
  const std::string raw("\x00\xff", 2);
  const std::string minus_one = "    Int: -1 (0xffffffff)";
  const std::string minus_two = "    Int64: 18446744073709551614 (0xfffffffffffffffe)";
  const std::string no_object = "No Such Object available on this agent at this OID";
  const std::string no_instance = "No Such Instance currently exists at this OID";
  const std::string end =
      "No more variables left in this MIB View (It is past the end of the MIB tree)";
  const oid sys_name({1, 3, 6, 1, 2, 1, 1, 5}, "system.sysName");
  struct row {
    u_char type;
    long number;
    std::optional<std::string> bytes;
    std::optional<v::value_t> value;
    std::string line;  // empty: none
    unsigned long high = 0;
    bool all = false;  // converting every type
  };
  const row rows[] = {
      {0x02, 72, {}, v::int32_value{72}, "    Int: 72 (0x0048)"},
      {0x41, largest, {}, v::uint32_value{4294967295u}, minus_one},
      {0x43, largest, {}, v::timeticks_value{timeticks_t(4294967295LL)}, minus_one},
      {0x46, 2, {}, v::uint64_value{4294967298ULL}, "    Int64: 4294967298 (0x100000002)", 1},
      {0x4A, largest - 1, {}, v::int64_value{-2}, minus_two, 0xffffffff},
      {0x4B, 7, {}, v::uint64_value{7}, "    Int64: 7 (0x00000007)"},
      {0x48, 0, {}, v::float_value{1.5f}, "    Float: 1.5 (1.500000)"},
      {0x49, 0, {}, v::double_value{2.25}, "    Double: 2.25 (2.250000000000)"},
      {0x04, 0, "a b", v::string_value{"a b"}, "    Str(3): a b"},  // a blank is printable
      {0x04, 0, raw, v::string_value{raw}, "    Str(2): 00ff"},
      {0x04, 0, {}, std::nullopt, ""},  // a string without bytes
      {0x05, 0, {}, v::null_value{}, "    Null"},
      {0x06, 0, {}, v::oid_value{sys_name}, "    Value OID: system.sysName(.1.3.6.1.2.1.1.5)"},
      {0x80, 0, {}, v::error_value{no_object}, "  " + no_object},
      {0x81, 0, {}, v::error_value{no_instance}, "  " + no_instance},
      {0x82, 0, {}, v::error_value{end}, "  " + end},
      // Other types (an IpAddress here) give no value by default.
      {0x40, 0, std::string("\x7f\x00\x00\x01", 4), std::nullopt, ""},
      {0x40, 0, std::string("\xc0\x00\x02\x07", 4), v::string_value{"192.0.2.7"},
       "    IpAddress: 192.0.2.7", 0, true},
      {0x44, 0, "\x01\xff", v::string_value{"\x01\xff"}, "    Bytes(2): 01ff", 0, true},
      {0x78, 0, {}, v::float_value{1.5f}, "    Float: 1.5", 0, true},  // an opaque float
      {0x7A, largest - 1, {}, v::int64_value{-2}, minus_two, 0xffffffff, true},
  };
  recording_logger logger;
  std::string line;
  const logger_factory make{logger, line};
  const connection_options all{.convert_all_types = true};
  for (const row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "type " << int{r.type} << " " << r.line);
    const binding b(sys_name_0, r.type, r.number, r.bytes, r.high);
    logger.entries.clear();
    EXPECT_TRUE(value_from_variable(names, b.variable, make, r.all ? all : connection_options{}) ==
                r.value);
    EXPECT_EQ(logger.messages(),
              r.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{r.line});
  }
  // An opaque float that the engine left without a value.
  binding opaque(sys_name_0, 0x78);
  opaque.variable.val.floatVal = nullptr;
  logger.entries.clear();
  EXPECT_TRUE(value_from_variable(names, opaque.variable, make, all) ==
              v::value_t{v::string_value{""}});
  opaque.variable.val_len = 4;  // a length without bytes
  EXPECT_TRUE(value_from_variable(names, opaque.variable, make, all) ==
              v::value_t{v::error_value{"Unconvertible value of type 0x78"}});
  EXPECT_EQ(logger.messages(),
            (std::vector<std::string>{"    Bytes(0): ", "  Unconvertible value of type 0x78"}));
}

class exchange_test : public netsnmp_test {
 protected:
  execute_context context() { return execute_context{names_map_, compat_, logger_}; }

  map_library names_map_ = mib2_library();
  compat_settings compat_;
  const std::shared_ptr<context_netsnmp> engine_ =
      dynamic_cast<pool_netsnmp&>(*pool_).get_context(1);
};

TEST_F(exchange_test, BindingsBecomeResponsesAndTheLastOneMovesAWalkOn) {
  binding number(sys_name_0, 0x02, 72);
  binding address({1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 127, 0, 0, 1}, 0x40);
  number.variable.next_variable = &address.variable;

  netsnmp_pdu pdu{};
  pdu.variables = &number.variable;

  const oid_request get(query_t::get, names_map_.oid_from_name("sysName"));
  oid last({1}, "start");
  bool more = true;
  const auto responses = responses_from_pdu(*engine_, get, pdu, context(), &last, &more);
  EXPECT_EQ(texts(responses, &response::str),
            std::vector<std::string>{"system.sysName.0 (.1.3.6.1.2.1.1.5.0) Integer (32bit): 72"});
  // The IpAddress binding has no value, yet it is where the next GETNEXT starts.
  EXPECT_EQ(last.numeric_oid(), (std::vector<long>{1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 127, 0, 0, 1}));
  EXPECT_TRUE(more);

  binding end({1, 3, 6, 1, 2, 1, 1, 9}, 0x82);
  address.variable.next_variable = &end.variable;
  responses_from_pdu(*engine_, get, pdu, context(), &last, &more);
  EXPECT_FALSE(more);
}

TEST_F(exchange_test, AnErrorStatusStandsForTheRequestsLastOid) {
  const std::tuple<long, std::string, std::vector<std::string>> rows[] = {
      {2, "End of MIB", {"Response:", "  End of MIB"}},
      {5,
       "Error in packet. Reason: (genError) A general failure occured",
       {"Response:", "  Error in packet.\nReason: (genError) A general failure occured"}},
  };
  for (const auto& [status, text, lines] : rows) {
    logger_.entries.clear();
    binding ignored(sys_name_0, 0x04);
    netsnmp_pdu pdu{};
    pdu.errstat = status;
    pdu.errindex = 1;
    pdu.variables = &ignored.variable;
    const oid_request request(query_t::get, std::vector<oid>{names_map_.oid_from_name("sysDescr"),
                                                             names_map_.oid_from_name("sysName")});
    oid last({1}, "start");
    bool more = true;
    const auto responses = responses_from_pdu(*engine_, request, pdu, context(), &last, &more);
    EXPECT_EQ(texts(responses, &response::str),
              std::vector<std::string>{"system.sysName (.1.3.6.1.2.1.1.5) Error: " + text});
    EXPECT_FALSE(more);
    EXPECT_EQ(logger_.messages(), lines);
  }
}

// With exact subtrees, an outside cell between inside ones is noise; the first outside cell that
// no inside one follows (an inside one that goes back does not) ends the subtree with the
// end-of-table marker.
TEST_F(exchange_test, AnExactSubtreeEndsAtTheFirstOutsideCellThatNothingInsideFollows) {
  const oid table = names_map_.oid_from_name("ifTable");
  oid_request request(query_t::bulk, table);
  request.only_children_of_oid(table);
  std::vector<response> converted;
  std::vector<std::string> expected;
  for (const char* name : {"ifDescr.1", "sysName.0", "ifDescr.2", "ifName.1", "ifDescr.1"}) {
    converted.emplace_back(names_map_.oid_from_name(name), response::int32_value{1});
    if (name != std::string("sysName.0")) expected.push_back(names_map_.oid_from_name(name).name());
  }
  expected.pop_back();
  std::vector<response> result;
  append_within_subtree(request, result, std::move(converted),
                        connection_options{.exact_subtree = true});
  EXPECT_EQ(texts(result, &response::name), expected);
  EXPECT_EQ(texts(result), (std::vector<std::string>{"1", "1", "End Of Table"}));
}

// (What a PDU carries shows in what the agent answers in the dump test.)
TEST_F(exchange_test, AnExchangeNeedsAKnownHandle) {
  const pdu_ptr get =
      create_pdu(*engine_, oid_request(query_t::get, names_map_.oid_from_name("sysName")));
  EXPECT_THROW(engine_->exchange(nullptr, get.get(), true, 0ms), exceptions::invalid_handle);
}

TEST(stream_logger_test, OneStatementIsOneMessage) {
  recording_logger logger;
  detail::stream_logger(logger) << "a" << 1 << ' ' << std::hex << 255 << std::dec << 10
                                << std::endl;
  EXPECT_EQ(logger.entries, (std::vector<recording_logger::entry>{{7, "a1 ff10\n"}}));
  const auto fail = []() -> int { throw std::runtime_error("x"); };
  EXPECT_THROW(detail::stream_logger(logger) << "partial" << fail(), std::runtime_error);
  EXPECT_EQ(logger.entries.size(), 1u);
}

// Requests to an agent that never answers: nothing is sent for them. (The concurrency test
// counts the attempts with and without retry.)
using silent_agent_test = netsnmp_test;

TEST_F(silent_agent_test, NothingIsSentForWhatCannotBeSent) {
  silent_agent silent;
  const auto c =
      create_connection(*pool_, community_settings(version_t::snmp_v2c, silent.port(), 1s));
  const auto run = [&](const std::vector<oid_request>& requests) {
    return c->run(requests, execute_context{*names_, compat_settings(), logger_});
  };
  const oid o = names_->oid_from_name("SNMPv2-MIB::sysContact.0");
  for (const auto& [type, what] :
       {std::pair{query_t::walk, "GETNEXT currently does not support multiple OIDs."},
        std::pair{query_t::bulk, "GETBULK currently does not support multiple OIDs."}}) {
    EXPECT_EQ(runtime_error_text([&] { run({oid_request(type, std::vector<oid>{o, o})}); }), what);
  }
  // Nothing to ask for: nothing is sent and nothing comes back.
  EXPECT_TRUE(run({}).empty());
  EXPECT_TRUE(run({oid_request(query_t::get, std::vector<oid>{})}).empty());
  EXPECT_EQ(silent.drain(), 0u);
}

// ---- Every kind of query against Debian's snmpd on loopback (helpers/snmp_agent.hpp) ----

const std::string system_group = ".iso.org.dod.internet.mgmt.mib-2.system.";

// ---- SNMPv3 ----------------------------------------------------------------------------

using usm_test = netsnmp_test;

// The agent reports a failed authentication at once; what it cannot decrypt it drops, and the
// request times out (no retry): AES-256 keys extended one way cannot decrypt the other way's.
TEST_F(usm_test, RequestsTheAgentCannotServeFailInsteadOfHanging) {
  const auto run = [this](const std::string& user, const std::string& password, auth_t auth,
                          priv_t priv) {
    auto req = make_request(settings(user, password, auth, snmp_agent::priv_password, priv, "",
                                     "127.0.0.1", shared_agent().port(), 1s),
                            compat_settings(0ms, retry_t::no_retry));
    req->single_get("SNMPv2-MIB::sysName.0");
    req->execute(logger_);
  };
  EXPECT_THAT(error_text<exceptions::communication_error>(
                  [&] { run("u_sha256_aes", "wrong-password", auth_t::sha256, priv_t::aes); }),
              ::testing::EndsWith("Error 0/-35: Authentication failure (incorrect password, "
                                  "community or key)."));
  EXPECT_THROW(run("u_sha_aes256c", snmp_agent::auth_password, auth_t::sha1, priv_t::aes256),
               exceptions::timeout);
}

// After a time-out the engine forgets the agent; every connection on the shared engine then
// finds the restarted agent's new engine.
TEST_F(usm_test, AfterATimeOutEveryConnectionFindsTheRestartedAgentsNewEngine) {
  if (!snmp_agent::controllable()) GTEST_SKIP() << "the agent is run by the host: no restart";
  snmp_agent agent;  // this test stops and restarts its own agent
  const settings s("u_sha_aes", snmp_agent::auth_password, auth_t::sha1, snmp_agent::priv_password,
                   priv_t::aes, "", "127.0.0.1", agent.port(), 1s);
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
  // The other connection still holds the old engine ID, whose user the first one dropped.
  EXPECT_EQ(second.execute(logger_).at(second_id).at(0).as_string(), after);
}

// ---- SNMPv1 and SNMPv2c ----------------------------------------------------------------

class community_test : public netsnmp_test, public ::testing::WithParamInterface<version_t> {
 protected:
  std::unique_ptr<request> make() {
    return make_request(community_settings(GetParam(), shared_agent().port()));
  }
  bool v1() const { return GetParam() == version_t::snmp_v1; }
};

TEST_P(community_test, AMultiGetWithAMissingOid) {
  // The missing OID comes first: the agent names it by position 1. SNMPv1 refuses the whole GET
  // and names the missing OID, which is asked again without it.
  auto r = make();
  const auto id = r->multi_get(
      {"SNMPv2-MIB::sysContact.7", "SNMPv2-MIB::sysContact.0", "SNMPv2-MIB::sysLocation.0"});
  EXPECT_EQ(texts(r->execute(logger_).at(id)),
            (std::vector<std::string>{
                v1() ? "End of MIB" : "No Such Instance currently exists at this OID",
                snmp_agent::sys_contact, snmp_agent::sys_location}));
  EXPECT_EQ(std::ranges::count(logger_.messages(), "Request GET:"), v1() ? 2 : 1);
  EXPECT_EQ(
      std::ranges::count(logger_.messages(),
                         "  " + system_group + "sysContact.7(.1.3.6.1.2.1.1.4.7): End of MIB"),
      v1() ? 1 : 0);
}

// The whole table (over SNMPv1 by GETNEXT), and nothing beyond it.
TEST_P(community_test, ReadsTheWholeInterfaceTable) {
  auto r = make();
  const auto table = r->table("IF-MIB::ifTable");
  const std::vector<std::string> names = texts(r->execute(logger_).at(table), &response::name);
  EXPECT_GT(names.size(), 20u);
  EXPECT_EQ(std::ranges::count(
                names, ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable.ifEntry.ifDescr.1"),
            1);
  for (const std::string& name : names) {
    EXPECT_TRUE(name.starts_with(".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable.")) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(versions, community_test,
                         ::testing::Values(version_t::snmp_v1, version_t::snmp_v2c),
                         [](const auto& param_info) {
                           return param_info.param == version_t::snmp_v1 ? "v1" : "v2c";
                         });

// ---- The debug dump --------------------------------------------------------------------

using dump_test = netsnmp_test;

// Three GETs one by one in one exchange, one walk step and one GETBULK; the compatibility delay
// goes before every request of an exchange but the first, and after each walk step.
TEST_F(dump_test, OneByOneGetsAWalkStepAndAGetBulkWriteTheseLinesWithThreeDelays) {
  auto r = make_request(
      community_settings(version_t::snmp_v2c, shared_agent().port()),
      compat_settings(150ms, retry_t::retry, counter_mode_t::default_mode, get_mode_t::one_by_one));
  r->multi_get({"SNMPv2-MIB::sysContact.0", "SNMPv2-MIB::sysName.0", "SNMPv2-MIB::sysContact.0"});
  r->walk("SNMPv2-MIB::sysContact", 1);
  r->bulk("SNMPv2-MIB::sysContact", 2);
  const auto started = std::chrono::steady_clock::now();
  r->execute(logger_);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 450ms);
  const std::string column = "  Name: " + system_group + "sysContact (.1.3.6.1.2.1.1.4)";
  const std::string contact[] = {"  Name: " + system_group + "sysContact.0 (.1.3.6.1.2.1.1.4.0)",
                                 "    Type: 0x04", "    Str(12): kestrel-test"};
  const std::string name[] = {"  Name: " + system_group + "sysName.0 (.1.3.6.1.2.1.1.5.0)",
                              "    Type: 0x04", "    Str(13): kestrel-agent"};
  std::vector<std::string> lines;
  for (const auto& cell : {contact, name, contact}) {
    lines.insert(lines.end(), {"Request GET:", cell[0], "Response:", cell[0], cell[1], cell[2]});
  }
  lines.insert(lines.end(), {"Request GETNEXT (depth 1):", column, "Response:", contact[0],
                             contact[1], contact[2]});
  lines.insert(lines.end(), {"Request GETBULK (bulk size 2):", column, "Response:", contact[0],
                             contact[1], contact[2], name[0], name[1], name[2]});
  EXPECT_EQ(logger_.messages(), lines);
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
