#include "netsnmp/connection_netsnmp.hpp"

#include <thread>
#include <tuple>
#include <utility>

#include <kestrel/test_connections.hpp>

#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using namespace std::chrono_literals;

class connection_test : public netsnmp_test {
 protected:
  static context_netsnmp& context_of(const connection& c) {
    return dynamic_cast<const connection_netsnmp&>(c).session().context();
  }
};

TEST_F(connection_test, EqualSettingsShareOneEngineDifferentSettingsGetTheirOwnAlsoFromAFactory) {
  const settings s = community_settings(version_t::snmp_v2c, 1161);
  const settings other = community_settings(version_t::snmp_v2c, 1162);
  const auto a = create_connection(*pool_, s);
  const auto b = create_connection(*pool_, s);
  EXPECT_EQ(&context_of(*a), &context_of(*b));
  EXPECT_EQ(engine_copies(base_), 1u);
  EXPECT_TRUE(a->equals(*b));
  EXPECT_EQ(a->get_hash(), b->get_hash());

  const auto c = create_connection(*pool_, other);
  EXPECT_NE(&context_of(*a), &context_of(*c));
  EXPECT_EQ(engine_copies(base_), 2u);
  EXPECT_FALSE(a->equals(*c));

  EXPECT_FALSE(a->equals(*test::get_mock_connection_walk_factory({})(s)));

  // A factory keeps its pool, and with it the engines.
  const auto factory = get_connection_factory(pool_);
  const std::weak_ptr<pool> watched = pool_;
  pool_.reset();
  EXPECT_FALSE(watched.expired());
  EXPECT_EQ(&context_of(*factory(other)), &context_of(*c));
}

// The compatibility delay goes before every request but the first and between the steps of a
// walk: one GET does not wait (for a minute), three GETs and a walk of three steps wait twice.
TEST_F(connection_test, TheDelayGoesBetweenRequestsAndWalkSteps) {
  const auto c =
      create_connection(*pool_, community_settings(version_t::snmp_v2c, shared_agent().port()));
  const oid_request get(query_t::get, names_->oid_from_name("SNMPv2-MIB::sysName.0"));
  oid_request walk(query_t::walk, names_->oid_from_name("SNMPv2-MIB::system"));
  walk.max_depth(3);
  for (const auto& [requests, delay, answers] :
       {std::tuple{std::vector<oid_request>{get}, 60000ms, 1u},
        std::tuple{std::vector<oid_request>{get, get, get}, 150ms, 3u},
        std::tuple{std::vector<oid_request>{walk}, 150ms, 3u}}) {
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(c->run(requests, execute_context{*names_, compat_settings(delay), logger_}).size(),
              answers);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(answers == 1 ? took < 30s : took >= 2 * delay);
  }
}

// Two threads send to one silent agent: connection A (three attempts of one second) first,
// connection B (one attempt) as soon as A's first datagram has arrived. The order in which
// their datagrams arrive shows whether B had to wait for A's whole exchange.
class concurrency_test : public connection_test {
 protected:
  std::vector<bool> arrival_order(const settings& a_settings, const settings& b_settings) {
    const auto a = create_connection(*pool_, a_settings);
    const auto b = create_connection(*pool_, b_settings);
    const oid_request get(query_t::get, names_->oid_from_name("SNMPv2-MIB::sysContact.0"));
    const auto attempt = [&get, this](connection* c, retry_t retry) {
      recording_logger logger;
      EXPECT_THROW(c->run({get}, execute_context{*names_, compat_settings(0ms, retry), logger}),
                   exceptions::timeout);
    };
    std::thread first(attempt, a.get(), retry_t::retry);
    const std::optional<std::uint16_t> a_port = silent_.receive(10s);
    std::thread second(attempt, b.get(), retry_t::no_retry);
    std::vector<bool> from_a;  // true for a datagram of A
    if (a_port) {
      from_a.push_back(true);
      for (int i = 0; i < 3; ++i) {
        if (const auto port = silent_.receive(10s)) from_a.push_back(*port == *a_port);
      }
    }
    first.join();
    second.join();
    EXPECT_EQ(silent_.drain(), 0u);
    return from_a;
  }

  silent_agent silent_;
};

TEST_F(concurrency_test, ConnectionsOnDifferentEnginesExchangeInParallelAndOnOneEngineTakeTurns) {
  const auto a = community_settings(version_t::snmp_v2c, silent_.port(), 1s, "127.0.0.1", "a");
  const auto b = community_settings(version_t::snmp_v2c, silent_.port(), 1s, "127.0.0.1", "b");
  ASSERT_NE(a.get_hash(), b.get_hash());
  EXPECT_EQ(arrival_order(a, b), (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(arrival_order(a, a), (std::vector<bool>{true, true, true, false}));
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
