#include <gtest/gtest.h>

#include <kestrel/compat_settings.hpp>
#include <kestrel/oid.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/settings.hpp>
#include <sstream>

#include "helpers/test_platform.hpp"

namespace k = corvane::tallis::kestrel;
using namespace std::chrono_literals;

namespace {

k::settings v1(std::string host, std::optional<std::uint16_t> port = std::nullopt,
               std::optional<std::chrono::seconds> timeout = std::nullopt) {
  return k::settings("", false, std::move(host), port, timeout);
}

TEST(SettingsHash, ReproducesTheReferenceValues) {
  EXPECT_EQ(v1("abc").get_hash(), 0x4d6781ddu);
  EXPECT_EQ(v1("abc", 161).get_hash(), 0x196388fdu);
  EXPECT_EQ(k::settings("", true, "abc", std::nullopt, std::nullopt).get_hash(), 0x96b43756u);
}

TEST(SettingsHash, EmptyTimeoutHashesLikeZeroButIsNotEqual) {
  const auto none = v1("h");
  const auto zero = v1("h", std::nullopt, 0s);
  EXPECT_EQ(none.get_hash(), zero.get_hash());
  EXPECT_FALSE(none == zero);
}

TEST(SettingsHash, EmptyPortDiffersFromPortZeroInBoth) {
  const auto none = v1("h");
  const auto zero = v1("h", 0);
  EXPECT_NE(none.get_hash(), zero.get_hash());
  EXPECT_FALSE(none == zero);
}

TEST(SettingsHash, EveryFieldCounts) {
  const k::settings base("user", "password", k::auth_t::sha1, "key", k::priv_t::aes, "ctx", "host",
                         161, 5s);
  const std::vector<k::settings> variants = {
      k::settings("userX", "password", k::auth_t::sha1, "key", k::priv_t::aes, "ctx", "host", 161,
                  5s),
      k::settings("user", "passwordX", k::auth_t::sha1, "key", k::priv_t::aes, "ctx", "host", 161,
                  5s),
      k::settings("user", "password", k::auth_t::md5, "key", k::priv_t::aes, "ctx", "host", 161,
                  5s),
      k::settings("user", "password", k::auth_t::sha1, "keyX", k::priv_t::aes, "ctx", "host", 161,
                  5s),
      k::settings("user", "password", k::auth_t::sha1, "key", k::priv_t::des, "ctx", "host", 161,
                  5s),
      k::settings("user", "password", k::auth_t::sha1, "key", k::priv_t::aes, "ctxX", "host", 161,
                  5s),
      k::settings("user", "password", k::auth_t::sha1, "key", k::priv_t::aes, "ctx", "hostX", 161,
                  5s),
      k::settings("user", "password", k::auth_t::sha1, "key", k::priv_t::aes, "ctx", "host", 162,
                  5s),
      k::settings("user", "password", k::auth_t::sha1, "key", k::priv_t::aes, "ctx", "host", 161,
                  6s),
  };
  for (const auto& variant : variants) {
    EXPECT_FALSE(variant == base);
    EXPECT_NE(variant.get_hash(), base.get_hash());
  }
  auto copy = base;
  EXPECT_TRUE(copy == base);
  EXPECT_EQ(copy.get_hash(), base.get_hash());
  copy.timeout(std::nullopt);
  EXPECT_FALSE(copy == base);
}

TEST(Settings, VersionIsPartOfEqualityAndHash) {
  const k::settings a("public", false, "h", 161, 1s);
  const k::settings b("public", true, "h", 161, 1s);
  EXPECT_EQ(a.snmp_version(), k::version_t::snmp_v1);
  EXPECT_EQ(b.snmp_version(), k::version_t::snmp_v2c);
  EXPECT_FALSE(a == b);
  EXPECT_NE(a.get_hash(), b.get_hash());
}

TEST(Settings, V3ConstructorStoresWithoutValidation) {
  const k::settings s("u", "", k::auth_t{9}, "", k::priv_t{7}, "", "", std::nullopt, std::nullopt);
  EXPECT_EQ(s.snmp_version(), k::version_t::snmp_v3);
  EXPECT_EQ(static_cast<int>(s.auth_type()), 9);
  EXPECT_EQ(static_cast<int>(s.priv_type()), 7);
  EXPECT_EQ(s.community(), "");
}

TEST(CompatSettings, OnlyTheValueOneSwitchesOn) {
  const k::compat_settings defaults;
  EXPECT_TRUE(defaults.do_retry());
  EXPECT_TRUE(defaults.use_multi_get());
  EXPECT_TRUE(defaults.use_bulkget());
  EXPECT_EQ(defaults.delay(), 0ms);
  EXPECT_EQ(defaults.counter_mode(), k::counter_mode_t{1});

  const k::compat_settings odd(5ms, k::retry_t{2}, k::counter_mode_t{42}, k::get_mode_t{2},
                               k::walk_mode_t{-1});
  EXPECT_FALSE(odd.do_retry());
  EXPECT_FALSE(odd.use_multi_get());
  EXPECT_FALSE(odd.use_bulkget());
  EXPECT_EQ(odd.counter_mode(), k::counter_mode_t{42});
  EXPECT_EQ(odd.delay(), 5ms);
}

TEST(Oid, EqualityNeedsNumbersAndName) {
  EXPECT_TRUE(k::oid({1, 3}, "a") == k::oid({1, 3}, "a"));
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3}, "b"));
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3, 0}, "a"));
}

TEST(Oid, OrdersByNumbersThenByName) {
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
}

TEST(Oid, StreamsDottedNumbers) {
  using k::operator<<;
  std::ostringstream out;
  out << std::vector<long>{1, 3, 6, 1, 2, 1} << '|' << std::vector<long>{} << '|'
      << std::vector<long>{-1, k::helpers::largest_sub_identifier};
  EXPECT_EQ(out.str(), ".1.3.6.1.2.1||.-1." + k::helpers::largest_sub_identifier_text());
  EXPECT_EQ(k::oid({1, 2}, "x").size(), 2u);
}

TEST(OidRequest, DefaultsAndClampedSetters) {
  k::oid o({1, 3}, ".iso.org");
  k::oid_request r(k::query_t::walk, o);
  EXPECT_EQ(r.max_depth(), 2147483647);
  EXPECT_EQ(r.bulk_size(), 2147483647);
  EXPECT_FALSE(r.only_children_of_oid().has_value());
  EXPECT_EQ(r.max_depth(0).max_depth(), 1);
  EXPECT_EQ(r.max_depth(-5).max_depth(), 1);
  EXPECT_EQ(r.bulk_size(0).bulk_size(), 1);
  EXPECT_EQ(r.bulk_size(1000).bulk_size(), 1000);
  EXPECT_EQ(r.only_children_of_oid(o).only_children_of_oid(), o);
  EXPECT_FALSE(r.only_children_of_oid(std::nullopt).only_children_of_oid().has_value());
}

TEST(OidRequest, EqualityCoversEveryField) {
  const k::oid o({1, 3}, "a");
  const k::oid_request base(k::query_t::get, o);
  EXPECT_TRUE(base == k::oid_request(k::query_t::get, std::vector<k::oid>{o}));
  EXPECT_FALSE(base == k::oid_request(k::query_t::walk, o));
  EXPECT_FALSE(base == k::oid_request(k::query_t::get, std::vector<k::oid>{o, o}));
  EXPECT_FALSE(base == k::oid_request(k::query_t::get, o).max_depth(3));
  EXPECT_FALSE(base == k::oid_request(k::query_t::get, o).bulk_size(3));
  EXPECT_FALSE(base == k::oid_request(k::query_t::get, o).only_children_of_oid(o));
  EXPECT_FALSE(k::oid_request(k::query_t::get, o).only_children_of_oid(o) ==
               k::oid_request(k::query_t::get, o).only_children_of_oid(k::oid({1, 3}, "b")));
}

}  // namespace
