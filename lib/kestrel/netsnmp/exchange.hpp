#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <kestrel/connection.hpp>
#include <kestrel/connection_options.hpp>
#include <kestrel/library.hpp>
#include <kestrel/oid.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/response.hpp>
#include <plover/log_interface.hpp>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/session_netsnmp.hpp"

namespace corvane::tallis::kestrel {

namespace detail {

/// A number in hexadecimal digits, zero-padded to at least `width` digits.
struct hex_digits {
  std::uint64_t value;
  int width;
};

/// A number with `precision` digits after the point, as "%.*f" writes it in the "C" locale.
struct fixed_digits {
  double value;
  int precision;
};

/// Builds one log message from one statement: every `<<` appends to the text (and returns the
/// same logger), and the logger writes it at level 7 when it goes away at the end of the
/// statement. Numbers are written as a stream with default flags writes them in the "C" locale
/// (integers in hexadecimal after std::hex); sub-identifier lists as ".1.3.6".
class stream_logger {
 public:
  explicit stream_logger(plover::log_interface& logger);
  /// Builds the text in `buffer` itself, so that a caller that writes many messages allocates
  /// once; one message at a time. `uncaught` is std::uncaught_exceptions() as it stands where
  /// the messages are written.
  stream_logger(plover::log_interface& logger, std::string& buffer, int uncaught);
  stream_logger(stream_logger&& other) noexcept;
  stream_logger(const stream_logger&) = delete;
  stream_logger& operator=(const stream_logger&) = delete;
  stream_logger& operator=(stream_logger&&) = delete;
  // Writes the message unless an exception is on its way out of the statement that built it.
  ~stream_logger() noexcept(false);

  stream_logger&& operator<<(std::string_view text);
  stream_logger&& operator<<(char c);
  template <class T>
  requires std::integral<T> &&(!std::same_as<T, bool>)&&(!std::same_as<T, char>)&&(
      !std::same_as<T, signed char>)&&(!std::same_as<T, unsigned char>)stream_logger&&
  operator<<(T value) {
    if (hex_) {
      append_unsigned(static_cast<std::make_unsigned_t<T>>(value), 16);
    } else if constexpr (std::is_signed_v<T>) {
      append_signed(value);
    } else {
      append_unsigned(value, 10);
    }
    return std::move(*this);
  }
  stream_logger&& operator<<(double value);
  stream_logger&& operator<<(const std::vector<long>& numeric);
  stream_logger&& operator<<(hex_digits number);
  stream_logger&& operator<<(fixed_digits number);
  /// std::endl writes a line break; other stream manipulators change nothing.
  stream_logger&& operator<<(std::ostream& (*manipulator)(std::ostream&));
  /// std::hex and std::dec switch the base of the integers after them.
  stream_logger&& operator<<(std::ios_base& (*manipulator)(std::ios_base&));

 private:
  void append_signed(long long value);
  void append_unsigned(unsigned long long value, int base);

  plover::log_interface* logger_;  // null once handed on
  std::string own_;
  std::string* text_;  // own_ or the caller's buffer
  bool hex_ = false;
  int uncaught_;
};

}  // namespace detail

/// Makes the stream_loggers of one answer's dump: each message is built in `buffer`.
struct logger_factory {
  plover::log_interface& logger;
  std::string& buffer;
  int uncaught = std::uncaught_exceptions();

  detail::stream_logger operator()() const { return {logger, buffer, uncaught}; }
};

/// Runs one request over `session`: a GET (repeated without the OIDs an SNMPv1 agent reports
/// as missing), a GETNEXT walk, or one GETBULK (a bounded walk on SNMPv1 or when bulk requests
/// are off).
std::vector<response> run_request(session_netsnmp& session, oid_request request,
                                  const execute_context& context,
                                  const connection_options& options = connection_options{});

/// Gives the session's transport back its own receive function, if the check of wide
/// integers (connection_options::check_integer_range) took it over.
void stop_inspecting(session_netsnmp& session);

/// A new PDU for the request's query type; a GETBULK asks for `bulk_size()` repetitions and no
/// non-repeaters. Throws std::runtime_error("Never reached") for another type.
pdu_ptr create_pdu(context_netsnmp& engine, const oid_request& request);

/// Adds `o` with a null value to `pdu`, logging its name. Throws exceptions::parameter_invalid
/// when the engine refuses it.
void add_oid_to_pdu(session_netsnmp& session, const oid& o, netsnmp_pdu& pdu,
                    plover::log_interface& logger);

/// The responses of the bindings of `pdu`; an error status becomes one error response for the
/// request's last OID. `last_oid` receives the OID of the last binding and `more` turns false at
/// an error; either may be null.
std::vector<response> responses_from_pdu(context_netsnmp& engine, const oid_request& request,
                                         const netsnmp_pdu& pdu, const execute_context& context,
                                         oid* last_oid, bool* more,
                                         const connection_options& options = connection_options{});

/// The value of one binding, or nothing for a type without one (IpAddress, Opaque, ...,
/// unless `options.convert_all_types`).
std::optional<response::value_t> value_from_variable(
    const library& library, const netsnmp_variable_list& variable,
    const logger_factory& make_logger, const connection_options& options = connection_options{});

/// Appends `converted` to `result`, cut at the first response outside the request's subtree,
/// which is replaced by an "End Of Table" error response. With `options.exact_subtree` the
/// test is by sub-identifiers, and an outside response ends the subtree only when no later
/// inside response comes after the last one kept (otherwise it is dropped).
void append_within_subtree(const oid_request& request, std::vector<response>& result,
                           std::vector<response> converted,
                           const connection_options& options = connection_options{});

}  // namespace corvane::tallis::kestrel
