#include <kestrel/response.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>
#include <variant>

#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>

namespace corvane::tallis::kestrel {

namespace {

// libstdc++ words std::bad_variant_access differently depending on the path that raised it;
// callers see one text for a valueless response.
class valueless_response : public std::bad_variant_access {
 public:
  const char* what() const noexcept override { return "bad variant access"; }
};

enum alternative : std::size_t {
  null_index = 0,
  int32_index = 1,
  uint32_index = 2,
  timeticks_index = 3,
  int64_index = 4,
  uint64_index = 5,
  float_index = 6,
  double_index = 7,
  string_index = 8,
  oid_index = 9,
  error_index = 10,
};

constexpr std::array<const char*, std::variant_size_v<response::value_t>> type_names = {
    "NULL",
    "Integer (32bit)",
    "Unsigned Integer (32bit)",
    "Time Ticks (32bit)",
    "Integer (64bit)",
    "Unsigned Integer (64bit)",
    "Float",
    "Double",
    "String",
    "OID",
    "Error",
};

// The held alternative; a valueless variant has none and cannot be inspected.
std::size_t held_index(const response::value_t& value) {
  if (value.valueless_by_exception()) throw valueless_response();
  return value.index();
}

template <std::size_t I>
const auto& held(const response::value_t& value) {
  return std::get_if<I>(&value)->value;
}

// Float to int64 truncates toward zero. NaN gives 0 and values beyond the range saturate, so
// that no input reaches the undefined conversion.
std::int64_t truncate_to_int64(double value) {
  if (std::isnan(value)) return 0;
  constexpr double two_to_63 = 9223372036854775808.0;
  if (value >= two_to_63) return std::numeric_limits<std::int64_t>::max();
  if (value < -two_to_63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// The text of "%f" in the "C" locale, whatever locale the host has chosen: the largest double
// has 309 digits before the point.
std::string fixed_six_decimals(double value) {
  char text[400];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr;
  return std::string(text, end);
}

}  // namespace

std::string response::type_name(const value_t& value) { return type_names[held_index(value)]; }

response::response(kestrel::oid o, value_t value) : oid_(std::move(o)), value_(std::move(value)) {}
response::response(const response&) = default;
response::response(response&&) noexcept = default;
response& response::operator=(const response&) = default;
response& response::operator=(response&&) noexcept = default;
response::~response() = default;

const response::value_t& response::value() const { return value_; }
kestrel::oid response::oid() const { return oid_; }
std::string response::name() const { return oid_.name(); }
std::vector<long> response::numeric_oid() const { return oid_.numeric_oid(); }

response::operator bool() const { return held_index(value_) != error_index; }

bool response::is_null() const { return held_index(value_) == null_index; }
bool response::is_int32_t() const { return held_index(value_) == int32_index; }
bool response::is_uint32_t() const { return held_index(value_) == uint32_index; }
bool response::is_timeticks_t() const { return held_index(value_) == timeticks_index; }
bool response::is_int64_t() const { return held_index(value_) == int64_index; }
bool response::is_uint64_t() const { return held_index(value_) == uint64_index; }
bool response::is_float() const { return held_index(value_) == float_index; }
bool response::is_double() const { return held_index(value_) == double_index; }
bool response::is_string() const { return held_index(value_) == string_index; }
bool response::is_oid() const { return held_index(value_) == oid_index; }
bool response::is_error() const { return held_index(value_) == error_index; }

namespace {

// The value of alternative I, or oid_has_wrong_type naming the OID and both types.
template <std::size_t I>
const auto& strict(const kestrel::oid& o, const response::value_t& value) {
  if (held_index(value) != I) {
    throw exceptions::oid_has_wrong_type(o.name(), response::type_name(value), type_names[I]);
  }
  return held<I>(value);
}

}  // namespace

int response::as_int32_t() const { return strict<int32_index>(oid_, value_); }
unsigned response::as_uint32_t() const { return strict<uint32_index>(oid_, value_); }
timeticks_t response::as_timeticks_t() const { return strict<timeticks_index>(oid_, value_); }
std::int64_t response::as_int64_t() const { return strict<int64_index>(oid_, value_); }
std::uint64_t response::as_uint64_t() const { return strict<uint64_index>(oid_, value_); }
float response::as_float() const { return strict<float_index>(oid_, value_); }
double response::as_double() const { return strict<double_index>(oid_, value_); }

kestrel::oid response::as_oid() const {
  if (held_index(value_) != oid_index) {
    throw exceptions::oid_has_wrong_type(oid_.name(), type_name(value_), "OID");
  }
  return held<oid_index>(value_);
}

std::string response::as_string() const {
  switch (held_index(value_)) {
    case null_index:
      return "(null)";
    case int32_index:
      return std::to_string(held<int32_index>(value_));
    case uint32_index:
      return std::to_string(held<uint32_index>(value_));
    case timeticks_index:
      return std::to_string(held<timeticks_index>(value_).count());
    case int64_index:
      return std::to_string(held<int64_index>(value_));
    case uint64_index:
      return std::to_string(held<uint64_index>(value_));
    case float_index:
      return fixed_six_decimals(static_cast<double>(held<float_index>(value_)));
    case double_index:
      return fixed_six_decimals(held<double_index>(value_));
    case string_index:
      return held<string_index>(value_);
    case oid_index:
      return held<oid_index>(value_).name();
    default:
      return held<error_index>(value_);
  }
}

bool response::is_convertible_to_double() const {
  switch (held_index(value_)) {
    case int32_index:
    case uint32_index:
    case timeticks_index:
    case int64_index:
    case uint64_index:
    case float_index:
    case double_index:
      return true;
    default:
      return false;
  }
}

bool response::is_convertible_to_int64_t() const {
  switch (held_index(value_)) {
    case int32_index:
    case uint32_index:
    case timeticks_index:
    case int64_index:
    case float_index:
    case double_index:
      return true;
    default:
      return false;
  }
}

bool response::is_convertible_to_uint64_t() const {
  switch (held_index(value_)) {
    case uint32_index:
    case timeticks_index:
    case uint64_index:
      return true;
    default:
      return false;
  }
}

double response::as_converted_to_double() const {
  switch (held_index(value_)) {
    case int32_index:
      return held<int32_index>(value_);
    case uint32_index:
      return held<uint32_index>(value_);
    case timeticks_index:
      // Hundredths to seconds, rounded once.
      return static_cast<double>(held<timeticks_index>(value_).count()) / 100.0;
    case int64_index:
      return static_cast<double>(held<int64_index>(value_));
    case uint64_index:
      return static_cast<double>(held<uint64_index>(value_));
    case float_index:
      return held<float_index>(value_);
    case double_index:
      return held<double_index>(value_);
    default:
      throw exceptions::oid_has_wrong_type(oid_.name(), type_name(value_),
                                           type_names[double_index]);
  }
}

std::int64_t response::as_converted_to_int64_t() const {
  switch (held_index(value_)) {
    case int32_index:
      return held<int32_index>(value_);
    case uint32_index:
      return held<uint32_index>(value_);
    case timeticks_index:
      return held<timeticks_index>(value_).count();
    case int64_index:
      return held<int64_index>(value_);
    case float_index:
      return truncate_to_int64(held<float_index>(value_));
    case double_index:
      return truncate_to_int64(held<double_index>(value_));
    default:
      throw exceptions::oid_has_wrong_type(oid_.name(), type_name(value_), type_names[int64_index]);
  }
}

std::uint64_t response::as_converted_to_uint64_t() const {
  switch (held_index(value_)) {
    case uint32_index:
      return held<uint32_index>(value_);
    case timeticks_index:
      // Time ticks never hold a negative count on the wire; the count is passed on as is.
      return static_cast<std::uint64_t>(held<timeticks_index>(value_).count());
    case uint64_index:
      return held<uint64_index>(value_);
    default:
      throw exceptions::oid_has_wrong_type(oid_.name(), type_name(value_),
                                           type_names[uint64_index]);
  }
}

std::string response::str() const {
  const char* type = type_names[held_index(value_)];
  const std::string numeric = library::numeric_oid_to_string(oid_.numeric_oid());
  const std::string value = as_string();
  std::string text;
  text.reserve(oid_.name().size() + numeric.size() + value.size() + 32);
  return text.append(oid_.name())
      .append(" (")
      .append(numeric)
      .append(") ")
      .append(type)
      .append(": ")
      .append(value);
}

}  // namespace corvane::tallis::kestrel
