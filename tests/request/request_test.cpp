#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <kestrel/exceptions.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/request.hpp>
#include <kestrel/settings.hpp>
#include <kestrel/test_connections.hpp>
#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "helpers/case_names.hpp"
#include "helpers/map_library.hpp"
#include "helpers/mock_connection.hpp"
#include "helpers/recording_logger.hpp"
#include "helpers/test_platform.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;
using q = k::oid_request;
using r = k::response;
using k::query_t;
using testing::_;
using names = std::vector<std::string>;
using runs = std::vector<std::vector<q>>;
using log_entry = k::helpers::recording_logger::entry;
using namespace std::chrono_literals;

namespace {

const std::string if_entry = "interfaces.ifTable.ifEntry.";
const std::string not_increasing = "  OID not increasing: the agent sent nothing after ";

names describe(const std::vector<r>& responses) {
  names texts;
  for (const r& one : responses) texts.push_back(one.name() + "=" + one.as_string());
  return texts;
}

// Requests over a connection that records every run call and hands it on to `inner_`.
class execute : public testing::Test {
 protected:
  execute() {
    ON_CALL(*recorder_, run(_, _))
        .WillByDefault([this](const std::vector<q>& requests, const k::execute_context& context) {
          runs_.push_back(requests);
          // A query that never stops asking fails here instead of hanging the test.
          if (runs_.size() > 100) throw std::runtime_error("more than 100 run calls");
          return inner_ ? inner_->run(requests, context) : std::vector<r>{};
        });
  }

  k::oid oid_of(const std::string& name) const { return lib_->oid_from_name(name); }
  r cell(const std::string& name, r::value_t value = r::string_value{"lo"}) const {
    return k::helpers::make_response(*lib_, name, std::move(value));
  }

  k::request over(std::unique_ptr<k::connection> inner,
                  const k::compat_settings& compat = k::compat_settings()) {
    runs_.clear();
    inner_ = std::move(inner);
    return k::request(recorder_, lib_, compat);
  }
  k::request over_walk_mock(const std::vector<r>& data) {
    return over(k::test::get_mock_connection_walk_factory(data)(settings_));
  }
  // Replays the answers in turn, again from the first after the last.
  k::request over_answers(const std::vector<std::vector<r>>& answers) {
    return over(k::test::get_mock_connection_factory(answers, nullptr)(settings_));
  }

  const k::settings settings_{"public", true, "127.0.0.1", {}, {}};
  std::shared_ptr<k::helpers::map_library> lib_ =
      std::make_shared<k::helpers::map_library>(k::helpers::mib2_library());
  std::shared_ptr<testing::NiceMock<k::helpers::mock_connection>> recorder_ =
      std::make_shared<testing::NiceMock<k::helpers::mock_connection>>();
  std::unique_ptr<k::connection> inner_;
  runs runs_;
  k::helpers::recording_logger logger_;
};

// Ids count from zero, an add whose names do not all resolve adds nothing, and each query sends
// its own request when it runs.
TEST_F(execute, AddsCountFromZeroAndRunTheirRequests) {
  k::request req = over(nullptr);
  EXPECT_EQ(req.single_get("sysName.0"), 0u);
  EXPECT_THROW(req.single_get("noSuchObject.0"), ex::missing_mib_for_oid);
  EXPECT_EQ(req.walk("sysDescr", 5), 1u);
  EXPECT_THROW(req.multi_get({"sysName.0", "sysBogus.0", "sysDescr.0"}), ex::missing_mib_for_oid);
  EXPECT_THROW(req.first_of_and_stick({"sysName.0", "sysBogus.0"}), ex::missing_mib_for_oid);
  EXPECT_THROW(req.table_row_from_index("noTable", "1", {"Descr"}, std::nullopt),
               ex::missing_mib_for_oid);
  EXPECT_EQ(req.bulk("ifTable", k::request::DEFAULT_BULK_SIZE), 2u);
  EXPECT_EQ(req.multi_get({"sysName.0", "sysDescr.0"}), 3u);
  // Row columns take the table's stem, no prefix or a prefix of their own.
  req.table_row_from_index("ifTable", "3", {"Descr", "Type"}, std::nullopt);
  req.table_row_from_index("ifTable", "3", {"ifDescr"}, std::string());
  req.table_row_from_index("ifTable", "2", {"Descr"}, std::string("if"));
  EXPECT_EQ(req.execute(logger_).size(), 7u);
  const k::oid name = oid_of("sysName.0"), descr = oid_of("sysDescr.0");
  const k::oid if_descr = oid_of(if_entry + "ifDescr.3");
  EXPECT_EQ(runs_, (runs{{q(query_t::get, name)},
                         {q(query_t::walk, oid_of("sysDescr")).max_depth(5)},
                         {q(query_t::bulk, oid_of("ifTable")).bulk_size(10)},
                         {q(query_t::get, {name, descr})},
                         {q(query_t::get, {if_descr, oid_of(if_entry + "ifType.3")})},
                         {q(query_t::get, if_descr)},
                         {q(query_t::get, oid_of(if_entry + "ifDescr.2"))}}));
  // Empty name lists add queries without resolving anything.
  const std::size_t before = lib_->lookups;
  EXPECT_EQ(req.multi_get({}), 7u);
  EXPECT_EQ(req.first_of_and_stick({}), 8u);
  EXPECT_EQ(lib_->lookups, before);

  // Asked one by one, a multi-get sends one request per name in its run.
  k::request one_by_one =
      over(nullptr, k::compat_settings(0ms, k::retry_t::retry, k::counter_mode_t::default_mode,
                                       k::get_mode_t::one_by_one));
  one_by_one.multi_get({"sysName.0", "sysDescr.0"});
  one_by_one.execute(logger_);
  EXPECT_EQ(runs_, (runs{{q(query_t::get, name), q(query_t::get, descr)}}));
  // Row columns are resolved only when the query runs.
  k::request bogus = over(nullptr);
  EXPECT_EQ(bogus.table_row_from_index("ifTable", "3", {"Bogus"}, std::nullopt), 0u);
  EXPECT_THROW(bogus.execute(logger_), ex::missing_mib_for_oid);
  EXPECT_TRUE(runs_.empty());
}

// Each pass is a GETBULK of 50 inside the table, continuing from the last OID so far.
TEST_F(execute, TablesPageInsideTheTable) {
  std::vector<r> data;
  names expected;
  for (int i = 1; i <= 120; ++i) {
    data.push_back(cell("ifIndex." + std::to_string(i), r::int32_value{i}));
    expected.push_back(if_entry + "ifIndex." + std::to_string(i) + "=" + std::to_string(i));
  }
  data.push_back(cell("ifName.1"));
  k::request req = over_walk_mock(data);
  const auto id = req.table("ifTable");
  EXPECT_EQ(describe(req.execute(logger_).at(id)), expected);
  const k::oid table = oid_of("ifTable");
  EXPECT_EQ(
      runs_,
      (runs{{q(query_t::bulk, table).bulk_size(50).only_children_of_oid(table)},
            {q(query_t::bulk, oid_of("ifIndex.50")).bulk_size(50).only_children_of_oid(table)},
            {q(query_t::bulk, oid_of("ifIndex.100")).bulk_size(50).only_children_of_oid(table)}}));
}

struct script_case {
  std::string name;
  std::vector<names> passes;  // the cells of each pass; "!text" is an error
  names expected;             // the table's cells after the entry
  std::size_t runs;
  bool stuck;  // whether the agent stops advancing
};

std::ostream& operator<<(std::ostream& out, const script_case& c) { return out << c.name; }

script_case script(std::string name, std::vector<names> passes, names expected, std::size_t runs,
                   bool stuck) {
  return {std::move(name), std::move(passes), std::move(expected), runs, stuck};
}

class table_script : public execute, public testing::WithParamInterface<script_case> {
 protected:
  // Answers that replay the passes in turn; an error names the cell before it.
  k::request scripted() {
    std::vector<std::vector<r>> answers;
    for (const names& pass : GetParam().passes) {
      std::vector<r> responses;
      std::string last = "ifIndex.1";
      for (const std::string& text : pass) {
        responses.push_back(text.starts_with("!")
                                ? k::helpers::make_error(*lib_, last, text.substr(1))
                                : cell(last = text));
      }
      answers.push_back(responses);
    }
    return over_answers(answers);
  }
};

// Only the exact "End Of Table" marker is removed; every other error ends the table's vector,
// and an answer that does not go forward ends the table and a column lookup.
TEST_P(table_script, EndsTheTable) {
  k::request req = scripted();
  const auto id = req.table("ifTable");
  names cells;
  for (const r& row : req.execute(logger_).at(id)) {
    cells.push_back(row ? row.name().substr(if_entry.size()) : "!" + row.as_string());
  }
  EXPECT_EQ(cells, GetParam().expected);
  EXPECT_EQ(runs_.size(), GetParam().runs);
  names logged;
  if (GetParam().stuck) {
    const k::oid last = oid_of(cells.empty() ? "ifTable" : cells.back());
    logged.push_back(not_increasing + last.name() + " (" +
                     k::library::numeric_oid_to_string(last.numeric_oid()) + ")");
  }
  EXPECT_EQ(logger_.messages(), logged);
  if (!GetParam().stuck) return;

  // A column lookup on such an agent ends without a match.
  logger_.entries.clear();
  k::request lookup = scripted();
  lookup.table_row_from_column_value("ifTable", "Descr", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(lookup.execute(logger_), ex::index_not_found);
  EXPECT_EQ(runs_.size(), GetParam().runs);
  EXPECT_THAT(logger_.messages(), testing::ElementsAre(testing::StartsWith(not_increasing)));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, table_script,
    testing::Values(
        script("AgentErrorInSecondPass", {{"ifIndex.1"}, {"ifIndex.2", "!genErr"}},
               {"ifIndex.1", "ifIndex.2", "!genErr"}, 2, false),
        script("MarkerAloneInSecondPass", {{"ifIndex.1"}, {"!End Of Table"}}, {"ifIndex.1"}, 2,
               false),
        script("MarkerComparedExactly", {{"ifIndex.1", "!End of table"}},
               {"ifIndex.1", "!End of table"}, 1, false),
        script("SamePassAgain", {{"ifDescr.1", "ifDescr.2"}}, {"ifDescr.1", "ifDescr.2"}, 2, true),
        script("GoesBackwards", {{"ifDescr.1", "ifDescr.3", "ifDescr.2"}, {"ifDescr.2"}},
               {"ifDescr.1", "ifDescr.3"}, 2, true),
        script("NeverLeavesTheStart", {{"ifTable"}}, {}, 1, true)),
    k::helpers::by_name{});

// An empty pass is no result; what the connection raises leaves execute uncaught.
TEST_F(execute, EmptyPassIsNoResultAndExceptionsLeaveExecute) {
  k::request table = over_answers({{}});
  table.table("ifTable");
  EXPECT_THROW(table.execute(logger_), ex::no_result_for_oid);
  k::request rows = over_answers({{}});
  rows.table_row_from_column_value("ifTable", "Descr", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(rows.execute(logger_), ex::no_result_for_oid);
  k::request req = over(nullptr);
  req.single_get("sysName.0");
  req.table("ifTable");
  EXPECT_CALL(*recorder_, run(_, _))
      .WillOnce(testing::Return(std::vector<r>{cell("sysName.0")}))
      .WillOnce(testing::Return(std::vector<r>{cell("ifIndex.1", r::int32_value{1})}))
      .WillOnce(testing::Throw(ex::timeout()));
  EXPECT_THROW(req.execute(logger_), ex::timeout);
}

// The first cell whose text is exactly the value names the row; the lookup pages on after the
// last cell so far, and the row's columns come in one get.
TEST_F(execute, RowByColumnValueMatchesTheTextFormExactly) {
  const std::vector<r> row = {cell("ifDescr.7", r::string_value{"eth1"}),
                              cell("ifType.7", r::int32_value{6})};
  k::request req = over_answers({{cell("ifDescr.1"), cell("ifDescr.2", r::string_value{"eth0"})},
                                 {row[0], cell("ifDescr.9", r::string_value{"eth1"})},
                                 row});
  const auto id =
      req.table_row_from_column_value("ifTable", "Descr", "eth1", {"Descr", "Type"}, std::nullopt);
  EXPECT_EQ(describe(req.execute(logger_).at(id)), describe(row));
  const k::oid column = oid_of("ifDescr");
  EXPECT_EQ(
      runs_,
      (runs{{q(query_t::bulk, column).bulk_size(50).only_children_of_oid(column)},
            {q(query_t::bulk, oid_of("ifDescr.2")).bulk_size(50).only_children_of_oid(column)},
            {q(query_t::get, {oid_of("ifDescr.7"), oid_of("ifType.7")})}}));

  // An integer matches by its decimal text; no match by case or by prefix.
  const std::vector<r> table = {cell("ifDescr.1"),
                                cell("ifDescr.2", r::string_value{"eth0"}),
                                cell("ifType.1", r::int32_value{24}),
                                cell("ifType.2", r::int32_value{6}),
                                cell("ifDescr.3", r::string_value{"ETH1"}),
                                cell("ifType.3", r::int32_value{6})};
  for (const auto& [column_name, value] : std::vector<std::pair<std::string, std::string>>{
           {"Type", "6"}, {"Descr", "eth1"}, {"Descr", "eth"}}) {
    runs_.clear();
    logger_.entries.clear();
    k::request lookup = over_walk_mock(table);
    const auto found =
        lookup.table_row_from_column_value("ifTable", column_name, value, {"Descr"}, std::nullopt);
    try {
      EXPECT_EQ(describe(lookup.execute(logger_).at(found)), names{if_entry + "ifDescr.2=eth0"});
      EXPECT_EQ(value, "6");
    } catch (const ex::index_not_found& e) {
      EXPECT_EQ(e.message().key,
                "#:kestrel.error.index_not_found[" + column_name + "," + value + "]");
      // The column's end, in the first pass, ends the search: nothing more is asked or logged.
      EXPECT_EQ(runs_.size(), 1u);
      EXPECT_TRUE(logger_.entries.empty());
    }
  }
}

// A first-of query sticks to the last OID that answered, and logs (at level 7) when that changes.
TEST_F(execute, FirstOfSticksToTheLastOidThatAnswered) {
  const std::string x = "system.sysContact.0", y = "system.sysName.0", z = "system.sysLocation.0";
  const std::string y_failed = "Last successful OID " + y + " (.1.3.6.1.2.1.1.5.0) failed.";
  const std::string z_failed = "Last successful OID " + z + " (.1.3.6.1.2.1.1.6.0) failed.";
  const std::string now_y = "Last successful OID is now " + y + " (.1.3.6.1.2.1.1.5.0).";
  const std::string now_z = "Last successful OID is now " + z + " (.1.3.6.1.2.1.1.6.0).";
  k::request req = over(nullptr);
  const auto id = req.first_of_and_stick({x, y, z});
  // Executes over an agent that answers the OIDs in `answering` and reports the others with an
  // error (or, when `silent`, not at all); checks what was asked, logged and answered.
  const auto expect_run = [&](std::optional<unsigned> query, const names& answering, bool silent,
                              const names& asked, const names& logged, const names& answer) {
    std::vector<r> data;
    for (const std::string& o : {x, y, z}) {
      if (std::find(answering.begin(), answering.end(), o) != answering.end()) {
        data.push_back(cell(o, r::string_value{"from " + o}));
      } else if (!silent) {
        data.push_back(k::helpers::make_error(*lib_, o, "No Such Object"));
      }
    }
    inner_ = k::test::get_mock_connection_walk_factory(data)(settings_);
    runs_.clear();
    logger_.entries.clear();
    EXPECT_EQ(describe(req.execute(logger_).at(query)), answer);
    names asked_now;
    for (const auto& run : runs_) asked_now.push_back(run.at(0).oids().at(0).name());
    EXPECT_EQ(asked_now, asked);
    EXPECT_EQ(logger_.messages(), logged);
    EXPECT_THAT(logger_.entries, testing::Each(testing::Field(&log_entry::level, 7)));
  };
  expect_run(id, {y, z}, false, {x, y}, {now_y}, {y + "=from " + y});
  expect_run(id, {y, z}, false, {y}, {}, {y + "=from " + y});
  expect_run(id, {z}, false, {y, x, z}, {y_failed, now_z}, {z + "=from " + z});
  // Nothing answers: the remembered OID is forgotten and the last attempt's errors returned.
  expect_run(id, {}, false, {z, x, y}, {z_failed}, {y + "=No Such Object"});
  expect_run(id, {z}, false, {x, y, z}, {now_z}, {z + "=from " + z});
  // No response counts as a failure; no candidate asks nothing.
  expect_run(id, {}, true, {z, x, y}, {z_failed}, {});
  expect_run(req.first_of_and_stick({}), {}, true, {x, y, z}, {}, {});
}

// A reference bound to what `at` returns from a temporary result stays valid: the result hands
// its responses over (AddressSanitizer reports a read of freed memory otherwise).
TEST_F(execute, ResultReadsByQueryIdAndRefusesMissingOnes) {
  const r name = cell("sysName.0", r::string_value{std::string(100, 'x')});  // not inline text
  const k::result answer({{0, {name}}, {1, {}}, {2, {name, name}}});
  EXPECT_EQ(std::tuple(answer.size(), answer.empty(), k::result({}).empty()),
            std::tuple(3u, false, true));
  EXPECT_EQ(answer.at(2).size(), 2u);
  EXPECT_TRUE(answer.at(std::optional<unsigned>(1)).empty());
  EXPECT_THROW(answer.at(std::nullopt), ex::invalid_handle);
  EXPECT_THROW(answer.at(7), ex::no_result_for_oid);
  std::vector<unsigned> ids;
  for (const auto& [id, responses] : answer) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<unsigned>{0, 1, 2}));
  const auto& cells = k::result(answer).at(2);
  EXPECT_EQ(describe(cells), names(2, name.name() + "=" + std::string(100, 'x')));
  EXPECT_THROW((void)k::result(answer).at(std::nullopt), ex::invalid_handle);
  EXPECT_THROW((void)k::result(answer).at(5), ex::no_result_for_oid);
}

k::settings v1(std::string host, std::optional<std::uint16_t> port = std::nullopt,
               std::optional<std::chrono::seconds> timeout = std::nullopt) {
  return k::settings("", false, std::move(host), port, timeout);
}

TEST(SettingsHash, ReproducesTheReferenceValuesAndEveryFieldCounts) {
  EXPECT_EQ(v1("abc").get_hash(), 0x4d6781ddu);
  EXPECT_EQ(v1("abc", 161).get_hash(), 0x196388fdu);
  EXPECT_EQ(k::settings("", true, "abc", std::nullopt, std::nullopt).get_hash(), 0x96b43756u);
  // An empty time-out hashes like zero but is not equal; an empty port differs in both.
  EXPECT_EQ(v1("h").get_hash(), v1("h", std::nullopt, 0s).get_hash());
  EXPECT_FALSE(v1("h") == v1("h", std::nullopt, 0s));
  EXPECT_NE(v1("h").get_hash(), v1("h", 0).get_hash());
  EXPECT_FALSE(v1("h") == v1("h", 0));

  // The settings with field `changed` altered (none for -1).
  const auto v3 = [](int changed) {
    const auto pick = [changed](int field, auto usual, auto other) {
      return field == changed ? other : usual;
    };
    return k::settings(pick(0, "user", "userX"), pick(1, "password", "passwordX"),
                       pick(2, k::auth_t::sha1, k::auth_t::md5), pick(3, "key", "keyX"),
                       pick(4, k::priv_t::aes, k::priv_t::des), pick(5, "ctx", "ctxX"),
                       pick(6, "host", "hostX"), pick(7, 161, 162), pick(8, 5s, 6s));
  };
  const k::settings base = v3(-1);
  k::settings copy = base;
  EXPECT_TRUE(copy == base);
  EXPECT_FALSE(copy.timeout(std::nullopt) == base);
  EXPECT_TRUE((copy = base) == base);  // copy and move assignment replace the whole value
  EXPECT_TRUE((copy = v1("h")) == v1("h"));
  for (int field = 0; field < 9; ++field) {
    EXPECT_FALSE(v3(field) == base) << field;
    EXPECT_NE(v3(field).get_hash(), base.get_hash()) << field;
  }
  const k::settings v2c("public", true, "h", 161, 1s);
  EXPECT_EQ(std::tuple(v1("h").snmp_version(), v2c.snmp_version(), base.snmp_version()),
            std::tuple(k::version_t::snmp_v1, k::version_t::snmp_v2c, k::version_t::snmp_v3));
  EXPECT_FALSE(k::settings("public", false, "h", 161, 1s) == v2c);
}

// Short secrets live inside the value itself: once it goes, its storage no longer holds them.
TEST(Settings, SecretsAreWipedWhenTheValueGoes) {
  alignas(k::settings) unsigned char storage[sizeof(k::settings)];
  const auto holds = [&storage](std::string_view secret) {
    return std::search(std::begin(storage), std::end(storage), secret.begin(), secret.end()) !=
           std::end(storage);
  };
  auto* v2c = new (storage) k::settings("c0mmunity", true, "h", 161, std::nullopt);
  ASSERT_TRUE(holds("c0mmunity"));
  v2c->~settings();
  EXPECT_FALSE(holds("c0mmunity"));
  auto* v3 = new (storage)
      k::settings("user", "pa55word", k::auth_t::sha1, "k3y", k::priv_t::aes, "", "h", 161, 1s);
  ASSERT_TRUE(holds("pa55word") && holds("k3y"));
  v3->~settings();
  EXPECT_FALSE(holds("pa55word") || holds("k3y"));
}

TEST(CompatSettings, OnlyTheValueOneSwitchesOn) {
  const auto fields = [](const k::compat_settings& c) {
    return std::tuple(c.do_retry(), c.use_multi_get(), c.use_bulkget(), c.delay(),
                      c.counter_mode());
  };
  EXPECT_EQ(fields(k::compat_settings()), std::tuple(true, true, true, 0ms, k::counter_mode_t{1}));
  EXPECT_EQ(fields(k::compat_settings(5ms, k::retry_t{2}, k::counter_mode_t{42}, k::get_mode_t{2},
                                      k::walk_mode_t{-1})),
            std::tuple(false, false, false, 5ms, k::counter_mode_t{42}));
}

TEST(Oid, EqualityNeedsNumbersAndNameOrderByNumbersThenName) {
  EXPECT_TRUE(k::oid({1, 3}, "a") == k::oid({1, 3}, "a"));
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3}, "b"));
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3, 0}, "a"));
  EXPECT_TRUE(k::oid({1, 3, 6}, "a") < k::oid({1, 3, 6}, "b"));
  EXPECT_FALSE(k::oid({1, 3, 6}, "b") < k::oid({1, 3, 6}, "a"));
  EXPECT_FALSE(k::oid({1, 3, 6}, "a") < k::oid({1, 3, 6}, "a"));
  // Shorter prefix first, whatever the names.
  EXPECT_TRUE(k::oid({1, 3, 6}, "z") < k::oid({1, 3, 6, 1}, "a"));
  EXPECT_FALSE(k::oid({1, 3, 6, 1}, "a") < k::oid({1, 3, 6}, "z"));
  // Signed comparison of sub-identifiers; numbers decide before names.
  EXPECT_TRUE(k::oid({-1}, "z") < k::oid({0}, "a"));
  EXPECT_TRUE(k::oid({1, 2}, "z") < k::oid({1, 10}, "a"));
  // Names compare as unsigned bytes.
  EXPECT_TRUE(k::oid({1}, "a") < k::oid({1}, "\xC3"));

  std::ostringstream out;
  k::operator<<(out, std::vector<long>{1, 3, 6, 1, 2, 1}) << '|';
  k::operator<<(out, std::vector<long>{}) << '|';
  k::operator<<(out, std::vector<long>{-1, k::helpers::largest_sub_identifier});
  EXPECT_EQ(out.str(), ".1.3.6.1.2.1||.-1." + k::helpers::largest_sub_identifier_text());
  EXPECT_EQ(k::oid({1, 2}, "x").size(), 2u);
}

TEST(OidRequest, ClampedSettersAndEqualityOverEveryField) {
  const k::oid o({1, 3}, "a");
  q walk(query_t::walk, o);
  EXPECT_EQ(std::tuple(walk.max_depth(), walk.bulk_size(), walk.only_children_of_oid()),
            std::tuple(2147483647, 2147483647, std::nullopt));
  EXPECT_EQ((std::vector<int>{walk.max_depth(0).max_depth(), walk.max_depth(-5).max_depth(),
                              walk.bulk_size(0).bulk_size(), walk.bulk_size(1000).bulk_size()}),
            (std::vector<int>{1, 1, 1, 1000}));
  EXPECT_EQ(walk.only_children_of_oid(o).only_children_of_oid(), o);
  EXPECT_FALSE(walk.only_children_of_oid(std::nullopt).only_children_of_oid().has_value());

  const q base(query_t::get, o);
  EXPECT_TRUE(base == q(query_t::get, std::vector<k::oid>{o}));
  EXPECT_FALSE(base == q(query_t::walk, o));
  EXPECT_FALSE(base == q(query_t::get, std::vector<k::oid>{o, o}));
  EXPECT_FALSE(base == q(query_t::get, o).max_depth(3));
  EXPECT_FALSE(base == q(query_t::get, o).bulk_size(3));
  EXPECT_FALSE(base == q(query_t::get, o).only_children_of_oid(o));
  EXPECT_FALSE(q(query_t::get, o).only_children_of_oid(o) ==
               q(query_t::get, o).only_children_of_oid(k::oid({1, 3}, "b")));
}

}  // namespace
