#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <kestrel/exceptions.hpp>
#include <kestrel/request.hpp>
#include <kestrel/test_connections.hpp>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/case_names.hpp"
#include "helpers/map_library.hpp"
#include "helpers/mock_connection.hpp"
#include "helpers/recording_logger.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;
using k::helpers::make_error;
using k::helpers::make_response;
using q = k::oid_request;
using r = k::response;
using k::query_t;
using testing::_;
using names = std::vector<std::string>;

namespace {

const std::string if_entry = "interfaces.ifTable.ifEntry.";
const std::string not_increasing = "  OID not increasing: the agent sent nothing after ";

names describe(const std::vector<r>& responses) {
  names texts;
  for (const r& one : responses) texts.push_back(one.name() + "=" + one.as_string());
  return texts;
}

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
    return make_response(*lib_, name, std::move(value));
  }

  // A request over a connection that records every run call and hands it on to `inner`.
  k::request recording(std::unique_ptr<k::connection> inner,
                       const k::compat_settings& compat = k::compat_settings()) {
    inner_ = std::move(inner);
    return k::request(recorder_, lib_, compat);
  }
  k::request over_walk_mock(const std::vector<r>& data) {
    return recording(k::test::get_mock_connection_walk_factory(data)(settings_));
  }
  // Replays the answers in turn, again from the first after the last.
  k::request over_answers(const std::vector<std::vector<r>>& answers) {
    return recording(k::test::get_mock_connection_factory(answers, nullptr)(settings_));
  }

  // Three interfaces: lo, eth0 and ETH1, the last two of type 6.
  std::vector<r> interfaces() const {
    return {cell("ifIndex.1", r::int32_value{1}),       cell("ifIndex.2", r::int32_value{2}),
            cell("ifIndex.3", r::int32_value{3}),       cell("ifDescr.1"),
            cell("ifDescr.2", r::string_value{"eth0"}), cell("ifDescr.3", r::string_value{"ETH1"}),
            cell("ifType.1", r::int32_value{24}),       cell("ifType.2", r::int32_value{6}),
            cell("ifType.3", r::int32_value{6}),        cell("ifName.1")};
  }

  const k::settings settings_{"public", true, "127.0.0.1", {}, {}};
  std::shared_ptr<k::helpers::map_library> lib_ =
      std::make_shared<k::helpers::map_library>(k::helpers::mib2_library());
  std::shared_ptr<testing::NiceMock<k::helpers::mock_connection>> recorder_ =
      std::make_shared<testing::NiceMock<k::helpers::mock_connection>>();
  std::unique_ptr<k::connection> inner_;
  std::vector<std::vector<q>> runs_;
  k::helpers::recording_logger logger_;
};

TEST_F(execute, GenericQueriesReturnWhatTheConnectionReturnsWithTheRequestsContext) {
  k::request req(recorder_, lib_, k::compat_settings(std::chrono::milliseconds(25)));
  EXPECT_TRUE(req.execute(logger_).empty());
  EXPECT_TRUE(runs_.empty());
  const std::vector<r> answer = {cell("sysName.0"), make_error(*lib_, "sysName.0", "End of MIB")};
  req.single_get("sysName.0");
  req.walk("sysName", 3);
  EXPECT_CALL(*recorder_, run(_, _))
      .Times(2)
      .WillRepeatedly([&](const std::vector<q>&, const k::execute_context& context) {
        EXPECT_EQ(&context.library, lib_.get());
        EXPECT_EQ(context.compat.delay(), std::chrono::milliseconds(25));
        EXPECT_EQ(&context.logger, &logger_);
        return answer;
      });
  const k::result result = req.execute(logger_);
  ASSERT_EQ(result.size(), 2u);
  EXPECT_EQ(describe(result.at(0)), describe(answer));
  EXPECT_EQ(describe(result.at(1)), describe(answer));
}

struct paging_case {
  std::string name;
  int rows;
  bool followed;  // whether another object follows the table in the agent's data
  std::size_t passes;
  bool end_of_view;  // whether the table ends with the agent's end-of-view error
};

std::ostream& operator<<(std::ostream& out, const paging_case& c) { return out << c.name; }

class table_paging : public execute, public testing::WithParamInterface<paging_case> {};

TEST_P(table_paging, PagesInsideTheTableAndDropsTheEndMarker) {
  const paging_case& c = GetParam();
  std::vector<r> data;
  names expected;
  for (int i = 1; i <= c.rows; ++i) {
    data.push_back(cell("ifIndex." + std::to_string(i), r::int32_value{i}));
    expected.push_back(if_entry + "ifIndex." + std::to_string(i) + "=" + std::to_string(i));
  }
  if (c.followed) data.push_back(cell("ifName.1"));
  if (c.end_of_view) {
    expected.push_back(
        "interfaces.ifTable=No more variables left in this MIB View (It is past the end of the MIB "
        "tree)");
  }
  k::request req = over_walk_mock(data);
  const auto id = req.table("ifTable");
  EXPECT_EQ(describe(req.execute(logger_).at(id)), expected);
  // Each pass is a GETBULK of 50 inside the table, continuing from the last OID so far.
  ASSERT_EQ(runs_.size(), c.passes);
  for (std::size_t pass = 0; pass < runs_.size(); ++pass) {
    const k::oid from =
        pass == 0 ? oid_of("ifTable") : oid_of("ifIndex." + std::to_string(50 * pass));
    EXPECT_EQ(runs_[pass],
              std::vector<q>{
                  q(query_t::bulk, from).bulk_size(50).only_children_of_oid(oid_of("ifTable"))});
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, table_paging,
                         testing::Values(paging_case{"ThreePasses", 120, true, 3, false},
                                         paging_case{"SecondPassOnlyTheMarker", 50, true, 2, false},
                                         paging_case{"EndsWithTheData", 100, false, 2, false},
                                         paging_case{"EmptyTableAtTheEndOfTheView", 0, false, 1,
                                                     true}),
                         k::helpers::by_name{});

// The pieces of `text` between the separator characters.
names split(const std::string& text, char separator) {
  names pieces;
  for (std::size_t at = 0; at <= text.size() && !text.empty();) {
    const std::size_t end = std::min(text.find(separator, at), text.size());
    pieces.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return pieces;
}

struct script_case {
  std::string name;
  std::string passes;    // "|" between passes, "," between cells; "!text" is an error
  std::string expected;  // the table's cells after the entry, "," between them
  std::size_t runs;
  bool stuck;  // whether the agent stops advancing
};

std::ostream& operator<<(std::ostream& out, const script_case& c) { return out << c.name; }

class table_script : public execute, public testing::WithParamInterface<script_case> {
 protected:
  // Answers that replay the passes in turn; an error names the cell before it.
  k::request scripted() {
    std::vector<std::vector<r>> answers;
    for (const std::string& pass : split(GetParam().passes, '|')) {
      std::vector<r> responses;
      std::string last = "ifIndex.1";
      for (const std::string& text : split(pass, ',')) {
        responses.push_back(text.starts_with("!") ? make_error(*lib_, last, text.substr(1))
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
  const k::result result = req.execute(logger_);
  for (const r& row : result.at(id)) {
    cells.push_back(row ? row.name().substr(if_entry.size()) : "!" + row.as_string());
  }
  EXPECT_EQ(cells, split(GetParam().expected, ','));
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
  runs_.clear();
  logger_.entries.clear();
  k::request lookup = scripted();
  lookup.table_row_from_column_value("ifTable", "Descr", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(lookup.execute(logger_), ex::index_not_found);
  EXPECT_EQ(runs_.size(), GetParam().runs);
  ASSERT_EQ(logger_.entries.size(), 1u);
  EXPECT_TRUE(logger_.entries[0].message.starts_with(not_increasing));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, table_script,
    testing::Values(
        script_case{"EndOfMib", "ifIndex.1,ifIndex.2,!End of MIB",
                    "ifIndex.1,ifIndex.2,!End of MIB", 1, false},
        script_case{"AgentErrorInSecondPass", "ifIndex.1|ifIndex.2,!genErr",
                    "ifIndex.1,ifIndex.2,!genErr", 2, false},
        script_case{"MarkerAloneInSecondPass", "ifIndex.1|!End Of Table", "ifIndex.1", 2, false},
        script_case{"MarkerComparedExactly", "ifIndex.1,!End of table", "ifIndex.1,!End of table",
                    1, false},
        script_case{"SameOidAgainAndAgain", "ifDescr.1", "ifDescr.1", 2, true},
        script_case{"SamePassAgain", "ifDescr.1,ifDescr.2", "ifDescr.1,ifDescr.2", 2, true},
        script_case{"GoesBackwards", "ifDescr.1,ifDescr.3|ifDescr.2", "ifDescr.1,ifDescr.3", 2,
                    true},
        script_case{"NeverLeavesTheStart", "ifTable", "", 1, true}),
    k::helpers::by_name{});

TEST_F(execute, EmptyPassIsNoResult) {
  for (const auto& answers : std::vector<std::vector<std::vector<r>>>{
           {{}}, {{cell("ifIndex.1", r::int32_value{1})}, {}}}) {
    k::request req = over_answers(answers);
    req.table("ifTable");
    EXPECT_THROW(req.execute(logger_), ex::no_result_for_oid);
  }
  k::request rows = over_answers({{}});
  rows.table_row_from_column_value("ifTable", "Descr", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(rows.execute(logger_), ex::no_result_for_oid);
}

TEST_F(execute, RowByIndexFetchesItsColumnsInOneRun) {
  k::request req = over_walk_mock(interfaces());
  const auto id = req.table_row_from_index("ifTable", "2", {"Descr", "Type"}, std::nullopt);
  EXPECT_EQ(describe(req.execute(logger_).at(id)),
            (names{if_entry + "ifDescr.2=eth0", if_entry + "ifType.2=6"}));
  EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(execute, RowByColumnValueContinuesIntoTheNextPass) {
  const std::vector<r> row = {cell("ifDescr.7", r::string_value{"eth1"}),
                              cell("ifType.7", r::int32_value{6})};
  k::request req = over_answers({{cell("ifDescr.1"), cell("ifDescr.2", r::string_value{"eth0"})},
                                 {row[0], cell("ifDescr.9", r::string_value{"eth1"})},
                                 row});
  const auto id =
      req.table_row_from_column_value("ifTable", "Descr", "eth1", {"Descr", "Type"}, std::nullopt);
  EXPECT_EQ(describe(req.execute(logger_).at(id)), describe(row));
  const k::oid column = oid_of("ifDescr");
  EXPECT_EQ(runs_,
            (std::vector<std::vector<q>>{
                {q(query_t::bulk, column).bulk_size(50).only_children_of_oid(column)},
                {q(query_t::bulk, oid_of("ifDescr.2")).bulk_size(50).only_children_of_oid(column)},
                {q(query_t::get, {oid_of("ifDescr.7"), oid_of("ifType.7")})}}));
}

struct lookup_case {
  std::string name;
  std::string column;
  std::string value;
  std::optional<std::string> index;  // empty: index_not_found
};

std::ostream& operator<<(std::ostream& out, const lookup_case& c) { return out << c.name; }

class row_lookup : public execute, public testing::WithParamInterface<lookup_case> {};

TEST_P(row_lookup, MatchesTheTextFormExactly) {
  const lookup_case& c = GetParam();
  k::request req = over_walk_mock(interfaces());
  const auto id =
      req.table_row_from_column_value("ifTable", c.column, c.value, {"Index"}, std::nullopt);
  try {
    EXPECT_EQ(describe(req.execute(logger_).at(id)),
              names{if_entry + "ifIndex." + c.index.value_or("?") + "=" + c.index.value_or("?")});
  } catch (const ex::index_not_found& e) {
    EXPECT_FALSE(c.index.has_value());
    EXPECT_EQ(e.message().key, "#:kestrel.error.index_not_found[" + c.column + "," + c.value + "]");
  }
}

INSTANTIATE_TEST_SUITE_P(Values, row_lookup,
                         testing::Values(lookup_case{"String", "Descr", "eth0", "2"},
                                         lookup_case{"IntegerByDecimalText", "Type", "6", "2"},
                                         lookup_case{"CaseSensitive", "Descr", "eth1",
                                                     std::nullopt},
                                         lookup_case{"NoPrefixMatch", "Descr", "eth", std::nullopt},
                                         lookup_case{"UpperCase", "Descr", "ETH1", "3"}),
                         k::helpers::by_name{});

TEST_F(execute, MultiGetHonoursTheGetMode) {
  const std::vector<k::oid> oids = {oid_of("sysDescr.0"), oid_of("sysName.0"),
                                    oid_of("sysLocation.0")};
  const k::oid descr = oid_of("ifDescr.1");
  const k::oid type = oid_of("ifType.1");
  for (const auto mode : {k::get_mode_t::multi_get, k::get_mode_t::one_by_one}) {
    runs_.clear();
    k::request req =
        recording(nullptr, k::compat_settings(std::chrono::milliseconds(0), k::retry_t::retry,
                                              k::counter_mode_t::default_mode, mode));
    req.multi_get({"sysDescr.0", "sysName.0", "sysLocation.0"});
    req.table_row_from_index("ifTable", "1", {"Descr", "Type"}, std::nullopt);
    req.execute(logger_);
    const std::vector<std::vector<q>> expected =
        mode == k::get_mode_t::multi_get
            ? std::vector<std::vector<q>>{{q(query_t::get, oids)}, {q(query_t::get, {descr, type})}}
            : std::vector<std::vector<q>>{
                  {q(query_t::get, oids[0]), q(query_t::get, oids[1]), q(query_t::get, oids[2])},
                  {q(query_t::get, descr), q(query_t::get, type)}};
    EXPECT_EQ(runs_, expected);
  }
}

// An agent that answers exactly the OIDs named in `answering` and reports the others with an
// error; names in `silent` get no response at all.
class first_of : public execute {
 protected:
  first_of() {
    ON_CALL(*recorder_, run(_, _))
        .WillByDefault([this](const std::vector<q>& requests, const k::execute_context&) {
          std::vector<r> responses;
          for (const q& request : requests) {
            for (const k::oid& o : request.oids()) {
              asked_.push_back(o.name());
              if (silent_.count(o.name()) != 0) continue;
              responses.push_back(answering_.count(o.name()) != 0
                                      ? r(o, r::string_value{"from " + o.name()})
                                      : r(o, r::error_value{"No Such Object"}));
            }
          }
          return responses;
        });
  }

  // Executes once and checks what was asked, what was logged (at level 7) and what came back.
  void expect_run(std::optional<unsigned> id, const names& asked, const names& logged,
                  const names& answer) {
    asked_.clear();
    logger_.entries.clear();
    EXPECT_EQ(describe(req_.execute(logger_).at(id)), answer);
    EXPECT_EQ(asked_, asked);
    names texts;
    for (const auto& entry : logger_.entries) {
      EXPECT_EQ(entry.level, 7);
      texts.push_back(entry.message);
    }
    EXPECT_EQ(texts, logged);
  }

  k::request req_{recorder_, lib_, k::compat_settings()};
  std::set<std::string> answering_;
  std::set<std::string> silent_;
  names asked_;
};

TEST_F(first_of, SticksToTheLastOidThatAnswered) {
  const std::string x = "system.sysContact.0", y = "system.sysName.0", z = "system.sysLocation.0";
  const std::string y_failed = "Last successful OID " + y + " (.1.3.6.1.2.1.1.5.0) failed.";
  const std::string z_failed = "Last successful OID " + z + " (.1.3.6.1.2.1.1.6.0) failed.";
  const std::string now_y = "Last successful OID is now " + y + " (.1.3.6.1.2.1.1.5.0).";
  const std::string now_z = "Last successful OID is now " + z + " (.1.3.6.1.2.1.1.6.0).";
  const auto id = req_.first_of_and_stick({x, y, z});
  answering_ = {y, z};
  expect_run(id, {x, y}, {now_y}, {y + "=from " + y});
  expect_run(id, {y}, {}, {y + "=from " + y});
  answering_ = {z};
  expect_run(id, {y, x, z}, {y_failed, now_z}, {z + "=from " + z});
  // Nothing answers: the remembered OID is forgotten and the last attempt's errors returned.
  answering_ = {};
  expect_run(id, {z, x, y}, {z_failed}, {y + "=No Such Object"});
  answering_ = {z};
  expect_run(id, {x, y, z}, {now_z}, {z + "=from " + z});
}

TEST_F(first_of, NoResponseCountsAsFailureAndNoCandidateAsksNothing) {
  const std::string x = "system.sysContact.0", y = "system.sysName.0";
  silent_ = {x, y};
  expect_run(req_.first_of_and_stick({x, y}), {x, y}, {}, {});
  expect_run(req_.first_of_and_stick({}), {x, y}, {}, {});
}

TEST_F(execute, ExceptionsLeaveExecuteUncaught) {
  k::request req(recorder_, lib_, k::compat_settings());
  req.single_get("sysName.0");
  req.table("ifTable");
  EXPECT_CALL(*recorder_, run(_, _))
      .WillOnce(testing::Return(std::vector<r>{cell("sysName.0")}))
      .WillOnce(testing::Return(std::vector<r>{cell("ifIndex.1", r::int32_value{1})}))
      .WillOnce(testing::Throw(ex::timeout()));
  EXPECT_THROW(req.execute(logger_), ex::timeout);
}

}  // namespace
