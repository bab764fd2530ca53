#include <gtest/gtest.h>

#include <kestrel/test_connections.hpp>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/case_names.hpp"
#include "helpers/map_library.hpp"
#include "helpers/recording_logger.hpp"

namespace k = corvane::tallis::kestrel;
using k::helpers::make_error;
using k::helpers::make_response;
using r = k::response;

namespace {

const std::string end_of_table = "End Of Table";
const std::string end_of_view =
    "No more variables left in this MIB View (It is past the end of the MIB tree)";

k::settings any_settings() { return k::settings("public", true, "127.0.0.1", {}, {}); }

// "name=text" per response, which shows both what was returned and which OID a marker carries.
std::vector<std::string> describe(const std::vector<r>& responses) {
  std::vector<std::string> texts;
  for (const r& one : responses) texts.push_back(one.name() + "=" + one.as_string());
  return texts;
}

class canned_connection : public testing::Test {
 protected:
  k::oid oid_of(const std::string& name) const { return lib_.oid_from_name(name); }

  std::vector<r> run(k::connection& conn, const std::vector<k::oid_request>& requests) {
    const k::execute_context context{lib_, compat_, logger_};
    return conn.run(requests, context);
  }

  k::helpers::map_library lib_ = k::helpers::mib2_library();
  k::compat_settings compat_;
  k::helpers::recording_logger logger_;
};

// ---- connection_mock --------------------------------------------------------------------

TEST_F(canned_connection, MockReplaysAnswersCyclicallyAndCountsAcrossItsConnections) {
  const std::vector<r> a = {make_response(lib_, "sysName.0", r::string_value{"a"})};
  const std::vector<r> b = {make_response(lib_, "sysDescr.0", r::string_value{"b1"}),
                            make_error(lib_, "sysDescr.0", "End of MIB")};
  auto counter = std::make_shared<unsigned>(0);
  const auto factory = k::test::get_mock_connection_factory({a, b}, counter);
  auto first = factory(any_settings());
  auto second = factory(any_settings());

  const std::vector<k::oid_request> get = {k::oid_request(k::query_t::get, oid_of("sysName.0"))};
  const std::vector<k::oid_request> walk = {k::oid_request(k::query_t::walk, oid_of("ifTable"))};
  EXPECT_EQ(describe(run(*first, get)), describe(a));
  EXPECT_EQ(describe(run(*first, walk)), describe(b));
  EXPECT_EQ(describe(run(*first, {})), describe(a));
  // Each connection starts from the first list.
  EXPECT_EQ(describe(run(*second, walk)), describe(a));
  EXPECT_EQ(describe(run(*second, get)), describe(b));
  EXPECT_EQ(*counter, 5u);
  EXPECT_TRUE(logger_.entries.empty());
}

TEST_F(canned_connection, MockCountsNothingWithoutACounter) {
  const auto factory = k::test::get_mock_connection_factory({{}}, nullptr);
  auto conn = factory(any_settings());
  EXPECT_TRUE(run(*conn, {}).empty());
  EXPECT_TRUE(run(*conn, {}).empty());
}

TEST_F(canned_connection, MockRefusesAnEmptyAnswerList) {
  EXPECT_THROW(k::test::get_mock_connection_factory({}, std::make_shared<unsigned>(0)),
               std::invalid_argument);
}

TEST_F(canned_connection, EveryCannedConnectionIsOnlyEqualToItself) {
  const std::vector<std::function<std::unique_ptr<k::connection>(k::settings)>> factories = {
      k::test::get_mock_connection_factory({{}}, nullptr),
      k::test::get_mock_connection_walk_factory({})};
  for (const auto& factory : factories) {
    auto one = factory(any_settings());
    auto other = factory(any_settings());
    EXPECT_TRUE(one->equals(*one));
    EXPECT_FALSE(one->equals(*other));
    EXPECT_FALSE(other->equals(*one));
    EXPECT_EQ(one->get_hash(), one->get_hash());
    EXPECT_NE(one->get_hash(), other->get_hash());
  }
}

// ---- connection_walk_mock ---------------------------------------------------------------

struct walk_case {
  std::string name;
  std::vector<k::oid_request> requests;
  std::vector<std::string> expected;
};

std::ostream& operator<<(std::ostream& out, const walk_case& c) { return out << c.name; }

// The data every case walks over, in walk order.
std::vector<r> walk_data(const k::library& lib) {
  return {make_response(lib, "sysDescr.0", r::string_value{"Linux"}),
          make_response(lib, "sysName.0", r::string_value{"router1"}),
          make_response(lib, "ifIndex.1", r::int32_value{1}),
          make_response(lib, "ifIndex.2", r::int32_value{2}),
          make_response(lib, "ifDescr.1", r::string_value{"lo"}),
          make_response(lib, "ifDescr.2", r::string_value{"eth0"}),
          make_response(lib, "ifName.1", r::string_value{"lo"})};
}

const std::string sys = "system.";
const std::string if_entry = "interfaces.ifTable.ifEntry.";
const std::string if_name_1 = "ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifName.1";

std::vector<walk_case> walk_cases() {
  static const k::helpers::map_library lib = k::helpers::mib2_library();
  auto o = [](const std::string& name) { return lib.oid_from_name(name); };
  auto get = [&](std::vector<std::string> names) {
    std::vector<k::oid> oids;
    for (const auto& name : names) oids.push_back(o(name));
    return k::oid_request(k::query_t::get, oids);
  };
  auto walk = [&](const std::string& start, int depth) {
    return k::oid_request(k::query_t::walk, o(start)).max_depth(depth);
  };
  auto bulk = [&](const std::string& start, int size, const std::string& subtree) {
    return k::oid_request(k::query_t::bulk, o(start))
        .bulk_size(size)
        .only_children_of_oid(o(subtree));
  };
  return {
      {"GetReturnsTheEntriesOfEachOidInRequestOrder",
       {get({"ifDescr.2", "sysDescr.0", "ifDescr.9"})},
       {if_entry + "ifDescr.2=eth0", sys + "sysDescr.0=Linux"}},
      {"GetOfAnUnknownOidGivesNothing", {get({"ifDescr.9"})}, {}},
      {"WalkFromAnExistingOidStartsAfterIt",
       {walk("sysName.0", 2)},
       {if_entry + "ifIndex.1=1", if_entry + "ifIndex.2=2"}},
      {"WalkFromAPrefixStartsAtTheFirstEntryBelowIt",
       {walk("ifTable", 1)},
       {if_entry + "ifIndex.1=1"}},
      {"WalkStopsAtItsLimitWithoutMarker",
       {walk("sysDescr.0", 3)},
       {sys + "sysName.0=router1", if_entry + "ifIndex.1=1", if_entry + "ifIndex.2=2"}},
      {"BulkLeavingItsSubtreeEndsWithMarkerOnTheFirstOidOutside",
       {bulk("ifTable", 10, "ifTable")},
       {if_entry + "ifIndex.1=1", if_entry + "ifIndex.2=2", if_entry + "ifDescr.1=lo",
        if_entry + "ifDescr.2=eth0", if_name_1 + "=" + end_of_table}},
      {"BulkFromTheLastEntryOfItsSubtreeGivesTheMarkerAlone",
       {bulk("ifDescr.2", 10, "ifTable")},
       {if_name_1 + "=" + end_of_table}},
      {"BulkRunningOutOfDataInsideItsSubtreeEndsWithMarkerOnTheLastOid",
       {bulk("ifXTable", 10, "ifXTable")},
       {if_name_1 + "=lo", if_name_1 + "=" + end_of_table}},
      {"WalkRunningOutOfDataWithoutSubtreeHasNoMarker",
       {walk("ifDescr.2", 10)},
       {if_name_1 + "=lo"}},
      {"WalkFromTheLastEntryGivesEndOfViewOnTheLastOid",
       {walk(if_name_1, 10)},
       {if_name_1 + "=" + end_of_view}},
      {"WalkFromPastAllDataGivesEndOfViewOnTheLastOid",
       {walk("ifHCInOctets.1", 10)},
       {if_name_1 + "=" + end_of_view}},
      {"EndOfViewOnlyWhenTheWholeRunHasNothingYet",
       {get({"sysName.0"}), walk(if_name_1, 10)},
       {sys + "sysName.0=router1"}},
      {"RequestsAreConcatenatedInOrder",
       {walk("sysDescr.0", 1), get({"ifDescr.1"}), bulk("ifDescr.1", 5, "ifTable")},
       {sys + "sysName.0=router1", if_entry + "ifDescr.1=lo", if_entry + "ifDescr.2=eth0",
        if_name_1 + "=" + end_of_table}},
      {"WalkOrBulkWithoutOidGivesNothing",
       {k::oid_request(k::query_t::walk, std::vector<k::oid>{}),
        k::oid_request(k::query_t::bulk, std::vector<k::oid>{})},
       {}},
      {"UnknownQueryTypeGivesNothing",
       {k::oid_request(static_cast<k::query_t>(3), o("sysDescr.0"))},
       {}},
  };
}

class walk_mock : public canned_connection, public testing::WithParamInterface<walk_case> {};

TEST_P(walk_mock, Answers) {
  auto conn = k::test::get_mock_connection_walk_factory(walk_data(lib_))(any_settings());
  EXPECT_EQ(describe(run(*conn, GetParam().requests)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, walk_mock, testing::ValuesIn(walk_cases()),
                         corvane::tallis::kestrel::helpers::by_name{});

TEST_F(canned_connection, WalkMockComparesNamesAsPlainText) {
  // "ifIndex.1" is a text prefix of "ifIndex.10", so both count as inside that subtree.
  const std::vector<r> data = {make_response(lib_, "ifIndex.1", r::int32_value{1}),
                               make_response(lib_, "ifIndex.10", r::int32_value{10}),
                               make_response(lib_, "ifIndex.2", r::int32_value{2})};
  auto conn = k::test::get_mock_connection_walk_factory(data)(any_settings());
  const auto answer = run(*conn, {k::oid_request(k::query_t::bulk, oid_of("ifIndex.1"))
                                      .only_children_of_oid(oid_of("ifIndex.1"))});
  EXPECT_EQ(describe(answer), (std::vector<std::string>{if_entry + "ifIndex.10=10",
                                                        if_entry + "ifIndex.2=" + end_of_table}));
}

TEST_F(canned_connection, WalkMockWithoutDataGivesEndOfViewOnTheStartOid) {
  auto conn = k::test::get_mock_connection_walk_factory({})(any_settings());
  const auto answer = run(*conn, {k::oid_request(k::query_t::walk, oid_of("sysDescr"))});
  EXPECT_EQ(describe(answer), std::vector<std::string>{sys + "sysDescr=" + end_of_view});
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_TRUE(answer[0].is_error());
}

}  // namespace
