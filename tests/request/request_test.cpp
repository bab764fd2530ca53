#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <kestrel/exceptions.hpp>
#include <kestrel/request.hpp>
#include <kestrel/test_connections.hpp>
#include <memory>
#include <string>
#include <vector>

#include "helpers/case_names.hpp"
#include "helpers/map_library.hpp"
#include "helpers/mock_connection.hpp"
#include "helpers/recording_logger.hpp"

namespace k = corvane::tallis::kestrel;
namespace ex = corvane::tallis::kestrel::exceptions;
using k::query_t;
using k::helpers::make_response;
using q = k::oid_request;
using r = k::response;
using testing::_;

namespace {

const k::helpers::map_library mib2 = k::helpers::mib2_library();
k::oid oid_of(const std::string& name) { return mib2.oid_from_name(name); }

// A request over a gmock connection that records the requests of every run call.
class request_building : public testing::Test {
 protected:
  request_building() {
    ON_CALL(*conn_, run(_, _))
        .WillByDefault([this](const std::vector<q>& requests, const k::execute_context&) {
          runs_.push_back(requests);
          // Every table pass ends at once.
          std::vector<r> responses;
          if (!requests.empty() && !requests[0].oids().empty()) {
            responses.emplace_back(requests[0].oids()[0], r::error_value{"End Of Table"});
          }
          return responses;
        });
  }

  std::shared_ptr<k::helpers::map_library> lib_ = std::make_shared<k::helpers::map_library>(mib2);
  std::shared_ptr<testing::NiceMock<k::helpers::mock_connection>> conn_ =
      std::make_shared<testing::NiceMock<k::helpers::mock_connection>>();
  k::request request_{conn_, lib_, k::compat_settings()};
  k::helpers::recording_logger logger_;
  std::vector<std::vector<q>> runs_;
};

TEST_F(request_building, IdsCountFromZeroAndFailedAddsConsumeNone) {
  EXPECT_EQ(request_.single_get("sysName.0"), 0u);
  EXPECT_THROW(request_.single_get("noSuchObject.0"), ex::missing_mib_for_oid);
  EXPECT_EQ(request_.walk("sysDescr", 5), 1u);
  // One bad name among several adds nothing.
  EXPECT_THROW(request_.multi_get({"sysName.0", "sysBogus.0", "sysDescr.0"}),
               ex::missing_mib_for_oid);
  EXPECT_THROW(request_.first_of_and_stick({"sysName.0", "sysBogus.0"}), ex::missing_mib_for_oid);
  EXPECT_THROW(request_.first_of_and_stick(std::vector<std::string>{"sysName.0", "sysBogus.0"}),
               ex::missing_mib_for_oid);
  EXPECT_THROW(request_.table("noTable"), ex::missing_mib_for_oid);
  EXPECT_THROW(request_.table_row_from_index("noTable", "1", {"Descr"}, std::nullopt),
               ex::missing_mib_for_oid);
  EXPECT_EQ(request_.bulk("ifTable", 5), 2u);
  EXPECT_EQ(request_.table("ifTable"), 3u);
  EXPECT_EQ(request_.execute(logger_).size(), 4u);
  EXPECT_EQ(runs_.size(), 4u);

  // Empty name lists add queries without resolving anything.
  const std::size_t before = lib_->lookups;
  EXPECT_EQ(request_.multi_get({}), 4u);
  EXPECT_EQ(request_.first_of_and_stick({}), 5u);
  EXPECT_EQ(lib_->lookups, before);
}

struct stored_case {
  std::string name;
  std::function<void(k::request&)> add;
  std::vector<q> expected;
};

std::ostream& operator<<(std::ostream& out, const stored_case& c) { return out << c.name; }

class stored_query : public request_building, public testing::WithParamInterface<stored_case> {};

// What each add operation sends to the connection when it runs.
TEST_P(stored_query, RunsTheResolvedRequest) {
  GetParam().add(request_);
  request_.execute(logger_);
  EXPECT_EQ(runs_, std::vector<std::vector<q>>{GetParam().expected});
}

const std::string if_entry = "interfaces.ifTable.ifEntry.";

INSTANTIATE_TEST_SUITE_P(
    Operations, stored_query,
    testing::Values(
        stored_case{"SingleGet",
                    [](k::request& req) { req.single_get("sysName.0"); },
                    {q(query_t::get, oid_of("sysName.0"))}},
        stored_case{"WalkDepthZeroBecomesOne",
                    [](k::request& req) { req.walk("sysDescr", 0); },
                    {q(query_t::walk, oid_of("sysDescr")).max_depth(1)}},
        stored_case{"BulkNegativeSizeBecomesOne",
                    [](k::request& req) { req.bulk("ifTable", -3); },
                    {q(query_t::bulk, oid_of("ifTable")).bulk_size(1)}},
        stored_case{"BulkWithDefaultSize",
                    [](k::request& req) { req.bulk("ifTable", k::request::DEFAULT_BULK_SIZE); },
                    {q(query_t::bulk, oid_of("ifTable")).bulk_size(10)}},
        stored_case{"MultiGetInNameOrder",
                    [](k::request& req) {
                      req.multi_get({"sysName.0", "sysDescr.0"});
                    },
                    {q(query_t::get, {oid_of("sysName.0"), oid_of("sysDescr.0")})}},
        stored_case{
            "RowByIndexWithDefaultPrefix",
            [](k::request& req) {
              req.table_row_from_index("ifTable", "3", {"Descr", "Type"}, std::nullopt);
            },
            {q(query_t::get, {oid_of(if_entry + "ifDescr.3"), oid_of(if_entry + "ifType.3")})}},
        stored_case{"RowByIndexWithEmptyPrefixTakesFullColumnNames",
                    [](k::request& req) {
                      req.table_row_from_index("ifTable", "3", {"ifDescr"}, std::string());
                    },
                    {q(query_t::get, oid_of(if_entry + "ifDescr.3"))}},
        stored_case{"RowByIndexWithOwnPrefix",
                    [](k::request& req) {
                      req.table_row_from_index("ifTable", "2", {"Descr"}, std::string("if"));
                    },
                    {q(query_t::get, oid_of(if_entry + "ifDescr.2"))}}),
    k::helpers::by_name{});

TEST_F(request_building, RowColumnsAreResolvedOnlyWhenTheQueryRuns) {
  EXPECT_EQ(request_.table_row_from_index("ifTable", "3", {"Bogus"}, std::nullopt), 0u);
  EXPECT_THROW(request_.execute(logger_), ex::missing_mib_for_oid);
  EXPECT_TRUE(runs_.empty());
}

TEST(result, ReadsByQueryIdAndRefusesMissingOnes) {
  const r name = make_response(mib2, "sysName.0", r::string_value{"router1"});
  const k::result answer({{0, {name}}, {1, {}}, {2, {name, name}}});
  EXPECT_EQ(answer.size(), 3u);
  EXPECT_FALSE(answer.empty());
  EXPECT_TRUE(k::result({}).empty());
  EXPECT_EQ(answer.at(2).size(), 2u);
  EXPECT_TRUE(answer.at(std::optional<unsigned>(1)).empty());
  EXPECT_THROW(answer.at(std::nullopt), ex::invalid_handle);
  EXPECT_THROW(answer.at(7), ex::no_result_for_oid);
  std::vector<unsigned> ids;
  for (const auto& [id, responses] : answer) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<unsigned>{0, 1, 2}));
}

// The line a new user writes binds a reference to the result of a temporary: it must hold the
// responses themselves (AddressSanitizer reports a read of freed memory otherwise).
TEST(result, AtOnATemporaryResultKeepsTheResponses) {
  const std::string long_text(100, 'x');  // beyond any small-string buffer
  const auto factory = k::test::get_mock_connection_walk_factory(
      {make_response(mib2, "sysDescr.0", r::string_value{long_text})});
  k::request req(factory(k::settings("public", true, "h", std::nullopt, std::nullopt)),
                 std::make_shared<k::helpers::map_library>(mib2), k::compat_settings());
  const auto id = req.single_get("sysDescr.0");
  k::helpers::recording_logger logger;
  const auto& cells = req.execute(logger).at(id);
  ASSERT_EQ(cells.size(), 1u);
  EXPECT_EQ(cells.front().as_string(), long_text);
  EXPECT_THROW((void)req.execute(logger).at(std::nullopt), ex::invalid_handle);
  EXPECT_THROW((void)req.execute(logger).at(5), ex::no_result_for_oid);
}

}  // namespace
