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

TEST(SettingsHash, ReproducesTheReferenceValuesAndEveryFieldCounts) {
  EXPECT_EQ(v1("abc").get_hash(), 0x4d6781ddu);
  EXPECT_EQ(v1("abc", 161).get_hash(), 0x196388fdu);
  EXPECT_EQ(k::settings("", true, "abc", std::nullopt, std::nullopt).get_hash(), 0x96b43756u);
  // An empty time-out hashes like zero but is not equal; an empty port differs in both.
  EXPECT_EQ(v1("h").get_hash(), v1("h", std::nullopt, 0s).get_hash());
  EXPECT_FALSE(v1("h") == v1("h", std::nullopt, 0s));
  EXPECT_NE(v1("h").get_hash(), v1("h", 0).get_hash());
  EXPECT_FALSE(v1("h") == v1("h", 0));

  // The settings with field `changed` altered (none for -1).
  const auto v3 = [](int changed) {
    const auto pick = [changed](int field, auto usual, auto other) {
      return field == changed ? other : usual;
    };
    return k::settings(pick(0, "user", "userX"), pick(1, "password", "passwordX"),
                       pick(2, k::auth_t::sha1, k::auth_t::md5), pick(3, "key", "keyX"),
                       pick(4, k::priv_t::aes, k::priv_t::des), pick(5, "ctx", "ctxX"),
                       pick(6, "host", "hostX"), pick(7, 161, 162), pick(8, 5s, 6s));
  };
  const k::settings base = v3(-1);
  for (int field = 0; field < 9; ++field) {
    EXPECT_FALSE(v3(field) == base) << field;
    EXPECT_NE(v3(field).get_hash(), base.get_hash()) << field;
  }
  auto copy = base;
  EXPECT_TRUE(copy == base);
  EXPECT_EQ(copy.get_hash(), base.get_hash());
  copy.timeout(std::nullopt);
  EXPECT_FALSE(copy == base);

  const k::settings v2c("public", true, "h", 161, 1s);
  EXPECT_EQ(v1("h").snmp_version(), k::version_t::snmp_v1);
  EXPECT_EQ(v2c.snmp_version(), k::version_t::snmp_v2c);
  EXPECT_FALSE(k::settings("public", false, "h", 161, 1s) == v2c);
  EXPECT_NE(k::settings("public", false, "h", 161, 1s).get_hash(), v2c.get_hash());
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
  EXPECT_TRUE(defaults.do_retry() && defaults.use_multi_get() && defaults.use_bulkget());
  EXPECT_EQ(defaults.delay(), 0ms);
  EXPECT_EQ(defaults.counter_mode(), k::counter_mode_t{1});
  const k::compat_settings odd(5ms, k::retry_t{2}, k::counter_mode_t{42}, k::get_mode_t{2},
                               k::walk_mode_t{-1});
  EXPECT_FALSE(odd.do_retry() || odd.use_multi_get() || odd.use_bulkget());
  EXPECT_EQ(odd.counter_mode(), k::counter_mode_t{42});
  EXPECT_EQ(odd.delay(), 5ms);
}

TEST(Oid, EqualityNeedsNumbersAndNameOrderByNumbersThenName) {
  EXPECT_TRUE(k::oid({1, 3}, "a") == k::oid({1, 3}, "a"));
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3}, "b"));
  EXPECT_FALSE(k::oid({1, 3}, "a") == k::oid({1, 3, 0}, "a"));
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

  std::ostringstream out;
  k::operator<<(out, std::vector<long>{1, 3, 6, 1, 2, 1}) << '|';
  k::operator<<(out, std::vector<long>{}) << '|';
  k::operator<<(out, std::vector<long>{-1, k::helpers::largest_sub_identifier});
  EXPECT_EQ(out.str(), ".1.3.6.1.2.1||.-1." + k::helpers::largest_sub_identifier_text());
  EXPECT_EQ(k::oid({1, 2}, "x").size(), 2u);
}

TEST(OidRequest, ClampedSettersAndEqualityOverEveryField) {
  const k::oid o({1, 3}, "a");
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
