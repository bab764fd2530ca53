#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include <kestrel/export.hpp>
#include <kestrel/oid.hpp>

namespace corvane::tallis::kestrel {

namespace detail {
struct response_access;
}

/// Time ticks: a signed 64-bit count of hundredths of a second.
using timeticks_t = std::chrono::duration<std::int64_t, std::ratio<1, 100>>;

/// One variable binding as handed to callers: the OID and a typed value. Immutable.
class KESTREL_EXPORT response {
 public:
  /// One alternative of `value_t`; N only keeps two alternatives of the same T apart.
  template <class T, int N>
  struct Wrapped {
    T value;
    bool operator==(const Wrapped&) const = default;
  };

  /// The eleven value alternatives; their order is part of the interface.
  using value_t = std::variant<Wrapped<std::monostate, 0>,  // 0 NULL
                               Wrapped<int, 0>,             // 1 Integer (32bit)
                               Wrapped<unsigned, 0>,        // 2 Unsigned Integer (32bit)
                               Wrapped<timeticks_t, 0>,     // 3 Time Ticks (32bit)
                               Wrapped<std::int64_t, 0>,    // 4 Integer (64bit)
                               Wrapped<std::uint64_t, 0>,   // 5 Unsigned Integer (64bit)
                               Wrapped<float, 0>,           // 6 Float
                               Wrapped<double, 0>,          // 7 Double
                               Wrapped<std::string, 0>,     // 8 String (raw bytes)
                               Wrapped<kestrel::oid, 0>,    // 9 OID
                               Wrapped<std::string, 1>>;    // 10 Error marker

  using null_value = Wrapped<std::monostate, 0>;
  using int32_value = Wrapped<int, 0>;
  using uint32_value = Wrapped<unsigned, 0>;
  using timeticks_value = Wrapped<timeticks_t, 0>;
  using int64_value = Wrapped<std::int64_t, 0>;
  using uint64_value = Wrapped<std::uint64_t, 0>;
  using float_value = Wrapped<float, 0>;
  using double_value = Wrapped<double, 0>;
  using string_value = Wrapped<std::string, 0>;
  using oid_value = Wrapped<kestrel::oid, 0>;
  using error_value = Wrapped<std::string, 1>;

  /// The user-visible type name of the held alternative ("Integer (32bit)", "Error", ...).
  static std::string type_name(const value_t& value);

  response(kestrel::oid o, value_t value);
  response(const response&);
  response(response&&) noexcept;
  response& operator=(const response&);
  response& operator=(response&&) noexcept;
  ~response();

  const value_t& value() const;
  kestrel::oid oid() const;
  std::string name() const;
  std::vector<long> numeric_oid() const;

  /// False exactly for an error marker; NULL counts as true.
  explicit operator bool() const;

  bool is_null() const;
  bool is_int32_t() const;
  bool is_uint32_t() const;
  bool is_timeticks_t() const;
  bool is_int64_t() const;
  bool is_uint64_t() const;
  bool is_float() const;
  bool is_double() const;
  bool is_string() const;
  bool is_oid() const;
  bool is_error() const;

  /// Strict accessors: throw exceptions::oid_has_wrong_type on any other alternative.
  int as_int32_t() const;
  unsigned as_uint32_t() const;
  timeticks_t as_timeticks_t() const;
  std::int64_t as_int64_t() const;
  std::uint64_t as_uint64_t() const;
  float as_float() const;
  double as_double() const;
  kestrel::oid as_oid() const;

  /// Text form of any alternative: "(null)", decimals, "%f" for floats, tick count, raw
  /// string, the OID's name, the error text.
  std::string as_string() const;

  bool is_convertible_to_double() const;
  bool is_convertible_to_int64_t() const;
  bool is_convertible_to_uint64_t() const;
  /// Lenient conversions; time ticks become seconds only in the double conversion.
  double as_converted_to_double() const;
  std::int64_t as_converted_to_int64_t() const;
  std::uint64_t as_converted_to_uint64_t() const;

  /// name " (" .1.3... ") " type name ": " text
  std::string str() const;

 private:
  friend struct detail::response_access;

  kestrel::oid oid_;
  value_t value_;
};

}  // namespace corvane::tallis::kestrel
