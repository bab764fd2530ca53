#include "netsnmp/session_netsnmp.hpp"

#include <gmock/gmock.h>

#include "netsnmp/netsnmp_fixture.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

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

  static std::string text(const char* chars, std::size_t length) {
    return chars == nullptr ? std::string("<null>") : std::string(chars, length);
  }
};

TEST_F(session_test, CommunitySessionsCarryVersionPeerCommunityAndCappedTimeOut) {
  // The settings, the version, the peer and the time-out (empty: the engine's default).
  const std::tuple<settings, long, const char*, std::optional<long>> rows[] = {
      {settings("public", false, "127.0.0.1", 1161, std::chrono::seconds(5)), SNMP_VERSION_1,
       "127.0.0.1:1161", 5000000},
      {settings("private", true, "127.0.0.1", std::nullopt, std::nullopt), SNMP_VERSION_2c,
       "127.0.0.1", std::nullopt},
      // Time-outs beyond the engine's microseconds are capped, not wrapped.
      {settings("", true, "127.0.0.1", 1161, std::chrono::seconds(2147)), SNMP_VERSION_2c,
       "127.0.0.1:1161", 2147000000},
      {settings("", true, "127.0.0.1", 1161, std::chrono::seconds(2148)), SNMP_VERSION_2c,
       "127.0.0.1:1161", 2147483647},
      {settings("", true, "127.0.0.1", 1161, std::chrono::seconds(4295)), SNMP_VERSION_2c,
       "127.0.0.1:1161", 2147483647},
  };
  for (const auto& [s, version, peer, timeout] : rows) {
    SCOPED_TRACE(::testing::Message() << peer << " " << timeout.value_or(0));
    const auto session = open(s);
    const netsnmp_session& d = session->description();
    ASSERT_NE(session->handle(), nullptr);
    EXPECT_EQ(d.version, version);
    EXPECT_STREQ(d.peername, peer);
    EXPECT_EQ(text(reinterpret_cast<const char*>(d.community), d.community_len), s.community());
    EXPECT_EQ(d.securityName, nullptr);
    netsnmp_session defaults{};
    session->context().snmp_sess_init(&defaults);
    EXPECT_EQ(d.timeout, timeout.value_or(defaults.timeout));
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
      {auth_t::sha224, priv_t::aes192, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMAC128SHA224AuthProtocol", 28,
       "usmAES192PrivProtocol", 9, 28},
      {auth_t::sha256, priv_t::aes256, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMAC192SHA256AuthProtocol", 32,
       "usmAES256PrivProtocol", 9, 32},
      {auth_t::sha384, priv_t::des, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMAC256SHA384AuthProtocol", 48,
       "usmDESPrivProtocol", 10, 48},
      {auth_t::sha512, priv_t::aes, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMAC384SHA512AuthProtocol", 64,
       "usmAESPrivProtocol", 10, 64},
      {auth_t::sha1, priv_t::aes192c, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMACSHA1AuthProtocol", 20,
       "usmAES192CiscoPrivProtocol", 11, 20},
      {auth_t::md5, priv_t::aes256c, SNMP_SEC_LEVEL_AUTHPRIV, "usmHMACMD5AuthProtocol", 16,
       "usmAES256CiscoPrivProtocol", 11, 16},
  };
  for (const auto& [auth, priv, level, auth_symbol, auth_key_length, priv_symbol, priv_proto_length,
                    priv_key_length] : rows) {
    SCOPED_TRACE(std::string(auth_symbol ? auth_symbol : "no auth") + " / " +
                 (priv_symbol ? priv_symbol : "no priv"));
    // Without authentication the (empty) secrets are never used.
    const std::string secret = auth == auth_t::none ? "" : "password";
    const auto session = open(v3(secret, auth, secret, priv, "ctx"));
    const netsnmp_session& d = session->description();
    context_netsnmp& engine = session->context();
    EXPECT_EQ(
        std::tuple(d.version, text(d.securityName, d.securityNameLen),
                   text(d.contextName, d.contextNameLen), d.community == nullptr, d.securityLevel,
                   d.securityAuthProto, d.securityAuthProtoLen, d.securityAuthKeyLen,
                   d.securityPrivProto, d.securityPrivProtoLen, d.securityPrivKeyLen),
        std::tuple(SNMP_VERSION_3, "user-name", "ctx", true, level,
                   auth_symbol ? engine.protocol_oid(auth_symbol) : nullptr, auth_symbol ? 10u : 0u,
                   auth_key_length, priv_symbol ? engine.protocol_oid(priv_symbol) : nullptr,
                   priv_proto_length, priv_key_length));
  }
  // An empty user and context are empty strings, not missing ones.
  const auto empty =
      open(settings("", "", auth_t::none, "", priv_t::none, "", "127.0.0.1", 1161, std::nullopt));
  EXPECT_STREQ(empty->description().securityName, "");
  EXPECT_STREQ(empty->description().contextName, "");
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
    SCOPED_TRACE(what);
    try {
      open(s);
      ADD_FAILURE() << "no exception";
    } catch (const exceptions::settings_invalid& e) {
      EXPECT_EQ(e.what(), what);
      EXPECT_EQ(dynamic_cast<const exceptions::authentication_password_invalid*>(&e) != nullptr,
                what.starts_with("The authentication"));
    }
  }
}

TEST_F(session_test, AHostThatCannotBeResolvedFailsToOpen) {
  // An empty label fails in the local resolver: no name server is asked.
  // "Error <system error>/-3: Unknown host (...) (<system text>)." (the system part differs
  // between resolvers).
  const settings s =
      community_settings(version_t::snmp_v2c, 1161, std::nullopt, "kestrel..invalid");
  EXPECT_THAT([&] { open(s); },
              ::testing::ThrowsMessage<exceptions::initialization_failed>(::testing::AllOf(
                  ::testing::StartsWith("Initialization failed: Error "),
                  ::testing::HasSubstr("/-3: Unknown host (kestrel..invalid:1161)"),
                  ::testing::EndsWith("."))));
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
