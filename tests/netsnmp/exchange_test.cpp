#include "netsnmp/exchange.hpp"

#include <stdexcept>

#include "helpers/error_text.hpp"
#include "helpers/map_library.hpp"
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
    } else if (type == 0x46 || type == 0x4A || type == 0x4B || type == 0x78 || type == 0x7A) {
      variable.val.counter64 = &c64;
      variable.val_len = sizeof(counter64);
    } else if (type == 0x48) {
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
  binding(const binding&) = delete;
  binding& operator=(const binding&) = delete;

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
  };
  const row rows[] = {
      {0x02, 72, {}, v::int32_value{72}, "    Int: 72 (0x0048)"},
      {0x02, -5, {}, v::int32_value{-5}, "    Int: -5 (0xfffffffb)"},
      {0x41, largest, {}, v::uint32_value{4294967295u}, minus_one},
      {0x42, 10, {}, v::uint32_value{10}, "    Int: 10 (0x000a)"},
      {0x43, largest, {}, v::timeticks_value{timeticks_t(4294967295LL)}, minus_one},
      {0x46, 2, {}, v::uint64_value{4294967298ULL}, "    Int64: 4294967298 (0x100000002)", 1},
      {0x46, 255, {}, v::uint64_value{255}, "    Int64: 255 (0x000000ff)"},
      {0x4A, largest - 1, {}, v::int64_value{-2}, minus_two, 0xffffffff},
      {0x4B, 7, {}, v::uint64_value{7}, "    Int64: 7 (0x00000007)"},
      {0x48, 0, {}, v::float_value{1.5f}, "    Float: 1.5 (1.500000)"},
      {0x49, 0, {}, v::double_value{2.25}, "    Double: 2.25 (2.250000000000)"},
      {0x04, 0, "a b", v::string_value{"a b"}, "    Str(3): a b"},  // a blank is printable
      {0x04, 0, raw, v::string_value{raw}, "    Str(2): 00ff"},
      {0x04, 0, "", v::string_value{""}, "    Str(0): "},
      {0x04, 0, {}, std::nullopt, ""},  // a string without bytes
      {0x05, 0, {}, v::null_value{}, "    Null"},
      {0x06, 0, {}, v::oid_value{sys_name}, "    Value OID: system.sysName(.1.3.6.1.2.1.1.5)"},
      {0x80, 0, {}, v::error_value{no_object}, "  " + no_object},
      {0x81, 0, {}, v::error_value{no_instance}, "  " + no_instance},
      {0x82, 0, {}, v::error_value{end}, "  " + end},
      // IpAddress, Opaque, BIT STRING and an opaque-wrapped counter give no value by default.
      {0x40, 0, std::string("\x7f\x00\x00\x01", 4), std::nullopt, ""},
      {0x44, 0, "xyz", std::nullopt, ""},
      {0x03, 0, "\x01", std::nullopt, ""},
      {0x78, 1, {}, std::nullopt, ""},
  };
  recording_logger logger;
  const auto make = [&logger] { return detail::stream_logger(logger); };
  for (const row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "type " << int{r.type} << " " << r.line);
    const binding b(sys_name_0, r.type, r.number, r.bytes, r.high);
    logger.entries.clear();
    EXPECT_TRUE(value_from_variable(names, b.variable, make) == r.value);
    EXPECT_EQ(logger.entries,
              dump_entries(r.line.empty() ? std::vector<std::string>{} : std::vector{r.line}));
  }
  // Converting every type: the engine's decoded opaque float, and one it left without a value.
  const connection_options all{.convert_all_types = true};
  binding opaque(sys_name_0, 0x78);
  logger.entries.clear();
  opaque.variable.val.floatVal = &opaque.f;
  EXPECT_TRUE(value_from_variable(names, opaque.variable, make, all) ==
              v::value_t{v::float_value{1.5f}});
  opaque.variable.val.floatVal = nullptr;
  opaque.variable.val_len = 0;
  EXPECT_TRUE(value_from_variable(names, opaque.variable, make, all) ==
              v::value_t{v::string_value{""}});
  EXPECT_EQ(logger.messages(), (std::vector<std::string>{"    Float: 1.5", "    Bytes(0): "}));
  // The engine's decoded opaque signed 64-bit integer.
  const binding wide(sys_name_0, 0x7A, -2, {}, 0xFFFFFFFF);
  logger.entries.clear();
  EXPECT_TRUE(value_from_variable(names, wide.variable, make, all) ==
              v::value_t{v::int64_value{-2}});
  EXPECT_EQ(logger.messages(), std::vector<std::string>{minus_two});
}

class exchange_test : public netsnmp_test {
 protected:
  execute_context context() { return execute_context{names_map_, compat_, logger_}; }

  oid_request request_for(const std::string& name) {
    return oid_request(query_t::get, names_map_.oid_from_name(name));
  }

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

  oid last({1}, "start");
  bool more = true;
  const auto responses =
      responses_from_pdu(*engine_, request_for("sysName"), pdu, context(), &last, &more);
  EXPECT_EQ(texts(responses, &response::str),
            std::vector<std::string>{"system.sysName.0 (.1.3.6.1.2.1.1.5.0) Integer (32bit): 72"});
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
  responses_from_pdu(*engine_, request_for("sysName"), pdu, context(), &last, &more);
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
    SCOPED_TRACE(text);
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
    EXPECT_EQ(last.name(), "start");
    EXPECT_EQ(logger_.messages(), lines);
  }
}

// With exact subtrees, an outside cell between inside ones is noise; the first outside cell that
// no inside one follows ends the subtree with the end-of-table marker.
TEST_F(exchange_test, AnExactSubtreeEndsAtTheFirstOutsideCellThatNothingInsideFollows) {
  const oid table = names_map_.oid_from_name("ifTable");
  oid_request request(query_t::bulk, table);
  request.only_children_of_oid(table);
  std::vector<response> converted;
  std::vector<std::string> expected;
  for (const char* name : {"ifDescr.1", "sysName.0", "ifDescr.2", "ifName.1", "ifName.2"}) {
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

TEST_F(exchange_test, PdusCarryTheCommandOfTheirQueryTypeAndNeedAKnownHandle) {
  const oid o = names_map_.oid_from_name("sysName");
  oid_request bulk(query_t::bulk, o);
  bulk.bulk_size(17);
  const pdu_ptr get = create_pdu(*engine_, oid_request(query_t::get, o));
  const pdu_ptr many = create_pdu(*engine_, bulk);
  EXPECT_EQ(std::tuple(get->command, create_pdu(*engine_, oid_request(query_t::walk, o))->command,
                       many->command, many->non_repeaters, many->max_repetitions),
            std::tuple(0xA0, 0xA1, 0xA5, 0, 17));
  EXPECT_EQ(
      runtime_error_text([&] { create_pdu(*engine_, oid_request(static_cast<query_t>(7), o)); }),
      "Never reached");
  EXPECT_THROW(engine_->exchange(nullptr, get.get(), true, 0ms), exceptions::invalid_handle);
}

TEST(stream_logger_test, OneStatementIsOneMessage) {
  recording_logger logger;
  detail::stream_logger(logger) << "a" << 1 << ' ' << std::hex << 255 << std::endl;
  { const detail::stream_logger empty(logger); }
  EXPECT_EQ(logger.entries, (std::vector<recording_logger::entry>{{7, "a1 ff\n"}, {7, ""}}));
  const auto fail = []() -> int { throw std::runtime_error("x"); };
  EXPECT_THROW(detail::stream_logger(logger) << "partial" << fail(), std::runtime_error);
  EXPECT_EQ(logger.entries.size(), 2u);
}

// Requests to an agent that never answers: what is sent is counted, not timed.
class silent_agent_test : public netsnmp_test {
 protected:
  std::unique_ptr<connection> connect() {
    return create_connection(*pool_, community_settings(version_t::snmp_v2c, silent_.port(), 1s));
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
  for (const auto& [retry, datagrams] :
       {std::pair{retry_t::no_retry, 1u}, std::pair{retry_t::retry, 3u}}) {
    SCOPED_TRACE(datagrams);
    EXPECT_THROW(run(*c, {oid_request(query_t::get, sys_contact())}, compat_settings(0ms, retry)),
                 exceptions::timeout);
    EXPECT_EQ(silent_.drain(), datagrams);
  }
}

TEST_F(silent_agent_test, RequestsThatCannotBeSentFailBeforeSending) {
  const auto c = connect();
  const oid o = sys_contact();
  const std::vector<oid> two = {o, o};
  const std::tuple<query_t, walk_mode_t, const char*> rows[] = {
      {query_t::walk, walk_mode_t::getbulk, "GETNEXT currently does not support multiple OIDs."},
      {query_t::bulk, walk_mode_t::getbulk, "GETBULK currently does not support multiple OIDs."},
      {query_t::bulk, walk_mode_t::getnext, "GETNEXT currently does not support multiple OIDs."},
  };
  for (const auto& [type, walk, what] : rows) {
    const compat_settings compat(0ms, retry_t::retry, counter_mode_t::default_mode,
                                 get_mode_t::multi_get, walk);
    EXPECT_EQ(runtime_error_text([&] { run(*c, {oid_request(type, two)}, compat); }), what);
  }
  // Nothing to ask for: nothing is sent and nothing comes back.
  EXPECT_TRUE(run(*c, {}, compat_settings()).empty());
  EXPECT_TRUE(run(*c, {oid_request(query_t::get, std::vector<oid>{})}, compat_settings()).empty());
  EXPECT_EQ(silent_.drain(), 0u);
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
