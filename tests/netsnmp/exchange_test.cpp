#include "netsnmp/exchange.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <kestrel/exceptions.hpp>

#include "helpers/error_text.hpp"
#include "helpers/map_library.hpp"
#include "helpers/recording_logger.hpp"
#include "helpers/snmp_agent.hpp"
#include "helpers/test_platform.hpp"
#include "netsnmp/connection_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using namespace std::chrono_literals;

// A variable binding put together by hand, as the engine would have parsed it.
struct binding {
  explicit binding(std::vector<::oid> name_, u_char type) : name(std::move(name_)) {
    std::memset(&variable, 0, sizeof(variable));
    variable.name = name.data();
    variable.name_length = name.size();
    variable.type = type;
  }
  binding(const binding&) = delete;
  binding& operator=(const binding&) = delete;

  std::vector<::oid> name;
  netsnmp_variable_list variable;
  long integer = 0;
  counter64 c64{};
  float f = 0;
  double d = 0;
  std::string bytes;
  std::vector<::oid> objid;
};

// The value of a binding with the given payload, with the dump lines it wrote.
struct conversion {
  std::optional<response::value_t> value;
  std::vector<std::string> lines;
};

conversion convert(const library& names, const netsnmp_variable_list& variable) {
  recording_logger logger;
  const logger_factory make = [&logger] { return detail::stream_logger(logger); };
  conversion c;
  c.value = value_from_variable(names, variable, make);
  c.lines = logger.messages();
  for (const auto& entry : logger.entries) EXPECT_EQ(entry.level, 7);
  return c;
}

const std::vector<::oid> sys_name_0 = {1, 3, 6, 1, 2, 1, 1, 5, 0};

TEST(value_from_variable_test, EveryTypeByteGivesItsAlternativeAndDumpLine) {
  const map_library names = mib2_library();
  using v = response;
  const auto check = [&names](u_char type, const std::function<void(binding&)>& fill,
                              const std::optional<v::value_t>& expected,
                              const std::vector<std::string>& lines) {
    SCOPED_TRACE(::testing::Message() << "type " << int{type} << (lines.empty() ? "" : lines[0]));
    binding b(sys_name_0, type);
    fill(b);
    const conversion c = convert(names, b.variable);
    ASSERT_EQ(c.value.has_value(), expected.has_value());
    if (expected) {
      EXPECT_TRUE(*c.value == *expected);
    }
    EXPECT_EQ(c.lines, lines);
  };
  auto integer = [](long value) {
    return [value](binding& b) {
      b.integer = value;
      b.variable.val.integer = &b.integer;
      b.variable.val_len = sizeof(long);
    };
  };
  auto wide = [](unsigned long high, unsigned long low) {
    return [high, low](binding& b) {
      b.c64.high = high;
      b.c64.low = low;
      b.variable.val.counter64 = &b.c64;
      b.variable.val_len = sizeof(counter64);
    };
  };
  auto octets = [](std::string bytes) {
    return [bytes](binding& b) {
      b.bytes = bytes;
      b.variable.val.string = reinterpret_cast<u_char*>(b.bytes.data());
      b.variable.val_len = b.bytes.size();
    };
  };
  auto nothing = [](binding&) {};
  const long largest = largest_sub_identifier;

  check(0x02, integer(72), v::int32_value{72}, {"    Int: 72 (0x0048)"});
  check(0x02, integer(-5), v::int32_value{-5}, {"    Int: -5 (0xfffffffb)"});
  check(0x41, integer(largest), v::uint32_value{4294967295u}, {"    Int: -1 (0xffffffff)"});
  check(0x42, integer(10), v::uint32_value{10}, {"    Int: 10 (0x000a)"});
  check(0x43, integer(largest), v::timeticks_value{timeticks_t(4294967295LL)},
        {"    Int: -1 (0xffffffff)"});
  check(0x46, wide(1, 2), v::uint64_value{4294967298ULL}, {"    Int64: 4294967298 (0x100000002)"});
  check(0x46, wide(0, 255), v::uint64_value{255}, {"    Int64: 255 (0x000000ff)"});
  check(0x4A, wide(0xffffffff, 0xfffffffe), v::int64_value{-2},
        {"    Int64: 18446744073709551614 (0xfffffffffffffffe)"});
  check(0x4B, wide(0, 7), v::uint64_value{7}, {"    Int64: 7 (0x00000007)"});
  check(0x48,
        [](binding& b) {
          b.f = 1.5f;
          b.variable.val.floatVal = &b.f;
        },
        v::float_value{1.5f}, {"    Float: 1.5 (1.500000)"});
  check(0x49,
        [](binding& b) {
          b.d = 2.25;
          b.variable.val.doubleVal = &b.d;
        },
        v::double_value{2.25}, {"    Double: 2.25 (2.250000000000)"});
  check(0x04, octets("abc"), v::string_value{"abc"}, {"    Str(3): abc"});
  const std::string raw("\x00\xff", 2);
  check(0x04, octets(raw), v::string_value{raw}, {"    Str(2): 00ff"});
  check(0x04, octets(""), v::string_value{""}, {"    Str(0): "});
  check(0x04, nothing, std::nullopt, {});  // a string without bytes
  check(0x05, nothing, v::null_value{}, {"    Null"});
  check(0x06,
        [](binding& b) {
          b.objid = {1, 3, 6, 1, 2, 1, 1, 5};
          b.variable.val.objid = b.objid.data();
          b.variable.val_len = b.objid.size() * sizeof(::oid);
        },
        v::oid_value{oid({1, 3, 6, 1, 2, 1, 1, 5}, "system.sysName")},
        {"    Value OID: system.sysName(.1.3.6.1.2.1.1.5)"});
  // The three exceptions: no such object, no such instance, end of the MIB view.
  for (const auto& [type, text] : std::vector<std::pair<u_char, std::string>>{
           {0x80, "No Such Object available on this agent at this OID"},
           {0x81, "No Such Instance currently exists at this OID"},
           {0x82,
            "No more variables left in this MIB View (It is past the end of the MIB tree)"}}) {
    check(type, nothing, v::error_value{text}, {"  " + text});
  }
  // IpAddress, Opaque, BIT STRING and an opaque-wrapped counter give no value by default.
  check(0x40, octets(std::string("\x7f\x00\x00\x01", 4)), std::nullopt, {});
  check(0x44, octets("xyz"), std::nullopt, {});
  check(0x03, octets("\x01"), std::nullopt, {});
  check(0x78, wide(0, 1), std::nullopt, {});
}

class exchange_test : public netsnmp_test {
 protected:
  context_netsnmp& engine() {
    if (!engine_) engine_ = dynamic_cast<pool_netsnmp&>(*pool_).get_context(1);
    return *engine_;
  }

  execute_context context() { return execute_context{names_map_, compat_, logger_}; }

  oid_request request_for(const std::string& name) {
    return oid_request(query_t::get, names_map_.oid_from_name(name));
  }

  map_library names_map_ = mib2_library();
  compat_settings compat_;
  std::shared_ptr<context_netsnmp> engine_;
};

TEST_F(exchange_test, BindingsBecomeResponsesAndTheLastOneMovesAWalkOn) {
  binding number(sys_name_0, 0x02);
  number.integer = 72;
  number.variable.val.integer = &number.integer;
  binding address({1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 127, 0, 0, 1}, 0x40);
  number.variable.next_variable = &address.variable;

  netsnmp_pdu pdu{};
  pdu.variables = &number.variable;

  oid last({1}, "start");
  bool more = true;
  const auto responses =
      responses_from_pdu(engine(), request_for("sysName"), pdu, context(), &last, &more);
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0].name(), "system.sysName.0");
  EXPECT_EQ(responses[0].as_int32_t(), 72);
  // The IpAddress binding has no value, yet it is where the next GETNEXT starts.
  EXPECT_EQ(last.numeric_oid(), (std::vector<long>{1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 127, 0, 0, 1}));
  EXPECT_TRUE(more);
  EXPECT_EQ(logger_.messages(),
            (std::vector<std::string>{"Response:", "  Name: system.sysName.0 (.1.3.6.1.2.1.1.5.0)",
                                      "    Type: 0x02", "    Int: 72 (0x0048)",
                                      "  Name: .1.3.6.1.2.1.4.20.1.1.127.0.0.1 "
                                      "(.1.3.6.1.2.1.4.20.1.1.127.0.0.1)",
                                      "    Type: 0x40"}));

  binding end({1, 3, 6, 1, 2, 1, 1, 9}, 0x82);
  address.variable.next_variable = &end.variable;
  responses_from_pdu(engine(), request_for("sysName"), pdu, context(), &last, &more);
  EXPECT_FALSE(more);
}

TEST_F(exchange_test, AnErrorStatusStandsForTheRequestsLastOid) {
  struct row {
    long status;
    std::string text;
    std::vector<std::string> lines;
  };
  const row rows[] = {
      {2, "End of MIB", {"Response:", "  End of MIB"}},
      {5,
       "Error in packet. Reason: (genError) A general failure occured",
       {"Response:", "  Error in packet.\nReason: (genError) A general failure occured"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    logger_.entries.clear();
    binding ignored(sys_name_0, 0x04);
    netsnmp_pdu pdu{};
    pdu.errstat = r.status;
    pdu.errindex = 1;
    pdu.variables = &ignored.variable;
    const oid_request request(query_t::get, std::vector<oid>{names_map_.oid_from_name("sysDescr"),
                                                             names_map_.oid_from_name("sysName")});
    oid last({1}, "start");
    bool more = true;
    const auto responses = responses_from_pdu(engine(), request, pdu, context(), &last, &more);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0].oid(), names_map_.oid_from_name("sysName"));
    EXPECT_TRUE(responses[0].is_error());
    EXPECT_EQ(responses[0].as_string(), r.text);
    EXPECT_FALSE(more);
    EXPECT_EQ(last.name(), "start");
    EXPECT_EQ(logger_.messages(), r.lines);
  }
}

TEST_F(exchange_test, ASubtreeCutEndsWithAnEndOfTableMarker) {
  const oid table = names_map_.oid_from_name("ifTable");
  auto cell = [this](const std::string& name) {
    return response(names_map_.oid_from_name(name), response::int32_value{1});
  };
  struct row {
    const char* what;
    std::optional<oid> subtree;
    std::vector<std::string> names;
    std::vector<std::string> expected;  // "!" marks the End Of Table marker
  };
  const row rows[] = {
      {"no subtree", std::nullopt, {"ifDescr.1", "sysName.0"}, {"ifDescr.1", "sysName.0"}},
      {"all inside", table, {"ifDescr.1", "ifType.1"}, {"ifDescr.1", "ifType.1"}},
      {"leaves",
       table,
       {"ifDescr.1", "ifType.1", "ifHCInOctets.1", "ifName.1"},
       {"ifDescr.1", "ifType.1", "!ifHCInOctets.1"}},
      {"starts outside", table, {"sysName.0"}, {"!sysName.0"}},
      {"nothing", table, {}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    oid_request request(query_t::bulk, table);
    request.only_children_of_oid(r.subtree);
    std::vector<response> converted;
    for (const auto& name : r.names) converted.push_back(cell(name));
    std::vector<response> result = {cell("sysDescr.0")};
    append_within_subtree(request, result, converted);
    ASSERT_EQ(result.size(), r.expected.size() + 1);
    for (std::size_t i = 0; i < r.expected.size(); ++i) {
      const bool marker = r.expected[i][0] == '!';
      const std::string name = marker ? r.expected[i].substr(1) : r.expected[i];
      EXPECT_EQ(result[i + 1].oid(), names_map_.oid_from_name(name));
      EXPECT_EQ(result[i + 1].is_error(), marker);
      if (marker) {
        EXPECT_EQ(result[i + 1].as_string(), "End Of Table");
      }
    }
  }
}

TEST_F(exchange_test, PdusCarryTheCommandOfTheirQueryTypeAndNeedAKnownHandle) {
  const oid o = names_map_.oid_from_name("sysName");
  oid_request bulk(query_t::bulk, o);
  bulk.bulk_size(17);
  const pdu_ptr get = create_pdu(engine(), oid_request(query_t::get, o));
  const pdu_ptr next = create_pdu(engine(), oid_request(query_t::walk, o));
  const pdu_ptr many = create_pdu(engine(), bulk);
  EXPECT_EQ(get->command, 0xA0);
  EXPECT_EQ(next->command, 0xA1);
  EXPECT_EQ(many->command, 0xA5);
  EXPECT_EQ(many->non_repeaters, 0);
  EXPECT_EQ(many->max_repetitions, 17);
  EXPECT_EQ(
      runtime_error_text([&] { create_pdu(engine(), oid_request(static_cast<query_t>(7), o)); }),
      "Never reached");
  EXPECT_THROW(engine().exchange(nullptr, get.get(), true, 0ms), exceptions::invalid_handle);
}

TEST(stream_logger_test, OneStatementIsOneMessage) {
  recording_logger logger;
  detail::stream_logger(logger) << "a" << 1 << ' ' << std::hex << 255 << std::endl;
  { const detail::stream_logger empty(logger); }
  EXPECT_EQ(logger.entries, (std::vector<recording_logger::entry>{{7, "a1 ff\n"}, {7, ""}}));
  try {
    detail::stream_logger(logger) << "partial" << []() -> int { throw std::runtime_error("x"); }();
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(logger.entries.size(), 2u);
}

// Requests to an agent that never answers: what is sent is counted, not timed.
class silent_agent_test : public netsnmp_test {
 protected:
  std::unique_ptr<connection> connect(const std::string& community = "public") {
    return create_connection(*pool_, community_settings(version_t::snmp_v2c, silent_.port(), 1s,
                                                        "127.0.0.1", community));
  }

  std::vector<response> run(connection& c, const std::vector<oid_request>& requests,
                            const compat_settings& compat) {
    return c.run(requests, execute_context{*names_, compat, logger_});
  }

  oid sys_contact() const { return names_->oid_from_name("SNMPv2-MIB::sysContact.0"); }

  silent_agent silent_;
};

TEST_F(silent_agent_test, ATimeOutComesAfterOneAttemptOrThreeWithRetry) {
  const auto c = connect();
  const std::vector<oid_request> get = {oid_request(query_t::get, sys_contact())};
  struct row {
    retry_t retry;
    std::size_t datagrams;
  };
  for (const row r : {row{retry_t::no_retry, 1}, row{retry_t::retry, 3}}) {
    SCOPED_TRACE(r.datagrams);
    try {
      run(*c, get, compat_settings(0ms, r.retry));
      ADD_FAILURE() << "no exception";
    } catch (const exceptions::timeout& e) {
      EXPECT_STREQ(e.what(),
                   "Timeout Error: The sensor failed to communicate with the target system. "
                   "Please check that the SNMP Port, Context Name, Encryption Type, and "
                   "Encryption Key are correct.");
    }
    EXPECT_EQ(silent_.drain(), r.datagrams);
  }
}

TEST_F(silent_agent_test, AMessageTheEngineCannotSendIsACommunicationError) {
  // 200 OIDs of 128 five-byte sub-identifiers exceed the largest UDP message.
  std::vector<oid> many;
  for (int i = 0; i < 200; ++i) {
    many.emplace_back(std::vector<long>(128, largest_sub_identifier), "big");
  }
  const auto c = connect();
  try {
    run(*c, {oid_request(query_t::get, many)}, compat_settings(0ms, retry_t::retry));
    ADD_FAILURE() << "no exception";
  } catch (const exceptions::timeout&) {
    ADD_FAILURE() << "a time-out";
  } catch (const exceptions::communication_error& e) {
    EXPECT_THAT(
        std::string(e.what()),
        ::testing::StartsWith("The sensor failed to communicate with the target system: Error 0/"));
  }
  EXPECT_EQ(silent_.drain(), 0u);
}

TEST_F(silent_agent_test, RequestsThatCannotBeSentFailBeforeSending) {
  const auto c = connect();
  const oid o = sys_contact();
  const std::vector<oid> two = {o, o};
  struct row {
    query_t type;
    walk_mode_t walk;
    const char* what;
  };
  const row rows[] = {
      {query_t::walk, walk_mode_t::getbulk, "GETNEXT currently does not support multiple OIDs."},
      {query_t::bulk, walk_mode_t::getbulk, "GETBULK currently does not support multiple OIDs."},
      {query_t::bulk, walk_mode_t::getnext, "GETNEXT currently does not support multiple OIDs."},
  };
  for (const row& r : rows) {
    const compat_settings compat(0ms, retry_t::retry, counter_mode_t::default_mode,
                                 get_mode_t::multi_get, r.walk);
    EXPECT_EQ(runtime_error_text([&] { run(*c, {oid_request(r.type, two)}, compat); }), r.what);
  }
  // Nothing to ask for: nothing is sent and nothing comes back.
  EXPECT_TRUE(run(*c, {}, compat_settings()).empty());
  EXPECT_TRUE(run(*c, {oid_request(query_t::get, std::vector<oid>{})}, compat_settings()).empty());
  EXPECT_EQ(silent_.drain(), 0u);
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
