#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

namespace {

const std::string end_of_table = "End Of Table";
const std::string end_of_view =
    "No more variables left in this MIB View (It is past the end of the MIB tree)";
const std::string if_entry = "interfaces.ifTable.ifEntry.";

k::settings any_settings() { return k::settings("public", true, "127.0.0.1", {}, {}); }

std::vector<std::string> describe(const std::vector<r>& responses) {
  std::vector<std::string> texts;
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
  r cell(const std::string& name, r::value_t value) const {
    return make_response(*lib_, name, std::move(value));
  }

  // A request over a connection that records every run call and hands it on to `inner`.
  k::request recording(std::unique_ptr<k::connection> inner,
                       const k::compat_settings& compat = k::compat_settings()) {
    inner_ = std::move(inner);
    return k::request(recorder_, lib_, compat);
  }
  k::request over_walk_mock(const std::vector<r>& data) {
    return recording(k::test::get_mock_connection_walk_factory(data)(any_settings()));
  }
  k::request over_answers(const std::vector<std::vector<r>>& answers) {
    return recording(k::test::get_mock_connection_factory(answers, nullptr)(any_settings()));
  }

  // Three interfaces: lo, eth0 and ETH1, the last two of type 6.
  std::vector<r> interfaces() const {
    return {cell("ifIndex.1", r::int32_value{1}),       cell("ifIndex.2", r::int32_value{2}),
            cell("ifIndex.3", r::int32_value{3}),       cell("ifDescr.1", r::string_value{"lo"}),
            cell("ifDescr.2", r::string_value{"eth0"}), cell("ifDescr.3", r::string_value{"ETH1"}),
            cell("ifType.1", r::int32_value{24}),       cell("ifType.2", r::int32_value{6}),
            cell("ifType.3", r::int32_value{6}),        cell("ifName.1", r::string_value{"lo"})};
  }

  std::shared_ptr<k::helpers::map_library> lib_ =
      std::make_shared<k::helpers::map_library>(k::helpers::mib2_library());
  std::shared_ptr<testing::NiceMock<k::helpers::mock_connection>> recorder_ =
      std::make_shared<testing::NiceMock<k::helpers::mock_connection>>();
  std::unique_ptr<k::connection> inner_;
  std::vector<std::vector<q>> runs_;
  k::helpers::recording_logger logger_;
};

TEST_F(execute, EmptyRequestCallsNothing) {
  k::request req(recorder_, lib_, k::compat_settings());
  EXPECT_CALL(*recorder_, run(_, _)).Times(0);
  EXPECT_TRUE(req.execute(logger_).empty());
}

TEST_F(execute, GenericQueriesReturnWhatTheConnectionReturnsWithTheRequestsContext) {
  const std::vector<r> answer = {cell("sysName.0", r::string_value{"router1"}),
                                 make_error(*lib_, "sysName.0", "End of MIB")};
  const k::compat_settings compat(std::chrono::milliseconds(25));
  k::request req(recorder_, lib_, compat);
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

// ---- table ------------------------------------------------------------------------------

struct paging_case {
  std::string name;
  int rows;
  bool followed;  // whether another object follows the table in the agent's data
  std::size_t passes;
  std::optional<std::string> last_error;
};

std::ostream& operator<<(std::ostream& out, const paging_case& c) { return out << c.name; }

class table_paging : public execute, public testing::WithParamInterface<paging_case> {};

TEST_P(table_paging, PagesInsideTheTableAndDropsTheEndMarker) {
  const paging_case& c = GetParam();
  std::vector<r> data;
  for (int i = 1; i <= c.rows; ++i)
    data.push_back(cell("ifIndex." + std::to_string(i), r::int32_value{i}));
  if (c.followed) data.push_back(cell("ifName.1", r::string_value{"lo"}));
  k::request req = over_walk_mock(data);
  const auto id = req.table("ifTable");

  const std::vector<r> rows = req.execute(logger_).at(id);

  ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.rows) + (c.last_error ? 1 : 0));
  for (int i = 0; i < c.rows; ++i) {
    EXPECT_EQ(rows[i].name(), if_entry + "ifIndex." + std::to_string(i + 1));
  }
  if (c.last_error) {
    EXPECT_EQ(rows.back().as_string(), *c.last_error);
  }
  for (const r& row : rows) EXPECT_NE(row.as_string(), end_of_table);

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

INSTANTIATE_TEST_SUITE_P(
    Tables, table_paging,
    testing::Values(paging_case{"ThreePasses", 120, true, 3, std::nullopt},
                    paging_case{"SecondPassOnlyTheMarker", 50, true, 2, std::nullopt},
                    paging_case{"EndsWithTheData", 100, false, 2, std::nullopt},
                    paging_case{"EmptyTableAtTheEndOfTheView", 0, false, 1, end_of_view}),
    corvane::tallis::kestrel::helpers::by_name{});

struct ending_case {
  std::string name;
  std::vector<std::vector<std::string>> passes;  // cells by name; "!text" is an error
  std::vector<std::string> expected;
};

std::ostream& operator<<(std::ostream& out, const ending_case& c) { return out << c.name; }

class table_ending : public execute, public testing::WithParamInterface<ending_case> {};

// Only the exact "End Of Table" marker is removed; every other error ends the table's vector.
TEST_P(table_ending, KeepsAgentErrorsAsLastElement) {
  std::vector<std::vector<r>> answers;
  for (const auto& pass : GetParam().passes) {
    std::vector<r> responses;
    std::string last = "ifIndex.1";
    for (const std::string& text : pass) {
      if (text.starts_with("!")) {
        responses.push_back(make_error(*lib_, last, text.substr(1)));
      } else {
        responses.push_back(cell(last = text, r::null_value{}));
      }
    }
    answers.push_back(responses);
  }
  k::request req = over_answers(answers);
  const auto id = req.table("ifTable");
  std::vector<std::string> names;
  const k::result result = req.execute(logger_);
  for (const r& row : result.at(id)) {
    names.push_back(row ? row.name().substr(if_entry.size()) : "!" + row.as_string());
  }
  EXPECT_EQ(names, GetParam().expected);
  EXPECT_EQ(runs_.size(), GetParam().passes.size());
}

INSTANTIATE_TEST_SUITE_P(Errors, table_ending,
                         testing::Values(ending_case{"EndOfMib",
                                                     {{"ifIndex.1", "ifIndex.2", "!End of MIB"}},
                                                     {"ifIndex.1", "ifIndex.2", "!End of MIB"}},
                                         ending_case{"AgentErrorInSecondPass",
                                                     {{"ifIndex.1"}, {"ifIndex.2", "!genErr"}},
                                                     {"ifIndex.1", "ifIndex.2", "!genErr"}},
                                         ending_case{"MarkerAloneInSecondPass",
                                                     {{"ifIndex.1"}, {"!End Of Table"}},
                                                     {"ifIndex.1"}},
                                         ending_case{"MarkerComparedExactly",
                                                     {{"ifIndex.1", "!End of table"}},
                                                     {"ifIndex.1", "!End of table"}}),
                         corvane::tallis::kestrel::helpers::by_name{});

TEST_F(execute, EmptyPassIsNoResult) {
  const std::vector<std::vector<std::vector<r>>> scripts = {
      {{}}, {{cell("ifIndex.1", r::int32_value{1})}, {}}};
  for (const auto& answers : scripts) {
    k::request req = over_answers(answers);
    req.table("ifTable");
    EXPECT_THROW(req.execute(logger_), ex::no_result_for_oid);
  }
  k::request rows = over_answers({{}});
  rows.table_row_from_column_value("ifTable", "Descr", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(rows.execute(logger_), ex::no_result_for_oid);
}

// ---- table rows -------------------------------------------------------------------------

TEST_F(execute, RowByIndexFetchesItsColumnsInOneRun) {
  k::request req = over_walk_mock(interfaces());
  const auto id = req.table_row_from_index("ifTable", "2", {"Descr", "Type"}, std::nullopt);
  EXPECT_EQ(describe(req.execute(logger_).at(id)),
            (std::vector<std::string>{if_entry + "ifDescr.2=eth0", if_entry + "ifType.2=6"}));
  EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(execute, RowByColumnValueContinuesIntoTheNextPass) {
  k::request req(recorder_, lib_, k::compat_settings());
  const auto id =
      req.table_row_from_column_value("ifTable", "Descr", "eth1", {"Descr", "Type"}, std::nullopt);
  const k::oid column = oid_of("ifDescr");
  const std::vector<r> row = {cell("ifDescr.7", r::string_value{"eth1"}),
                              cell("ifType.7", r::int32_value{6})};
  testing::InSequence in_order;
  EXPECT_CALL(
      *recorder_,
      run(std::vector<q>{q(query_t::bulk, column).bulk_size(50).only_children_of_oid(column)}, _))
      .WillOnce(testing::Return(std::vector<r>{cell("ifDescr.1", r::string_value{"lo"}),
                                               cell("ifDescr.2", r::string_value{"eth0"})}));
  EXPECT_CALL(
      *recorder_,
      run(
          std::vector<q>{
              q(query_t::bulk, oid_of("ifDescr.2")).bulk_size(50).only_children_of_oid(column)},
          _))
      .WillOnce(testing::Return(std::vector<r>{cell("ifDescr.7", r::string_value{"eth1"}),
                                               cell("ifDescr.9", r::string_value{"eth1"})}));
  EXPECT_CALL(*recorder_,
              run(std::vector<q>{q(query_t::get, {oid_of("ifDescr.7"), oid_of("ifType.7")})}, _))
      .WillOnce(testing::Return(row));
  EXPECT_EQ(describe(req.execute(logger_).at(id)), describe(row));
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
  if (c.index) {
    EXPECT_EQ(describe(req.execute(logger_).at(id)),
              std::vector<std::string>{if_entry + "ifIndex." + *c.index + "=" + *c.index});
    return;
  }
  try {
    req.execute(logger_);
    ADD_FAILURE() << "no exception";
  } catch (const ex::index_not_found& e) {
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
                         corvane::tallis::kestrel::helpers::by_name{});

// ---- multi-get --------------------------------------------------------------------------

TEST_F(execute, MultiGetHonoursTheGetMode) {
  const std::vector<k::oid> oids = {oid_of("sysDescr.0"), oid_of("sysName.0"),
                                    oid_of("sysLocation.0")};
  for (const auto mode : {k::get_mode_t::multi_get, k::get_mode_t::one_by_one}) {
    runs_.clear();
    const k::compat_settings compat(std::chrono::milliseconds(0), k::retry_t::retry,
                                    k::counter_mode_t::default_mode, mode);
    k::request req = recording(nullptr, compat);
    req.multi_get({"sysDescr.0", "sysName.0", "sysLocation.0"});
    req.table_row_from_index("ifTable", "1", {"Descr", "Type"}, std::nullopt);
    req.execute(logger_);

    const k::oid descr = oid_of("ifDescr.1");
    const k::oid type = oid_of("ifType.1");
    const std::vector<std::vector<q>> expected =
        mode == k::get_mode_t::multi_get
            ? std::vector<std::vector<q>>{{q(query_t::get, oids)}, {q(query_t::get, {descr, type})}}
            : std::vector<std::vector<q>>{
                  {q(query_t::get, oids[0]), q(query_t::get, oids[1]), q(query_t::get, oids[2])},
                  {q(query_t::get, descr), q(query_t::get, type)}};
    EXPECT_EQ(runs_, expected);
  }
}

// ---- first of ---------------------------------------------------------------------------

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

  // One execution: what was asked, what was logged (level 7 only), what came back.
  struct outcome {
    std::vector<std::string> asked;
    std::vector<std::string> logged;
    std::vector<std::string> answer;
  };
  outcome run_once(k::request& req, std::optional<unsigned> id) {
    asked_.clear();
    logger_.entries.clear();
    outcome o;
    o.answer = describe(req.execute(logger_).at(id));
    o.asked = asked_;
    for (const auto& entry : logger_.entries) {
      EXPECT_EQ(entry.level, 7);
      o.logged.push_back(entry.message);
    }
    return o;
  }

  std::set<std::string> answering_;
  std::set<std::string> silent_;
  std::vector<std::string> asked_;
};

TEST_F(first_of, SticksToTheLastOidThatAnswered) {
  const std::string x = "system.sysContact.0", y = "system.sysName.0", z = "system.sysLocation.0";
  const std::string y_text = y + " (.1.3.6.1.2.1.1.5.0)";
  const std::string z_text = z + " (.1.3.6.1.2.1.1.6.0)";
  k::request req(recorder_, lib_, k::compat_settings());
  const auto id = req.first_of_and_stick({x, y, z});

  answering_ = {y, z};
  outcome o = run_once(req, id);
  EXPECT_EQ(o.asked, (std::vector<std::string>{x, y}));
  EXPECT_EQ(o.logged, std::vector<std::string>{"Last successful OID is now " + y_text + "."});
  EXPECT_EQ(o.answer, std::vector<std::string>{y + "=from " + y});

  o = run_once(req, id);
  EXPECT_EQ(o.asked, std::vector<std::string>{y});
  EXPECT_TRUE(o.logged.empty());
  EXPECT_EQ(o.answer, std::vector<std::string>{y + "=from " + y});

  answering_ = {z};
  o = run_once(req, id);
  EXPECT_EQ(o.asked, (std::vector<std::string>{y, x, z}));
  EXPECT_EQ(o.logged, (std::vector<std::string>{"Last successful OID " + y_text + " failed.",
                                                "Last successful OID is now " + z_text + "."}));
  EXPECT_EQ(o.answer, std::vector<std::string>{z + "=from " + z});

  // Nothing answers: the remembered OID is forgotten and the last attempt's errors returned.
  answering_ = {};
  o = run_once(req, id);
  EXPECT_EQ(o.asked, (std::vector<std::string>{z, x, y}));
  EXPECT_EQ(o.logged, std::vector<std::string>{"Last successful OID " + z_text + " failed."});
  EXPECT_EQ(o.answer, std::vector<std::string>{y + "=No Such Object"});

  answering_ = {z};
  o = run_once(req, id);
  EXPECT_EQ(o.asked, (std::vector<std::string>{x, y, z}));
  EXPECT_EQ(o.logged, std::vector<std::string>{"Last successful OID is now " + z_text + "."});
}

TEST_F(first_of, NoResponseCountsAsFailure) {
  const std::string x = "system.sysContact.0", y = "system.sysName.0";
  k::request req(recorder_, lib_, k::compat_settings());
  const auto id = req.first_of_and_stick({x, y});
  silent_ = {x, y};
  const outcome o = run_once(req, id);
  EXPECT_EQ(o.asked, (std::vector<std::string>{x, y}));
  EXPECT_TRUE(o.logged.empty());
  EXPECT_TRUE(o.answer.empty());
}

TEST_F(first_of, EmptyCandidateListAsksNothing) {
  k::request req(recorder_, lib_, k::compat_settings());
  const auto id = req.first_of_and_stick({});
  const outcome o = run_once(req, id);
  EXPECT_TRUE(o.asked.empty());
  EXPECT_TRUE(o.logged.empty());
  EXPECT_TRUE(o.answer.empty());
}

// ---- agents that stop advancing ---------------------------------------------------------

struct stuck_case {
  std::string name;
  std::vector<std::vector<std::string>> answers;  // cell names, replayed cyclically
  std::vector<std::string> expected;              // table rows; empty for a lookup
  std::size_t passes;
};

std::ostream& operator<<(std::ostream& out, const stuck_case& c) { return out << c.name; }

class stuck_agent : public execute, public testing::WithParamInterface<stuck_case> {
 protected:
  k::request over(const std::vector<std::vector<std::string>>& names) {
    std::vector<std::vector<r>> answers;
    for (const auto& pass : names) {
      std::vector<r> responses;
      for (const auto& name : pass) responses.push_back(cell(name, r::string_value{"lo"}));
      answers.push_back(responses);
    }
    return over_answers(answers);
  }
};

TEST_P(stuck_agent, EndsTheTable) {
  k::request req = over(GetParam().answers);
  const auto id = req.table("ifTable");
  std::vector<std::string> names;
  const k::result result = req.execute(logger_);
  for (const r& row : result.at(id)) names.push_back(row.name());
  EXPECT_EQ(names, GetParam().expected);
  EXPECT_EQ(runs_.size(), GetParam().passes);
}

TEST_P(stuck_agent, EndsTheColumnLookupWithoutMatch) {
  k::request req = over(GetParam().answers);
  req.table_row_from_column_value("ifTable", "Descr", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(req.execute(logger_), ex::index_not_found);
  EXPECT_EQ(runs_.size(), GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(
    Repeats, stuck_agent,
    testing::Values(
        stuck_case{"SameOidAgainAndAgain", {{"ifDescr.1"}}, {if_entry + "ifDescr.1"}, 2},
        stuck_case{"SamePassAgain",
                   {{"ifDescr.1", "ifDescr.2"}},
                   {if_entry + "ifDescr.1", if_entry + "ifDescr.2"},
                   2},
        stuck_case{"GoesBackwards",
                   {{"ifDescr.1", "ifDescr.3"}, {"ifDescr.2"}},
                   {if_entry + "ifDescr.1", if_entry + "ifDescr.3"},
                   2},
        stuck_case{"NeverLeavesTheStart", {{"ifTable"}}, {}, 1}),
    corvane::tallis::kestrel::helpers::by_name{});

// ---- failures ---------------------------------------------------------------------------

TEST_F(execute, ExceptionsLeaveExecuteUncaught) {
  k::request req(recorder_, lib_, k::compat_settings());
  req.single_get("sysName.0");
  req.table("ifTable");
  EXPECT_CALL(*recorder_, run(_, _))
      .WillOnce(testing::Return(std::vector<r>{cell("sysName.0", r::string_value{"a"})}))
      .WillOnce(testing::Return(std::vector<r>{cell("ifIndex.1", r::int32_value{1})}))
      .WillOnce(testing::Throw(ex::timeout()));
  EXPECT_THROW(req.execute(logger_), ex::timeout);
}

}  // namespace
