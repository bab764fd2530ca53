#include <gtest/gtest.h>

#include <kestrel/test_connections.hpp>
#include <memory>
#include <string>
#include <vector>

#include "helpers/map_library.hpp"
#include "helpers/recording_logger.hpp"

namespace k = corvane::tallis::kestrel;
using k::helpers::make_response;
using r = k::response;

namespace {

k::settings any_settings() { return k::settings("public", true, "127.0.0.1", {}, {}); }

// "label=text" per response: the name from its last label on, and "!" before a marker's text.
std::vector<std::string> describe(const std::vector<r>& responses) {
  std::vector<std::string> texts;
  for (const r& one : responses) {
    const std::string name = one.name();
    const std::size_t label = name.rfind('.', name.find_last_not_of("0123456789.")) + 1;
    texts.push_back(name.substr(label) + "=" + (one.is_error() ? "!" : "") + one.as_string());
  }
  return texts;
}

const std::string end_of_table = "=!End Of Table";
const std::string end_of_view =
    "=!No more variables left in this MIB View (It is past the end of the MIB tree)";

const k::library& names() {
  static const k::helpers::map_library lib = k::helpers::mib2_library();
  return lib;
}

k::oid_request get(const std::vector<std::string>& oids) {
  std::vector<k::oid> numeric;
  for (const auto& name : oids) numeric.push_back(names().oid_from_name(name));
  return k::oid_request(k::query_t::get, numeric);
}

k::oid_request walk(const std::string& start, int depth) {
  return k::oid_request(k::query_t::walk, names().oid_from_name(start)).max_depth(depth);
}

k::oid_request bulk(const std::string& start, int size, const std::string& subtree) {
  return k::oid_request(k::query_t::bulk, names().oid_from_name(start))
      .bulk_size(size)
      .only_children_of_oid(names().oid_from_name(subtree));
}

r value(const std::string& name, r::value_t v) {
  return make_response(names(), name, std::move(v));
}

std::vector<std::string> run(k::connection& conn, const std::vector<k::oid_request>& requests) {
  k::compat_settings compat;
  k::helpers::recording_logger logger;
  return describe(conn.run(requests, k::execute_context{names(), compat, logger}));
}

TEST(canned_connection, MockReplaysAnswersCyclicallyAndCountsAcrossItsConnections) {
  const std::vector<r> a = {value("sysName.0", r::string_value{"a"})};
  const std::vector<r> b = {value("sysDescr.0", r::string_value{"b1"}),
                            value("sysDescr.0", r::error_value{"End of MIB"})};
  auto counter = std::make_shared<unsigned>(0);
  const auto factory = k::test::get_mock_connection_factory({a, b}, counter);
  auto first = factory(any_settings());
  EXPECT_EQ(run(*first, {get({"sysName.0"})}), describe(a));
  EXPECT_EQ(run(*first, {walk("ifTable", 1)}), describe(b));
  EXPECT_EQ(run(*first, {}), describe(a));
  // Each connection starts from the first list.
  EXPECT_EQ(run(*factory(any_settings()), {}), describe(a));
  EXPECT_EQ(*counter, 4u);
  // Every canned connection is only equal to itself.
  for (const auto& any : {factory, k::test::get_mock_connection_walk_factory({})}) {
    auto one = any(any_settings());
    EXPECT_TRUE(one->equals(*one));
    EXPECT_FALSE(one->equals(*any(any_settings())));
  }
}

// A get answers in request order and skips what is missing; a walk from an existing OID starts
// after it and stops at its limit; a bulk leaving its subtree, or running out of data in it,
// ends with a marker on the first OID outside it or on the last one; a walk without a subtree
// ends without one; the end of the view is marked only when the whole run has found nothing.
TEST(canned_connection, WalkMockAnswersInOrderEachRequestWithinItsBounds) {
  const std::vector<r> data = {
      value("sysDescr.0", r::string_value{"Linux"}), value("sysName.0", r::string_value{"router1"}),
      value("ifIndex.1", r::int32_value{1}),         value("ifDescr.1", r::string_value{"lo"}),
      value("ifDescr.2", r::string_value{"eth0"}),   value("ifName.1", r::string_value{"lo"})};
  auto conn = k::test::get_mock_connection_walk_factory(data)(any_settings());
  EXPECT_EQ(run(*conn, {walk("sysDescr.0", 3), get({"ifDescr.2", "sysDescr.0", "ifDescr.9"}),
                        bulk("ifDescr.1", 5, "ifTable"), bulk("ifXTable", 10, "ifXTable"),
                        walk("ifDescr.2", 10), walk("ifName.1", 10)}),
            (std::vector<std::string>{"sysName.0=router1", "ifIndex.1=1", "ifDescr.1=lo",
                                      "ifDescr.2=eth0", "sysDescr.0=Linux", "ifDescr.2=eth0",
                                      "ifName.1" + end_of_table, "ifName.1=lo",
                                      "ifName.1" + end_of_table, "ifName.1=lo"}));
  EXPECT_EQ(run(*conn, {walk("ifHCInOctets.1", 10)}),
            std::vector<std::string>{"ifName.1" + end_of_view});
  EXPECT_EQ(run(*conn, {k::oid_request(k::query_t::walk, std::vector<k::oid>{})}),
            std::vector<std::string>{});
}

}  // namespace
