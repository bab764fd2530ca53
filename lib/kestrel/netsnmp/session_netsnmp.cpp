#include "netsnmp/session_netsnmp.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <kestrel/exceptions.hpp>

#include "support/platform.hpp"

namespace corvane::tallis::kestrel {

namespace {

struct protocol {
  const char* symbol;
  std::size_t length;
};

// Indexed by auth_t; the engine's protocol OID arrays and the lengths it expects for them.
constexpr protocol auth_protocols[] = {
    {nullptr, 0},
    {"usmHMACMD5AuthProtocol", 10},
    {"usmHMACSHA1AuthProtocol", 10},
    {"usmHMAC128SHA224AuthProtocol", 10},
    {"usmHMAC192SHA256AuthProtocol", 10},
    {"usmHMAC256SHA384AuthProtocol", 10},
    {"usmHMAC384SHA512AuthProtocol", 10},
};

// Indexed by priv_t. The AES-192 and AES-256 arrays are the engine's 9-element ones; the
// switch-style key extension has its own 11-element OIDs (.1.3.6.1.4.1.9.12.6.1.1 and .2),
// from which the engine picks that extension.
constexpr protocol priv_protocols[] = {
    {nullptr, 0},
    {"usmDESPrivProtocol", 10},
    {"usmAESPrivProtocol", 10},
    {"usmAES192PrivProtocol", 9},
    {"usmAES256PrivProtocol", 9},
    {"usmAES192CiscoPrivProtocol", 11},
    {"usmAES256CiscoPrivProtocol", 11},
};

// The capacity of the key buffers inside the description; generate_Ku replaces it with the
// length of the key it wrote.
constexpr std::size_t key_buffer_size = USM_AUTH_KU_LEN;
static_assert(USM_AUTH_KU_LEN == 64 && USM_PRIV_KU_LEN == 64);

constexpr std::int64_t max_timeout_seconds = INT32_MAX / 1000000 + 1;

char* copy_of(const std::string& text) { return platform::duplicate_string(text.c_str()); }

// Zeroes the whole buffer of a text, including what a move left behind.
void wipe(std::string& text) {
  text.resize(text.capacity());
  platform::secure_zero(text.data(), text.size());
}

// A community or passphrase copied out of the settings, wiped when it goes.
class secret {
 public:
  explicit secret(std::string text) : text_(std::move(text)) { wipe(text); }
  secret(const secret&) = delete;
  secret& operator=(const secret&) = delete;
  ~secret() { wipe(text_); }
  const std::string& text() const { return text_; }
  const u_char* bytes() const { return reinterpret_cast<const u_char*>(text_.data()); }
  std::size_t size() const { return text_.size(); }

 private:
  std::string text_;
};

// Fills the protocol fields of one table row; values outside the table leave the fields as
// snmp_sess_init set them.
template <std::size_t N>
void set_protocol(context_netsnmp& context, const protocol (&table)[N], std::int32_t index,
                  ::oid*& proto, std::size_t& proto_length, std::size_t& key_length) {
  if (index < 0 || static_cast<std::size_t>(index) >= N) return;
  const protocol& row = table[index];
  proto = row.symbol != nullptr ? context.protocol_oid(row.symbol) : nullptr;
  proto_length = row.length;
  key_length = row.symbol != nullptr ? key_buffer_size : 0;
}

}  // namespace

session_netsnmp::session_netsnmp(std::shared_ptr<context_netsnmp> context, const settings& settings)
    : context_(std::move(context)), handle_(nullptr) {
  std::memset(&description_, 0, sizeof(description_));
  context_->snmp_sess_init(&description_);
  try {
    describe(settings);
    handle_ = context_->snmp_sess_open(&description_);
    if (handle_ == nullptr) {
      int system_error = 0;
      int engine_error = 0;
      char* message = nullptr;
      context_->snmp_error(&description_, &system_error, &engine_error, &message);
      std::string text = message != nullptr ? message : "";
      std::free(message);
      throw exceptions::initialization_failed(std::to_string(system_error),
                                              std::to_string(engine_error), text);
    }
  } catch (...) {
    // The destructor does not run for a session that never opened.
    release_strings();
    throw;
  }
}

session_netsnmp::~session_netsnmp() {
  context_->snmp_sess_close(handle_);
  release_strings();
}

context_netsnmp& session_netsnmp::context() const { return *context_; }

const netsnmp_session& session_netsnmp::description() const { return description_; }

void* session_netsnmp::handle() const { return handle_; }

read_ahead& session_netsnmp::ahead() { return ahead_; }

void session_netsnmp::describe(const settings& settings) {
  if (const auto timeout = settings.timeout()) {
    // The engine keeps the time-out in 32-bit microseconds: a longer one is capped at the
    // largest it can hold (about 2,147 s) rather than wrapped round to a short one.
    const auto seconds = std::clamp<std::int64_t>(timeout->count(), 0, max_timeout_seconds);
    description_.timeout =
        static_cast<std::int32_t>(std::min<std::int64_t>(seconds * 1000000, INT32_MAX));
  }

  std::string peer = settings.host();
  if (const auto port = settings.port()) {
    peer += ':';
    peer += std::to_string(*port);
  }
  description_.peername = copy_of(peer);

  switch (settings.snmp_version()) {
    case version_t::snmp_v1:
    case version_t::snmp_v2c: {
      description_.version =
          settings.snmp_version() == version_t::snmp_v1 ? SNMP_VERSION_1 : SNMP_VERSION_2c;
      const secret community(settings.community());
      description_.community = reinterpret_cast<u_char*>(copy_of(community.text()));
      description_.community_len = community.size();
      break;
    }
    case version_t::snmp_v3:
      describe_usm(settings);
      break;
  }
}

void session_netsnmp::describe_usm(const settings& settings) {
  description_.version = SNMP_VERSION_3;

  const std::string username = settings.username();
  description_.securityName = copy_of(username);
  description_.securityNameLen = username.size();

  const std::string context_name = settings.context();
  description_.contextName = copy_of(context_name);
  description_.contextNameLen = context_name.size();

  const auto auth = static_cast<std::int32_t>(settings.auth_type());
  const auto priv = static_cast<std::int32_t>(settings.priv_type());
  if (auth == 0) {
    description_.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
  } else {
    description_.securityLevel = priv != 0 ? SNMP_SEC_LEVEL_AUTHPRIV : SNMP_SEC_LEVEL_AUTHNOPRIV;
  }

  set_protocol(*context_, auth_protocols, auth, description_.securityAuthProto,
               description_.securityAuthProtoLen, description_.securityAuthKeyLen);
  if (auth != 0) {
    const secret password(settings.password());
    const int rc = context_->generate_Ku(
        description_.securityAuthProto, static_cast<u_int>(description_.securityAuthProtoLen),
        password.bytes(), password.size(), description_.securityAuthKey,
        &description_.securityAuthKeyLen);
    if (rc != 0) {
      throw exceptions::authentication_password_invalid(
          trim_engine_text(context_->snmp_api_errstring(rc)));
    }
  }

  set_protocol(*context_, priv_protocols, priv, description_.securityPrivProto,
               description_.securityPrivProtoLen, description_.securityPrivKeyLen);
  if (auth != 0 && priv != 0) {
    // The privacy key is derived with the authentication hash; the engine localises and, for
    // the longer AES keys, extends it from there.
    const secret key(settings.encryption_key());
    const int rc = context_->generate_Ku(
        description_.securityAuthProto, static_cast<u_int>(description_.securityAuthProtoLen),
        key.bytes(), key.size(), description_.securityPrivKey, &description_.securityPrivKeyLen);
    if (rc != 0) {
      throw exceptions::encryption_key_invalid(trim_engine_text(context_->snmp_api_errstring(rc)));
    }
  }
}

void session_netsnmp::release_strings() {
  // The keys and the community stay secret after the session.
  platform::secure_zero(description_.securityAuthKey, sizeof description_.securityAuthKey);
  platform::secure_zero(description_.securityPrivKey, sizeof description_.securityPrivKey);
  if (description_.community != nullptr) {
    platform::secure_zero(description_.community, description_.community_len);
  }
  std::free(description_.peername);
  std::free(description_.community);
  std::free(description_.securityName);
  std::free(description_.contextName);
  description_.peername = nullptr;
  description_.community = nullptr;
  description_.securityName = nullptr;
  description_.contextName = nullptr;
}

}  // namespace corvane::tallis::kestrel
