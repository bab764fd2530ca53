// Agents that misbehave (helpers/misbehaving_agent.py): a query past the response limit fails,
// and the connection options keep what the library's default behaviour drops.

#include <functional>

#include "helpers/case_names.hpp"
#include "helpers/error_text.hpp"
#include "helpers/misbehaving_agent.hpp"
#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using add_query = std::function<std::optional<unsigned>(request&)>;

class misbehaving_test : public netsnmp_test {
 protected:
  std::vector<response> ask(const std::string& mode, const add_query& add,
                            const connection_options& options = connection_options{},
                            version_t version = version_t::snmp_v2c,
                            std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    misbehaving_agent agent(mode);
    const settings s = community_settings(version, agent.port(), std::chrono::seconds(1));
    request r(create_connection(*pool_, s, options), names_,
              compat_settings(delay, retry_t::no_retry));
    const auto id = add(r);
    const auto started = std::chrono::steady_clock::now();
    std::vector<response> answer = r.execute(logger_).at(id);
    took_ = std::chrono::steady_clock::now() - started;
    return answer;
  }

  std::chrono::steady_clock::duration took_{};  // by the last query
};

TEST_F(misbehaving_test, AQueryOverTheResponseLimitFails) {
  const connection_options options{.max_responses = 500};
  const add_query queries[] = {
      [](request& r) { return r.table("IF-MIB::ifTable"); },
      [](request& r) { return r.walk("IF-MIB::ifDescr", 100000); },
      [](request& r) { return r.bulk("IF-MIB::ifDescr", 501); },
  };
  for (const add_query& add : queries) {
    EXPECT_THROW(ask("endless", add, options), exceptions::response_limit_exceeded);
  }
}

// An agent that finds every GETBULK too big is asked down to one repetition, not to none, with
// the compatibility delay before each new question.
TEST_F(misbehaving_test, TooBigAtEveryBulkSizeEndsAtOneRepetition) {
  ask(
      "alltoobig", [](request& r) { return r.bulk("IF-MIB::ifTable", 4); },
      connection_options{.shrink_bulk_on_too_big = true}, version_t::snmp_v2c,
      std::chrono::milliseconds(150));
  EXPECT_GE(took_, std::chrono::milliseconds(300));
  std::vector<std::string> shrinking;
  for (const std::string& line : logger_.messages()) {
    if (line.starts_with("  Too big")) shrinking.push_back(line);
  }
  EXPECT_EQ(shrinking, (std::vector<std::string>{"  Too big: asking again with bulk size 2",
                                                 "  Too big: asking again with bulk size 1"}));
}

// An answer that comes as another kind of message is a protocol error that names the kind,
// and it ends the wait at once instead of at the time-out; a message of another kind under
// another request ID is not the answer and is passed over.
TEST_F(misbehaving_test, AnAnswerOfAnotherKindIsAProtocolError) {
  const auto get = [](request& r) { return r.single_get("IF-MIB::ifDescr.1"); };
  // No compatibility delay comes before the only request (a minute would show).
  EXPECT_EQ(texts(ask("strayfirst", get, {}, version_t::snmp_v2c, std::chrono::minutes(1))),
            std::vector<std::string>{"if1"});
  EXPECT_LT(took_, std::chrono::seconds(30));
  EXPECT_EQ(error_text<exceptions::communication_error>([&] { ask("wrongtype", get); }),
            "The sensor failed to communicate with the target system: Error 0/-64: Protocol "
            "error (Expected RESPONSE-PDU but got GET-PDU).");
}

// A whole-table read sends each next pass while it converts the one before (unless a
// compatibility delay is set), and sends no more passes than it reads. A pass sent for a read that
// then fails is used by nothing else: the same GETBULK asked for afterwards is sent again, and the
// stale answer is passed over.
TEST_F(misbehaving_test, TableReadsSendTheNextPassAheadForThemselvesOnly) {
  misbehaving_agent agent("longtail");
  const settings s = community_settings(version_t::snmp_v2c, agent.port(), std::chrono::seconds(1));
  const auto run = [&](const std::shared_ptr<connection>& link, const add_query& add,
                       std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    request r(link, names_, compat_settings(delay, retry_t::no_retry));
    const auto id = add(r);
    return r.execute(logger_).at(id);
  };
  const auto bulks_seen = [&](const std::shared_ptr<connection>& link) {
    return run(link, [](request& r) { return r.single_get(".1.3.6.1.4.1.99999.99.0"); })
        .at(0)
        .as_string();
  };
  const auto table = [](request& r) { return r.table("IF-MIB::ifTable"); };

  const std::shared_ptr<connection> whole = create_connection(*pool_, s);
  const std::vector<response> cells = run(whole, table);
  EXPECT_EQ(cells.size(), 120u);  // 60 rows of two columns
  // Room made for IF-MIB's 22 columns once the 60 rows were known, and given back.
  EXPECT_EQ(cells.capacity(), 120u);
  EXPECT_EQ(bulks_seen(whole), "3");  // 50 + 50 + 20 cells and the end

  // Over the limit after the second pass, whose read-ahead goes out all the same.
  const std::shared_ptr<connection> limited =
      create_connection(*pool_, s, connection_options{.max_responses = 60});
  EXPECT_THROW(run(limited, table), exceptions::response_limit_exceeded);
  const std::string third_pass = "IF-MIB::ifDescr.40";
  EXPECT_EQ(texts(run(limited, [&](request& r) { return r.bulk(third_pass, 50); })).front(),
            "if41");
  EXPECT_EQ(bulks_seen(limited), "7");
  EXPECT_EQ(texts(run(limited, [](request& r) { return r.single_get("IF-MIB::ifDescr.7"); })),
            std::vector<std::string>{"if7"});
  // With a compatibility delay nothing is sent ahead: the failing read asks for two passes.
  EXPECT_THROW(run(limited, table, std::chrono::milliseconds(1)),
               exceptions::response_limit_exceeded);
  EXPECT_EQ(bulks_seen(limited), "9");
}

// A table with every column its MIB lists is held in memory made once, when the first column
// has given the number of rows: no larger memory follows.
TEST_F(misbehaving_test, ATableOfEveryMibColumnIsHeldInOneAllocation) {
  const std::vector<response> cells =
      ask("wide", [](request& r) { return r.table("IF-MIB::ifTable"); });
  EXPECT_EQ(cells.size(), 60u * 22u);
  EXPECT_EQ(cells.capacity(), cells.size());
}

// ---- kept by the options ---------------------------------------------------------------

struct option_case {
  std::string name;
  std::string mode;
  bool connection_options::*option;
  add_query add;
  std::vector<std::string> values;  // with the option
  version_t version = version_t::snmp_v2c;
};

std::ostream& operator<<(std::ostream& out, const option_case& c) { return out << c.name; }

class kept_by_option : public misbehaving_test,
                       public ::testing::WithParamInterface<option_case> {};

TEST_P(kept_by_option, KeepsWhatTheDefaultDrops) {
  connection_options options;
  options.*GetParam().option = true;
  EXPECT_EQ(texts(ask(GetParam().mode, GetParam().add, options, GetParam().version)),
            GetParam().values);
}

using o = connection_options;
using texts_t = std::vector<std::string>;
const std::string scalar = ".1.3.6.1.4.1.99999.30.";
const add_query too_wide = [](request& r) {
  return r.multi_get({scalar + "3.0", scalar + "6.0", scalar + "4.0", scalar + "7.0"});
};
const add_query three_oids = [](request& r) {
  return r.multi_get(
      {".1.3.6.1.4.1.99999.1.1.1", ".1.3.6.1.4.1.99999.1.1.2", ".1.3.6.1.4.1.99999.10.1"});
};
const add_query by_numbers = [](request& r) { return r.table(".1.3.6.1.4.1.99999.1"); };
const std::string gen_err = "Error in packet. Reason: (genError) A general failure occured";
const std::string wider = "Value out of range for its 32-bit type: ";

INSTANTIATE_TEST_SUITE_P(
    Options, kept_by_option,
    ::testing::Values(
        option_case{"IntegersWiderThanTheirType", "plain", &o::check_integer_range, too_wide,
                    texts_t{wider + "1099511627776", std::string(130, 'x'), wider + "8589934599",
                            wider + "-1099511627776"}},
        option_case{"ErrorStatusForEveryOid", "generr", &o::error_per_oid, three_oids,
                    texts_t{gen_err, gen_err, gen_err}},
        option_case{"ErrorStatusForEveryOidLeft", "v1generr", &o::error_per_oid, three_oids,
                    texts_t{"End of MIB", gen_err, gen_err}, version_t::snmp_v1},
        option_case{"NoSuchNameWithoutAUsableIndex", "badindex", &o::error_per_oid, three_oids,
                    texts_t{"End of MIB", "End of MIB", "End of MIB"}, version_t::snmp_v1},
        option_case{"SubtreeByNumbers", "plain", &o::exact_subtree, by_numbers, texts_t{"1", "2"}}),
    corvane::tallis::kestrel::helpers::by_name{});

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
