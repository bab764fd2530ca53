#include "netsnmp/connection_netsnmp.hpp"

#include <thread>
#include <tuple>
#include <utility>

#include <gmock/gmock.h>
#include <kestrel/test_connections.hpp>

#include "helpers/error_text.hpp"
#include "netsnmp/netsnmp_fixture.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

using namespace std::chrono_literals;

// Opening a session only sets up a socket: nothing is sent, so no agent is needed here.
class session_test : public netsnmp_test {
 protected:
  std::unique_ptr<session_netsnmp> open(const settings& s) {
    auto context = dynamic_cast<pool_netsnmp&>(*pool_).get_context(s.get_hash());
    return std::make_unique<session_netsnmp>(context, s);
  }

  static settings v3(const std::string& password, auth_t auth, const std::string& key, priv_t priv,
                     const std::string& context = "") {
    return settings("user-name", password, auth, key, priv, context, "127.0.0.1", 1161,
                    std::nullopt);
  }
};

// Time-outs beyond the engine's microseconds are capped, not wrapped; none is the engine's own.
TEST_F(session_test, CommunitySessionsCarryThePeerAndACappedTimeOut) {
  const std::tuple<settings, const char*, std::optional<long>> rows[] = {
      {settings("private", true, "127.0.0.1", std::nullopt, std::nullopt), "127.0.0.1",
       std::nullopt},
      {settings("", true, "127.0.0.1", 1161, 2148s), "127.0.0.1:1161", 2147483647},
  };
  for (const auto& [s, peer, timeout] : rows) {
    const auto session = open(s);
    netsnmp_session defaults{};
    session->context().snmp_sess_init(&defaults);
    EXPECT_EQ(
        std::tuple(std::string(session->description().peername), session->description().timeout),
        std::tuple(std::string(peer), timeout.value_or(defaults.timeout)));
  }
}

TEST_F(session_test, UserSessionsCarryLevelProtocolsAndLocalisableKeys) {
  // The protocols, the level, the authentication protocol's symbol and key length (the hash
  // length, or the untouched 0 without authentication), the privacy protocol's symbol, its OID
  // length and its key length (derived with the authentication hash, or left at 64).
  using row = std::tuple<auth_t, priv_t, int, const char*, std::size_t, const char*, std::size_t,
                         std::size_t>;
  const row rows[] = {
      {auth_t::none, priv_t::des, SNMP_SEC_LEVEL_NOAUTH, nullptr, 0, "usmDESPrivProtocol", 10, 64},
      {auth_t::md5, priv_t::none, SNMP_SEC_LEVEL_AUTHNOPRIV, "usmHMACMD5AuthProtocol", 16, nullptr,
       0, 0},
      {auth_t::sha1, priv_t::aes256c, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMACSHA1AuthProtocol", 20,
       "usmAES256CiscoPrivProtocol", 11, 20},
  };
  for (const auto& [auth, priv, level, auth_symbol, auth_key_length, priv_symbol, priv_proto_length,
                    priv_key_length] : rows) {
    // Without authentication the (empty) secrets are never used.
    const std::string secret = auth == auth_t::none ? "" : "password";
    const auto session = open(v3(secret, auth, secret, priv, "ctx"));
    const netsnmp_session& d = session->description();
    context_netsnmp& engine = session->context();
    EXPECT_EQ(
        std::tuple(d.version, std::string(d.securityName, d.securityNameLen),
                   std::string(d.contextName, d.contextNameLen), d.community == nullptr,
                   d.securityLevel, d.securityAuthProto, d.securityAuthProtoLen,
                   d.securityAuthKeyLen, d.securityPrivProto, d.securityPrivProtoLen,
                   d.securityPrivKeyLen),
        std::tuple(SNMP_VERSION_3, "user-name", "ctx", true, level,
                   auth_symbol ? engine.protocol_oid(auth_symbol) : nullptr, auth_symbol ? 10u : 0u,
                   auth_key_length, priv_symbol ? engine.protocol_oid(priv_symbol) : nullptr,
                   priv_proto_length, priv_key_length));
  }
}

TEST_F(session_test, RejectedSettingsFailWithTheirExceptionAndTheTrimmedEngineText) {
  const std::string too_short = "Generic error (The supplied password length is too short.)";
  const std::pair<settings, std::string> rows[] = {
      {v3("seven77", auth_t::sha1, "long-enough", priv_t::aes),
       "The authentication password is invalid. " + too_short + "."},
      {v3("long-enough", auth_t::md5, "short", priv_t::des),
       "The encryption key is invalid. " + too_short + "."},
      {v3("long-enough", static_cast<auth_t>(7), "long-enough", priv_t::none),
       "The authentication password is invalid. Generic error."},
  };
  for (const auto& [s, what] : rows) {
    EXPECT_EQ(error_text<exceptions::settings_invalid>([&] { open(s); }), what);
  }
}

TEST_F(session_test, AHostThatCannotBeResolvedFailsToOpen) {
  // An empty label fails in the local resolver: no name server is asked.
  // "Error <system error>/-3: Unknown host (...) (<system text>)." (the system part differs
  // between resolvers).
  const settings s = settings("", true, "kestrel..invalid", 1161, std::nullopt);
  EXPECT_THAT(error_text<exceptions::initialization_failed>([&] { open(s); }),
              ::testing::HasSubstr("/-3: Unknown host (kestrel..invalid:1161) ("));
}

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
  EXPECT_EQ(engine_copies(base_), 1u);
  EXPECT_TRUE(a->equals(*b));

  const auto c = create_connection(*pool_, other);
  EXPECT_EQ(engine_copies(base_), 2u);

  EXPECT_FALSE(a->equals(*test::get_mock_connection_walk_factory({})(s)));

  // A factory keeps its pool, and with it the engines.
  const auto factory = get_connection_factory(pool_);
  pool_.reset();
  EXPECT_EQ(&context_of(*factory(other)), &context_of(*c));
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
  const settings a("a", true, "127.0.0.1", silent_.port(), 1s);
  const settings b("b", true, "127.0.0.1", silent_.port(), 1s);
  EXPECT_EQ(arrival_order(a, b), (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(arrival_order(a, a), (std::vector<bool>{true, true, true, false}));
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
