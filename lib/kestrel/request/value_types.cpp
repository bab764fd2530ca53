#include <kestrel/compat_settings.hpp>
#include <kestrel/oid.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/settings.hpp>

#include <kestrel/library.hpp>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "support/platform.hpp"

namespace corvane::tallis::kestrel {

namespace {

constexpr std::uint32_t fnv_offset_basis = 0x811c9dc5u;
constexpr std::uint32_t fnv_prime = 0x01000193u;

std::uint32_t fnv1a(const unsigned char* bytes, std::size_t size) {
  std::uint32_t hash = fnv_offset_basis;
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= fnv_prime;
  }
  return hash;
}

std::uint32_t fnv1a(const std::string& text) {
  return fnv1a(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

// Integers are hashed over their bytes, least significant first, whatever the host order.
template <class Unsigned>
std::uint32_t fnv1a_little_endian(Unsigned value) {
  unsigned char bytes[sizeof(Unsigned)];
  for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
    bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  }
  return fnv1a(bytes, sizeof(Unsigned));
}

template <class Enum>
std::uint32_t fnv1a_enum(Enum value) {
  return fnv1a_little_endian(static_cast<std::uint32_t>(value));
}

void fold(std::uint32_t& seed, std::uint32_t hash) {
  seed ^= hash + 0x9e3779b9u + (seed << 6) + (seed >> 2);
}

}  // namespace

// ---- settings ---------------------------------------------------------------------------

settings::settings(std::string community, bool use_v2c, std::string host,
                   std::optional<std::uint16_t> port, std::optional<std::chrono::seconds> timeout)
    : host_(std::move(host)),
      port_(port),
      snmp_version_(use_v2c ? version_t::snmp_v2c : version_t::snmp_v1),
      community_(std::move(community)),
      auth_type_(auth_t::none),
      priv_type_(priv_t::none),
      timeout_(timeout) {}

settings::settings(std::string username, std::string password, auth_t auth,
                   std::string encryption_key, priv_t priv, std::string context, std::string host,
                   std::optional<std::uint16_t> port, std::optional<std::chrono::seconds> timeout)
    : host_(std::move(host)),
      port_(port),
      snmp_version_(version_t::snmp_v3),
      username_(std::move(username)),
      password_(std::move(password)),
      auth_type_(auth),
      encryption_key_(std::move(encryption_key)),
      priv_type_(priv),
      context_(std::move(context)),
      timeout_(timeout) {}

namespace {

// Zeroes the whole buffer of a text, including what an earlier, longer value or a move left
// behind its end.
void wipe(std::string& text) noexcept {
  text.resize(text.capacity());
  platform::secure_zero(text.data(), text.size());
  text.clear();
}

}  // namespace

settings::settings(const settings&) = default;
settings::settings(settings&&) noexcept = default;

settings& settings::operator=(const settings& other) {
  if (this != &other) *this = settings(other);
  return *this;
}

// Replaces the whole value, so that the old secrets are wiped by the destructor and no field is
// ever left out of the assignment.
settings& settings::operator=(settings&& other) noexcept {
  if (this != &other) {
    this->~settings();
    new (this) settings(std::move(other));
  }
  return *this;
}

// The community and the passphrases do not outlive the value that held them.
settings::~settings() {
  wipe(community_);
  wipe(password_);
  wipe(encryption_key_);
}

std::string settings::host() const { return host_; }
std::optional<std::uint16_t> settings::port() const { return port_; }
version_t settings::snmp_version() const { return snmp_version_; }
std::string settings::community() const { return community_; }
std::string settings::username() const { return username_; }
std::string settings::password() const { return password_; }
auth_t settings::auth_type() const { return auth_type_; }
std::string settings::encryption_key() const { return encryption_key_; }
priv_t settings::priv_type() const { return priv_type_; }
std::string settings::context() const { return context_; }
std::optional<std::chrono::seconds> settings::timeout() const { return timeout_; }

settings& settings::timeout(std::optional<std::chrono::seconds> timeout) {
  timeout_ = timeout;
  return *this;
}

bool settings::operator==(const settings& other) const {
  return host_ == other.host_ && port_ == other.port_ && snmp_version_ == other.snmp_version_ &&
         community_ == other.community_ && username_ == other.username_ &&
         password_ == other.password_ && auth_type_ == other.auth_type_ &&
         encryption_key_ == other.encryption_key_ && priv_type_ == other.priv_type_ &&
         context_ == other.context_ && timeout_ == other.timeout_;
}

std::uint32_t settings::get_hash() const {
  std::uint32_t seed = 0;
  fold(seed, fnv1a(host_));
  // No port folds in 0 without hashing, so it differs from port 0.
  fold(seed, port_ ? fnv1a_little_endian(static_cast<std::uint16_t>(*port_)) : 0u);
  fold(seed, fnv1a_enum(snmp_version_));
  fold(seed, fnv1a(community_));
  fold(seed, fnv1a(username_));
  fold(seed, fnv1a(password_));
  fold(seed, fnv1a_enum(auth_type_));
  fold(seed, fnv1a(encryption_key_));
  fold(seed, fnv1a_enum(priv_type_));
  fold(seed, fnv1a(context_));
  // No time-out hashes like 0 s.
  const std::int64_t seconds = timeout_ ? static_cast<std::int64_t>(timeout_->count()) : 0;
  fold(seed, fnv1a_little_endian(static_cast<std::uint64_t>(seconds)));
  return seed;
}

// ---- compat_settings --------------------------------------------------------------------

compat_settings::compat_settings(std::chrono::milliseconds delay, retry_t retry,
                                 counter_mode_t counter_mode, get_mode_t get_mode,
                                 walk_mode_t walk_mode)
    : delay_(delay),
      retry_(retry),
      counter_mode_(counter_mode),
      get_mode_(get_mode),
      walk_mode_(walk_mode) {}

compat_settings::compat_settings(const compat_settings&) = default;
compat_settings::compat_settings(compat_settings&&) noexcept = default;
compat_settings& compat_settings::operator=(const compat_settings&) = default;
compat_settings& compat_settings::operator=(compat_settings&&) noexcept = default;
compat_settings::~compat_settings() = default;

std::chrono::milliseconds compat_settings::delay() const { return delay_; }
retry_t compat_settings::retry() const { return retry_; }
counter_mode_t compat_settings::counter_mode() const { return counter_mode_; }
get_mode_t compat_settings::get_mode() const { return get_mode_; }
walk_mode_t compat_settings::walk_mode() const { return walk_mode_; }
bool compat_settings::do_retry() const { return static_cast<std::int32_t>(retry_) == 1; }
bool compat_settings::use_multi_get() const { return static_cast<std::int32_t>(get_mode_) == 1; }
bool compat_settings::use_bulkget() const { return static_cast<std::int32_t>(walk_mode_) == 1; }

// ---- oid --------------------------------------------------------------------------------

oid::oid(std::vector<long> numeric_oid, std::string name)
    : numeric_oid_(std::move(numeric_oid)), name_(std::move(name)) {}

oid::oid(const oid&) = default;
oid::oid(oid&&) noexcept = default;
oid& oid::operator=(const oid&) = default;
oid& oid::operator=(oid&&) noexcept = default;
oid::~oid() = default;

const std::vector<long>& oid::numeric_oid() const { return numeric_oid_; }
const std::string& oid::name() const { return name_; }
unsigned oid::size() const { return static_cast<unsigned>(numeric_oid_.size()); }

bool oid::operator==(const oid& other) const {
  return numeric_oid_ == other.numeric_oid_ && name_ == other.name_;
}

bool oid::operator<(const oid& other) const {
  if (numeric_oid_ == other.numeric_oid_) return name_ < other.name_;
  return std::lexicographical_compare(numeric_oid_.begin(), numeric_oid_.end(),
                                      other.numeric_oid_.begin(), other.numeric_oid_.end());
}

std::ostream& operator<<(std::ostream& stream, const std::vector<long>& numeric) {
  // Plain decimal whatever the stream's flags and locale.
  const std::string text = library::numeric_oid_to_string(numeric);
  return stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// ---- oid_request ------------------------------------------------------------------------

namespace {
constexpr int unlimited = 2147483647;
}

oid_request::oid_request(query_t type, std::vector<oid> oids)
    : type_(type), oids_(std::move(oids)), max_depth_(unlimited), bulk_size_(unlimited) {}

oid_request::oid_request(query_t type, oid o)
    : oid_request(type, std::vector<oid>{std::move(o)}) {}

oid_request::oid_request(const oid_request&) = default;
oid_request::oid_request(oid_request&&) noexcept = default;
oid_request& oid_request::operator=(const oid_request&) = default;
oid_request& oid_request::operator=(oid_request&&) noexcept = default;
oid_request::~oid_request() = default;

query_t oid_request::type() const { return type_; }
const std::vector<oid>& oid_request::oids() const { return oids_; }
int oid_request::max_depth() const { return max_depth_; }
int oid_request::bulk_size() const { return bulk_size_; }
const std::optional<oid>& oid_request::only_children_of_oid() const {
  return only_children_of_oid_;
}

oid_request& oid_request::max_depth(int depth) {
  max_depth_ = std::max(depth, 1);
  return *this;
}

oid_request& oid_request::bulk_size(int size) {
  bulk_size_ = std::max(size, 1);
  return *this;
}

oid_request& oid_request::only_children_of_oid(const std::optional<oid>& subtree) {
  only_children_of_oid_ = subtree;
  return *this;
}

bool oid_request::operator==(const oid_request& other) const {
  return oids_ == other.oids_ && type_ == other.type_ && max_depth_ == other.max_depth_ &&
         bulk_size_ == other.bulk_size_ && only_children_of_oid_ == other.only_children_of_oid_;
}

}  // namespace corvane::tallis::kestrel
