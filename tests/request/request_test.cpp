#include <gmock/gmock.h>

#include <algorithm>
#include <iterator>
#include <kestrel/exceptions.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/request.hpp>
#include <kestrel/settings.hpp>
#include <kestrel/test_connections.hpp>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/case_names.hpp"
#include "helpers/map_library.hpp"
#include "helpers/mock_connection.hpp"
#include "helpers/recording_logger.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;
using q = k::oid_request;
using r = k::response;
using k::query_t;
using testing::_;
using names = std::vector<std::string>;
using runs = std::vector<std::vector<q>>;
using namespace std::chrono_literals;

namespace {

const std::string if_entry = "interfaces.ifTable.ifEntry.";

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

// Ids count from zero, and each query sends its own request when it runs.
TEST_F(execute, AddsCountFromZeroAndRunTheirRequests) {
  k::request req = over(nullptr);
  EXPECT_EQ(req.single_get("sysName.0"), 0u);
  EXPECT_EQ(req.walk("sysDescr", 5), 1u);
  req.bulk("ifTable", k::request::DEFAULT_BULK_SIZE);
  req.multi_get({"sysName.0", "sysDescr.0"});
  req.table_row_from_index("ifTable", "3", {"Descr", "Type"}, std::nullopt);  // the table's stem
  req.execute(logger_);
  const k::oid name = oid_of("sysName.0"), descr = oid_of("sysDescr.0");
  EXPECT_EQ(runs_, (runs{{q(query_t::get, name)},
                         {q(query_t::walk, oid_of("sysDescr")).max_depth(5)},
                         {q(query_t::bulk, oid_of("ifTable")).bulk_size(10)},
                         {q(query_t::get, {name, descr})},
                         {q(query_t::get, {oid_of("ifDescr.3"), oid_of("ifType.3")})}}));
  // Asked one by one, a multi-get sends one request per name in its run.
  k::request one_by_one =
      over(nullptr, k::compat_settings(0ms, k::retry_t::retry, k::counter_mode_t::default_mode,
                                       k::get_mode_t::one_by_one));
  one_by_one.multi_get({"sysName.0", "sysDescr.0"});
  one_by_one.execute(logger_);
  EXPECT_EQ(runs_, (runs{{q(query_t::get, name), q(query_t::get, descr)}}));
}

struct script_case {
  std::string name;
  std::vector<names> passes;  // the cells of each pass; "!text" is an error
  names expected;             // the table's cells after the entry
  names logged;               // what executing the table logs
};

std::ostream& operator<<(std::ostream& out, const script_case& c) { return out << c.name; }

script_case script(std::string name, std::vector<names> passes, names expected, names logged = {}) {
  return {std::move(name), std::move(passes), std::move(expected), std::move(logged)};
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

// Only the exact "End Of Table" marker is removed; every other error ends the table's vector, and
// an answer that does not go forward ends the table. A column lookup without a match ends there
// too, and logs only where the agent stopped advancing.
TEST_P(table_script, EndsTheTable) {
  k::request req = scripted();
  const auto id = req.table("ifTable");
  names cells;
  for (const r& row : req.execute(logger_).at(id))
    cells.push_back(row ? row.name().substr(if_entry.size()) : "!" + row.as_string());
  EXPECT_EQ(cells, GetParam().expected);
  EXPECT_EQ(runs_.size(), GetParam().passes.size());
  EXPECT_EQ(logger_.messages(), GetParam().logged);

  logger_.entries.clear();
  k::request lookup = scripted();
  lookup.table_row_from_column_value("ifTable", "Index", "eth0", {"Type"}, std::nullopt);
  EXPECT_THROW(lookup.execute(logger_), ex::index_not_found);
  EXPECT_EQ(runs_.size(), GetParam().passes.size());
  EXPECT_EQ(logger_.messages().size(), GetParam().logged.size());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, table_script,
    testing::Values(script("MarkerComparedExactly", {{"ifIndex.1", "!End of table"}},
                           {"ifIndex.1", "!End of table"}),
                    script("GoesBackwards",
                           {{"ifDescr.1", "ifDescr.3", "ifDescr.2"}, {"ifDescr.2"}},
                           {"ifDescr.1", "ifDescr.3"},
                           {"  OID not increasing: the agent sent nothing after " + if_entry +
                            "ifDescr.3 (.1.3.6.1.2.1.2.2.1.2.3)"})),
    k::helpers::by_name{});

// The first cell whose text is exactly the value names the row; the lookup pages on after the
// last cell so far, and the row's columns come in one get. Column names take the prefix given,
// here an empty one.
TEST_F(execute, RowByColumnValueNamesTheRowOfTheFirstMatch) {
  k::request empty = over_answers({{}});  // an empty pass is no result
  empty.table_row_from_column_value("ifTable", "Descr", "eth1", {"Type"}, std::nullopt);
  EXPECT_THROW(empty.execute(logger_), ex::no_result_for_oid);

  const std::vector<r> row = {cell("ifDescr.7", r::string_value{"eth1"}),
                              cell("ifType.7", r::int32_value{6})};
  k::request req = over_answers({{cell("ifDescr.1"), cell("ifDescr.2", r::string_value{"eth0"})},
                                 {row[0], cell("ifDescr.9", r::string_value{"eth1"})},
                                 row});
  const auto id = req.table_row_from_column_value("ifTable", "ifDescr", "eth1",
                                                  {"ifDescr", "ifType"}, std::string());
  EXPECT_EQ(describe(req.execute(logger_).at(id)), describe(row));
  const k::oid column = oid_of("ifDescr");
  EXPECT_EQ(
      runs_,
      (runs{{q(query_t::bulk, column).bulk_size(50).only_children_of_oid(column)},
            {q(query_t::bulk, oid_of("ifDescr.2")).bulk_size(50).only_children_of_oid(column)},
            {q(query_t::get, {oid_of("ifDescr.7"), oid_of("ifType.7")})}}));
}

// A first-of query sticks to the last OID that answered, and logs (at level 7) when that changes.
TEST_F(execute, FirstOfSticksToTheLastOidThatAnswered) {
  const std::string x = "system.sysContact.0", y = "system.sysName.0", z = "system.sysLocation.0";
  const r error = k::helpers::make_error(*lib_, x, "No Such Object"), found = cell(z);
  // The agent's answers to the GETs in turn: z answers first, then nothing, then only errors.
  k::request req =
      over_answers({{error}, {error}, {found}, {found}, {}, {}, {}, {error}, {error}, {error}});
  const auto id = req.first_of_and_stick({x, y, z});
  // Executes the query; checks what was asked, logged and answered.
  const auto expect_run = [&](const names& asked, const names& logged,
                              const std::vector<r>& answer) {
    runs_.clear();
    logger_.entries.clear();
    EXPECT_EQ(describe(req.execute(logger_).at(id)), describe(answer));
    names asked_now;
    for (const auto& run : runs_) asked_now.push_back(run.at(0).oids().at(0).name());
    EXPECT_EQ(asked_now, asked);
    EXPECT_EQ(logger_.messages(), logged);
    EXPECT_THAT(logger_.entries,
                testing::Each(testing::Field(&k::helpers::recording_logger::entry::level, 7)));
  };
  expect_run({x, y, z}, {"Last successful OID is now " + z + " (.1.3.6.1.2.1.1.6.0)."}, {found});
  expect_run({z}, {}, {found});
  // No response counts as a failure, and the remembered OID is not asked twice; when nothing
  // answers, it is forgotten and the last attempt's answer returned.
  expect_run({z, x, y}, {"Last successful OID " + z + " (.1.3.6.1.2.1.1.6.0) failed."}, {});
  expect_run({x, y, z}, {}, {error});
}

// A result refuses an empty id and an id it holds no answer for, as a temporary too; moved,
// it hands its answers on.
TEST(Result, RefusesEmptyAndMissingIds) {
  k::result answer(k::result::map_type{{0, {}}});
  EXPECT_THROW(answer.at(std::nullopt), ex::invalid_handle);
  EXPECT_THROW(answer.at(7), ex::no_result_for_oid);
  EXPECT_THROW((void)k::result(answer).at(std::nullopt), ex::invalid_handle);
  EXPECT_THROW((void)k::result(answer).at(5), ex::no_result_for_oid);
  const k::result moved(std::move(answer));
  EXPECT_EQ(moved.size(), 1u);
}

// Every field takes part in equality and in the hash; reference values pin the hash down.
TEST(SettingsHash, ReproducesTheReferenceValuesAndTheFieldsCount) {
  EXPECT_EQ(k::settings("", false, "abc", std::nullopt, std::nullopt).get_hash(), 0x4d6781ddu);
  EXPECT_EQ(k::settings("", false, "abc", 161, std::nullopt).get_hash(), 0x196388fdu);
  EXPECT_EQ(k::settings("", true, "abc", std::nullopt, std::nullopt).get_hash(), 0x96b43756u);
  // Settings that differ only in their community, or only in their time-out.
  const k::settings base("public", true, "h", 161, 1s), other("private", true, "h", 161, 1s);
  EXPECT_FALSE(base == other);
  EXPECT_NE(base.get_hash(), other.get_hash());
  EXPECT_NE(base.get_hash(), k::settings(base).timeout(2s).get_hash());
  k::settings copy = base;
  EXPECT_FALSE(copy.timeout(std::nullopt) == base);
  EXPECT_TRUE((copy = base) == base);  // copy and move assignment replace the whole value
  EXPECT_TRUE((copy = k::settings(other)) == other);
}

// Short secrets live inside the value itself: once it goes, its storage no longer holds them.
TEST(Settings, SecretsAreWipedWhenTheValueGoes) {
  alignas(k::settings) unsigned char storage[2 * sizeof(k::settings)];
  // Whether the storage holds a secret past its first byte, which emptying the text alone clears.
  const auto holds = [&storage](std::string_view secret) {
    secret.remove_prefix(1);
    return std::search(std::begin(storage), std::end(storage), secret.begin(), secret.end()) !=
           std::end(storage);
  };
  auto* v2c = new (storage) k::settings("c0mmunity", true, "h", 161, std::nullopt);
  auto* v3 = new (storage + sizeof(k::settings))
      k::settings("user", "pa55word", k::auth_t::sha1, "k3yk3y", k::priv_t::aes, "", "h", 161, 1s);
  ASSERT_TRUE(holds("c0mmunity") && holds("pa55word") && holds("k3yk3y"));
  v2c->~settings();
  v3->~settings();
  EXPECT_FALSE(holds("c0mmunity") || holds("pa55word") || holds("k3yk3y"));
}

TEST(Oid, OidsOrderByNumbersThenNameAndRequestsCompareEveryField) {
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3}, "b"));
  EXPECT_TRUE(k::oid({1, 3, 6}, "a") < k::oid({1, 3, 6}, "b"));
  EXPECT_FALSE(k::oid({1, 3, 6}, "a") < k::oid({1, 3, 6}, "a"));
  EXPECT_TRUE(k::oid({1, 2}, "z") < k::oid({1, 10}, "a"));

  // Requests: setters clamp to at least one; equality takes every field.
  const k::oid o({1, 3}, "a");
  EXPECT_EQ(q(query_t::walk, o).max_depth(0).max_depth(), 1);
  EXPECT_EQ(q(query_t::walk, o).bulk_size(0).bulk_size(), 1);
  EXPECT_FALSE(q(query_t::get, o) == q(query_t::walk, o));
}

}  // namespace
