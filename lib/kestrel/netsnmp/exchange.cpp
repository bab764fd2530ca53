#include "netsnmp/exchange.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include <kestrel/exceptions.hpp>

#include "request/oid_order.hpp"
#include "request/table_paging.hpp"
#include "values/response_access.hpp"

namespace corvane::tallis::kestrel {

namespace {

// One sub-identifier as the dump writes it: "." and the number in decimal.
void append_sub_identifier(std::string& text, long sub_identifier) {
  char digits[24];
  digits[0] = '.';
  text.append(digits, std::to_chars(digits + 1, digits + sizeof digits, sub_identifier).ptr);
}

}  // namespace

namespace detail {

stream_logger::stream_logger(plover::log_interface& logger)
    : logger_(&logger), text_(&own_), uncaught_(std::uncaught_exceptions()) {}

stream_logger::stream_logger(plover::log_interface& logger, std::string& buffer, int uncaught)
    : logger_(&logger), text_(&buffer), uncaught_(uncaught) {
  buffer.clear();
}

stream_logger::stream_logger(stream_logger&& other) noexcept
    : logger_(std::exchange(other.logger_, nullptr)),
      own_(std::move(other.own_)),
      text_(other.text_ == &other.own_ ? &own_ : other.text_),
      hex_(other.hex_),
      uncaught_(other.uncaught_) {}

stream_logger::~stream_logger() noexcept(false) {
  if (logger_ != nullptr && std::uncaught_exceptions() == uncaught_) logger_->log(7, *text_);
}

stream_logger&& stream_logger::operator<<(std::string_view text) {
  text_->append(text);
  return std::move(*this);
}

stream_logger&& stream_logger::operator<<(char c) {
  text_->push_back(c);
  return std::move(*this);
}

void stream_logger::append_signed(long long value) {
  char digits[24];
  text_->append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void stream_logger::append_unsigned(unsigned long long value, int base) {
  char digits[24];
  text_->append(digits, std::to_chars(digits, digits + sizeof digits, value, base).ptr);
}

stream_logger&& stream_logger::operator<<(double value) {
  // A stream's default: "%g" with six significant digits.
  char digits[32];
  text_->append(
      digits,
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr);
  return std::move(*this);
}

stream_logger&& stream_logger::operator<<(const std::vector<long>& numeric) {
  for (long sub_identifier : numeric) append_sub_identifier(*text_, sub_identifier);
  return std::move(*this);
}

stream_logger&& stream_logger::operator<<(hex_digits number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number.value, 16).ptr;
  const auto length = static_cast<int>(end - digits);
  if (length < number.width) text_->append(static_cast<std::size_t>(number.width - length), '0');
  text_->append(digits, static_cast<std::size_t>(end - digits));
  return std::move(*this);
}

stream_logger&& stream_logger::operator<<(fixed_digits number) {
  // The largest double has 309 digits before the point.
  char digits[400];
  text_->append(digits, std::to_chars(digits, digits + sizeof digits, number.value,
                                      std::chars_format::fixed, number.precision)
                            .ptr);
  return std::move(*this);
}

stream_logger&& stream_logger::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
  if (manipulator == static_cast<std::ostream& (*)(std::ostream&)>(std::endl)) {
    text_->push_back('\n');
  }
  return std::move(*this);
}

stream_logger&& stream_logger::operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
  if (manipulator == &std::hex) hex_ = true;
  if (manipulator == &std::dec) hex_ = false;
  return std::move(*this);
}

}  // namespace detail

namespace {

using detail::response_access;
using detail::stream_logger;

const oid& oid_of(const response& r) { return response_access::oid_of(r); }

// Request PDU commands, exchange statuses and response error statuses of the engine.
constexpr int command_get = SNMP_MSG_GET;
constexpr int command_getnext = SNMP_MSG_GETNEXT;
constexpr int command_getbulk = SNMP_MSG_GETBULK;
constexpr int status_success = STAT_SUCCESS;
constexpr int status_timeout = STAT_TIMEOUT;
constexpr long error_none = SNMP_ERR_NOERROR;
constexpr long error_no_such_name = SNMP_ERR_NOSUCHNAME;
constexpr long error_too_big = SNMP_ERR_TOOBIG;
constexpr u_long probe_flags = SNMP_FLAGS_DONT_PROBE | SNMP_FLAGS_USER_CREATED;
static_assert(command_get == 0xA0 && command_getnext == 0xA1 && command_getbulk == 0xA5);
static_assert(status_success == 0 && status_timeout == 2 && error_no_such_name == 2);
static_assert(probe_flags == 0x300);

// Variable-binding types, as the engine tags them on the wire.
constexpr u_char type_integer = 0x02;
constexpr u_char type_octet_string = 0x04;
constexpr u_char type_null = 0x05;
constexpr u_char type_object_id = 0x06;
constexpr u_char type_counter = 0x41;
constexpr u_char type_gauge = 0x42;
constexpr u_char type_timeticks = 0x43;
constexpr u_char type_counter64 = 0x46;
constexpr u_char type_float = 0x48;
constexpr u_char type_double = 0x49;
constexpr u_char type_integer64 = 0x4A;
constexpr u_char type_unsigned64 = 0x4B;
constexpr u_char type_no_such_object = 0x80;
constexpr u_char type_no_such_instance = 0x81;
constexpr u_char type_end_of_mib_view = 0x82;
constexpr u_char type_ip_address = ASN_IPADDRESS;
constexpr u_char type_opaque_counter64 = ASN_OPAQUE_COUNTER64;
constexpr u_char type_opaque_float = ASN_OPAQUE_FLOAT;
constexpr u_char type_opaque_double = ASN_OPAQUE_DOUBLE;
constexpr u_char type_opaque_i64 = ASN_OPAQUE_I64;
constexpr u_char type_opaque_u64 = ASN_OPAQUE_U64;
static_assert(type_counter64 == ASN_COUNTER64 && type_no_such_object == SNMP_NOSUCHOBJECT &&
              type_no_such_instance == SNMP_NOSUCHINSTANCE &&
              type_end_of_mib_view == SNMP_ENDOFMIBVIEW);

constexpr std::size_t error_value_index = 10;

const char* const end_of_mib = "End of MIB";
const char* const end_of_table = "End Of Table";

stream_logger dump(plover::log_interface& logger) { return stream_logger(logger); }

const char* query_name(query_t type) {
  switch (type) {
    case query_t::get:
      return "GET";
    case query_t::walk:
      return "GETNEXT";
    case query_t::bulk:
      return "GETBULK";
  }
  return "";
}

void log_oid(stream_logger line, const oid& o) {
  std::move(line) << "  Name: " << o.name() << " (" << o.numeric_oid() << ")";
}

void log_oid(plover::log_interface& logger, const oid& o) { log_oid(stream_logger(logger), o); }

// The numeric text of the OIDs of one answer, as the dump writes them (".1.3.6..."). The cells
// of a column differ only in their last sub-identifier: the text of the rest is kept.
class numeric_text {
 public:
  std::string_view operator()(const std::vector<long>& numeric) {
    if (numeric.empty()) return {};
    const std::size_t stem = numeric.size() - 1;
    if (!std::equal(stem_.begin(), stem_.end(), numeric.begin(), numeric.begin() + stem)) {
      stem_.assign(numeric.begin(), numeric.begin() + stem);
      text_.clear();
      for (long sub_identifier : stem_) append_sub_identifier(text_, sub_identifier);
      stem_length_ = text_.size();
    }
    text_.resize(stem_length_);
    append_sub_identifier(text_, numeric.back());
    return text_;
  }

 private:
  std::vector<long> stem_;
  std::size_t stem_length_ = 0;
  std::string text_;
};

std::vector<long> numeric_from(const ::oid* name, std::size_t length) {
  if (name == nullptr) return {};
  return std::vector<long>(name, name + length);
}

bool within(const oid& o, const oid& subtree) { return o.name().starts_with(subtree.name()); }

void check_limit(std::size_t count, const connection_options& options) {
  if (count > options.max_responses) {
    throw exceptions::response_limit_exceeded(std::to_string(options.max_responses));
  }
}

// Agents that restarted with a new engine ID (or whose learnt user another connection of the
// same engine has just forgotten) are met with these errors; the cure is the same as after a
// time-out: forget the agent and discover it again.
bool stale_agent_error(int engine_error) {
  switch (engine_error) {
    case SNMPERR_UNKNOWN_ENG_ID:
    case SNMPERR_UNKNOWN_USER_NAME:
    case SNMPERR_NOT_IN_TIME_WINDOW:
    case SNMPERR_USM_UNKNOWNSECURITYNAME:
    case SNMPERR_USM_UNKNOWNENGINEID:
    case SNMPERR_USM_NOTINTIMEWINDOW:
      return true;
    default:
      return false;
  }
}

// ---- integers wider than their 32-bit type --------------------------------------------
// The engine's parser keeps only the low 32 bits of such a value. To tell it, the session's
// transport hands every answer to `receive_and_inspect` first, which notes the wide values
// of the bindings it can read (SNMPv1, SNMPv2c, SNMPv3 without privacy) for this thread's
// running exchange.

struct wide_integer {
  std::vector<std::uint32_t> name;
  std::string value;
};

// The list of the running request on this thread (a plain pointer: thread-local objects with
// destructors are not safe at thread exit on every platform).
thread_local std::vector<wide_integer>* wide_integers = nullptr;

// Makes `found` the list of the running request while it lives.
class wide_integer_scope {
 public:
  explicit wide_integer_scope(std::vector<wide_integer>& found)
      : previous_(std::exchange(wide_integers, &found)) {}
  wide_integer_scope(const wide_integer_scope&) = delete;
  wide_integer_scope& operator=(const wide_integer_scope&) = delete;
  ~wide_integer_scope() { wide_integers = previous_; }

 private:
  std::vector<wide_integer>* previous_;
};

using receive_function = int (*)(netsnmp_transport*, void*, int, void**, int*);

std::mutex& receivers_lock() {
  static std::mutex lock;
  return lock;
}

std::map<netsnmp_transport*, receive_function>& receivers() {
  static std::map<netsnmp_transport*, receive_function> originals;
  return originals;
}

struct element {
  u_char tag = 0;
  const u_char* body = nullptr;
  std::size_t length = 0;
};

bool read_element(const u_char*& at, const u_char* end, element& out) {
  if (end - at < 2) return false;
  out.tag = *at++;
  std::size_t length = *at++;
  if (length & 0x80u) {
    std::size_t count = length & 0x7Fu;
    if (count == 0 || count > sizeof(std::uint32_t) || static_cast<std::size_t>(end - at) < count) {
      return false;
    }
    for (length = 0; count > 0; --count) length = (length << 8) | *at++;
  }
  if (static_cast<std::size_t>(end - at) < length) return false;
  out.body = at;
  out.length = length;
  at += length;
  return true;
}

std::vector<std::uint32_t> decoded_name(const element& name) {
  std::vector<std::uint32_t> numbers;
  if (name.length == 0) return numbers;
  numbers = {name.body[0] / 40u, name.body[0] % 40u};
  std::uint32_t value = 0;
  for (std::size_t i = 1; i < name.length; ++i) {
    value = (value << 7) | (name.body[i] & 0x7Fu);
    if (!(name.body[i] & 0x80u)) {
      numbers.push_back(value);
      value = 0;
    }
  }
  return numbers;
}

// The value's text when it does not fit its 32-bit type.
std::optional<std::string> wide_value(const element& value) {
  if (value.length > 8) return std::to_string(value.length) + "-byte value";
  std::uint64_t bits = value.length > 0 && (value.body[0] & 0x80u) ? ~std::uint64_t{0} : 0;
  for (std::size_t i = 0; i < value.length; ++i) bits = (bits << 8) | value.body[i];
  if (value.tag == type_integer) {
    const auto signed_value = static_cast<std::int64_t>(bits);
    if (signed_value < INT32_MIN || signed_value > INT32_MAX) return std::to_string(signed_value);
  } else if (bits > UINT32_MAX) {
    return std::to_string(bits);
  }
  return std::nullopt;
}

void find_wide_integers(const u_char* at, const u_char* end, int depth) {
  element outer;
  while (depth < 8 && read_element(at, end, outer)) {
    const bool constructed = outer.tag == 0x30 || (outer.tag >= 0xA0 && outer.tag <= 0xA8);
    if (!constructed) continue;
    const u_char* inner = outer.body;
    const u_char* inner_end = outer.body + outer.length;
    element name;
    element value;
    if (outer.tag == 0x30 && read_element(inner, inner_end, name) && name.tag == type_object_id &&
        read_element(inner, inner_end, value) && inner == inner_end) {
      if (value.tag == type_integer || value.tag == type_counter || value.tag == type_gauge ||
          value.tag == type_timeticks) {
        if (auto text = wide_value(value); text && wide_integers != nullptr) {
          wide_integers->push_back({decoded_name(name), *text});
        }
      }
      continue;
    }
    find_wide_integers(outer.body, inner_end, depth + 1);
  }
}

int receive_and_inspect(netsnmp_transport* transport, void* buffer, int size, void** opaque,
                        int* opaque_length) {
  receive_function original = nullptr;
  {
    std::lock_guard<std::mutex> lock(receivers_lock());
    const auto found = receivers().find(transport);
    if (found != receivers().end()) original = found->second;
  }
  if (original == nullptr) return -1;
  const int received = original(transport, buffer, size, opaque, opaque_length);
  if (received > 0) {
    const auto* bytes = static_cast<const u_char*>(buffer);
    find_wide_integers(bytes, bytes + received, 0);
  }
  return received;
}

netsnmp_transport* transport_of(session_netsnmp& session) {
  return invoke<decltype(::snmp_sess_transport)>(session.context().engine(), "snmp_sess_transport",
                                                 session.handle());
}

void inspect_answers(session_netsnmp& session) {
  std::lock_guard<std::mutex> engine_lock(session.context().engine_lock());
  netsnmp_transport* transport = transport_of(session);
  if (transport == nullptr || transport->f_recv == &receive_and_inspect) return;
  std::lock_guard<std::mutex> lock(receivers_lock());
  receivers()[transport] = transport->f_recv;
  transport->f_recv = &receive_and_inspect;
}

const wide_integer* wide_integer_for(const std::vector<long>& numeric) {
  if (wide_integers == nullptr) return nullptr;
  for (const wide_integer& wide : *wide_integers) {
    if (std::equal(wide.name.begin(), wide.name.end(), numeric.begin(), numeric.end(),
                   [](std::uint32_t a, long b) { return a == static_cast<std::uint32_t>(b); })) {
      return &wide;
    }
  }
  return nullptr;
}

unsigned dropped_answers(context_netsnmp& engine) {
  // The counters belong to the whole engine instance, which other connections may be using.
  std::lock_guard<std::mutex> lock(engine.engine_lock());
  unsigned count = 0;
  for (int statistic : {STAT_SNMPINASNPARSEERRS, STAT_SNMPINBADVERSIONS}) {
    count +=
        invoke<decltype(::snmp_get_statistic)>(engine.engine(), "snmp_get_statistic", statistic);
  }
  return count;
}

// One exchange of the running request; a time-out after answers that the engine could not
// parse says so in the dump, since the time-out text alone points elsewhere.
pdu_ptr exchange_once(session_netsnmp& session, netsnmp_pdu& pdu, const execute_context& context,
                      const connection_options& options) {
  context_netsnmp& engine = session.context();
  if (wide_integers != nullptr) wide_integers->clear();
  if (options.check_integer_range) inspect_answers(session);
  const unsigned before = dropped_answers(engine);
  try {
    return engine.exchange(session.handle(), &pdu, context.compat.do_retry(),
                           context.compat.delay(), &session.ahead());
  } catch (const exceptions::timeout&) {
    if (const unsigned dropped = dropped_answers(engine) - before) {
      stream_logger(context.logger)
          << "  The engine dropped " << dropped << " malformed answer(s) from the agent.";
    }
    throw;
  }
}

void pause(std::chrono::milliseconds delay) {
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
}

// The engine's error for a session as the exceptions take it: system error number, engine
// error number, message.
struct netsnmp_error {
  std::string system_error;
  std::string engine_error;
  std::string message;
};

netsnmp_error session_error(context_netsnmp& engine, void* handle) {
  int system_error = 0;
  int engine_error = 0;
  char* message = nullptr;
  engine.snmp_sess_error(handle, &system_error, &engine_error, &message);
  netsnmp_error error{std::to_string(system_error), std::to_string(engine_error),
                      message != nullptr ? message : ""};
  std::free(message);
  return error;
}

// Makes the engine forget the agent's engine identifiers and the user it localised for them,
// so that the next attempt discovers the agent afresh (it may have restarted with new ones).
void forget_agent(context_netsnmp& engine, netsnmp_session& session) {
  if (struct usmUser* user = engine.usm_get_user(
          session.securityEngineID, session.securityEngineIDLen, session.securityName)) {
    engine.usm_remove_user(user);
    engine.usm_free_user(user);
  }
  std::free(session.contextEngineID);
  session.contextEngineID = nullptr;
  session.contextEngineIDLen = 0;
  std::free(session.securityEngineID);
  session.flags &= ~probe_flags;
  session.securityEngineID = nullptr;
  session.securityEngineIDLen = 0;
}

detail::hex_digits hex_byte(unsigned value) { return {value & 0xFFu, 2}; }

constexpr const char* hex_digit_chars = "0123456789abcdef";

std::string hex_text(unsigned value) {
  return {hex_digit_chars[(value >> 4) & 0xFu], hex_digit_chars[value & 0xFu]};
}

// The bytes themselves when every one is printable ASCII, otherwise two hex digits per byte.
std::string_view printable_or_hex(const std::string& bytes, std::string& hex) {
  const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 32 && u <= 126;
  });
  if (printable) return bytes;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) hex += hex_text(static_cast<unsigned char>(c));
  return hex;
}

void log_int(const logger_factory& make, std::int32_t value) {
  make() << "    Int: " << value << " (0x"
         << detail::hex_digits{static_cast<std::uint32_t>(value), 4} << ")";
}

void log_int64(const logger_factory& make, std::uint64_t value) {
  make() << "    Int64: " << value << " (0x" << detail::hex_digits{value, 8} << ")";
}

std::optional<std::uint64_t> read_64(const netsnmp_variable_list& variable) {
  if (variable.val.counter64 == nullptr) return std::nullopt;
  const auto high = static_cast<std::uint32_t>(variable.val.counter64->high);
  const auto low = static_cast<std::uint32_t>(variable.val.counter64->low);
  return (static_cast<std::uint64_t>(high) << 32) + low;
}

// A binding of a type without a conversion of its own, for `convert_all_types`: IpAddress as
// dotted text, the engine's decoded Opaque numbers as numbers, anything else as raw bytes.
std::optional<response::value_t> other_value(const netsnmp_variable_list& variable,
                                             const logger_factory& make_logger) {
  switch (variable.type) {
    case type_ip_address:
      if (variable.val.string != nullptr && variable.val_len == 4) {
        const u_char* b = variable.val.string;
        std::string text = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." +
                           std::to_string(b[2]) + "." + std::to_string(b[3]);
        make_logger() << "    IpAddress: " << text;
        return response::string_value{std::move(text)};
      }
      break;
    case type_opaque_float:
      if (variable.val.floatVal == nullptr) break;
      make_logger() << "    Float: " << *variable.val.floatVal;
      return response::float_value{*variable.val.floatVal};
    case type_opaque_double:
      if (variable.val.doubleVal == nullptr) break;
      make_logger() << "    Double: " << *variable.val.doubleVal;
      return response::double_value{*variable.val.doubleVal};
    case type_opaque_counter64:
    case type_opaque_u64:
      if (const auto value = read_64(variable)) {
        log_int64(make_logger, *value);
        return response::uint64_value{*value};
      }
      break;
    case type_opaque_i64:
      if (const auto value = read_64(variable)) {
        log_int64(make_logger, *value);
        return response::int64_value{static_cast<std::int64_t>(*value)};
      }
      break;
    default:
      break;
  }
  if (variable.val.string == nullptr && variable.val_len > 0) {
    const std::string text = "Unconvertible value of type 0x" + hex_text(variable.type);
    make_logger() << "  " << text;
    return response::error_value{text};
  }
  std::string bytes;
  if (variable.val.string != nullptr) {
    bytes.assign(reinterpret_cast<const char*>(variable.val.string), variable.val_len);
  }
  std::string hex;
  make_logger() << "    Bytes(" << variable.val_len << "): " << printable_or_hex(bytes, hex);
  return response::string_value{std::move(bytes)};
}

std::vector<response> run_get(session_netsnmp& session, const oid_request& request,
                              const execute_context& context, const connection_options& options) {
  context_netsnmp& engine = session.context();
  std::vector<response> result;
  std::vector<oid> pending = request.oids();
  pdu_ptr held;
  while (!pending.empty()) {
    dump(context.logger) << "Request " << query_name(request.type()) << ":";
    pdu_ptr pdu = create_pdu(engine, request);
    for (const oid& o : pending) add_oid_to_pdu(session, o, *pdu, context.logger);
    held = exchange_once(session, *pdu, context, options);

    // An SNMPv1 agent rejects the whole GET for one missing OID and names it by its position:
    // record that OID as missing and ask again for the others.
    if (held->errstat != error_no_such_name) break;
    const long index = held->errindex - 1;
    if (index < 0 || static_cast<std::size_t>(index) >= pending.size()) break;
    const oid missing = pending[static_cast<std::size_t>(index)];
    dump(context.logger) << "  " << missing.name() << "(" << missing.numeric_oid() << ")"
                         << ": " << end_of_mib;
    result.emplace_back(missing, response::error_value{end_of_mib});
    pending.erase(pending.begin() + index);
    if (!pending.empty()) pause(context.compat.delay());
  }
  if (held) {
    // One error response per OID of the last GET needs that GET's OIDs.
    const bool per_oid = options.error_per_oid && !pending.empty();
    std::vector<response> converted =
        responses_from_pdu(engine, per_oid ? oid_request(query_t::get, pending) : request, *held,
                           context, nullptr, nullptr, options);
    result.insert(result.end(), std::make_move_iterator(converted.begin()),
                  std::make_move_iterator(converted.end()));
  }
  return result;
}

std::vector<response> run_walk(session_netsnmp& session, const oid_request& request,
                               const execute_context& context, const connection_options& options) {
  context_netsnmp& engine = session.context();
  dump(context.logger) << "Request " << query_name(request.type()) << " (depth "
                       << request.max_depth() << "):";
  if (request.oids().size() != 1) {
    throw std::runtime_error("GETNEXT currently does not support multiple OIDs.");
  }
  std::vector<response> result;
  oid current = request.oids().front();
  bool more = true;
  int remaining = request.max_depth();
  for (;;) {
    if (--remaining < 0) break;
    pdu_ptr pdu = create_pdu(engine, request);
    add_oid_to_pdu(session, current, *pdu, context.logger);
    pdu_ptr answer = exchange_once(session, *pdu, context, options);

    oid last = current;
    std::vector<response> converted =
        responses_from_pdu(engine, request, *answer, context, &last, &more, options);
    if (answer->errstat == error_none && last != current && !comes_before(current, last)) {
      // An agent that goes back would lead the walk round in circles: what it sent from here
      // on is not data, and the walk ends with what it had.
      stream_logger(context.logger)
          << "  OID not increasing: " << last.name() << " (" << last.numeric_oid() << ") after "
          << current.name() << " (" << current.numeric_oid() << ")";
      break;
    }
    append_within_subtree(request, result, std::move(converted), options);
    check_limit(result.size(), options);
    if (answer->errstat == error_none) {
      // An agent that answers with the OID it was asked for (or with nothing) would hold the
      // walk in place for ever.
      if (current == last) more = false;
      const auto& subtree = request.only_children_of_oid();
      if (subtree &&
          !(options.exact_subtree ? lies_within(last, *subtree) : within(last, *subtree))) {
        more = false;
      }
      current = last;
    }
    if (!more) break;
    pause(context.compat.delay());
  }
  return result;
}

// Whether a binding is a value that converts as it is, whatever the connection's options.
bool plain_value(const netsnmp_variable_list& v) {
  switch (v.type) {
    case type_integer:
    case type_counter:
    case type_gauge:
    case type_timeticks:
      return v.val.integer != nullptr;
    case type_counter64:
      return v.val.counter64 != nullptr;
    case type_octet_string:
      return v.val.string != nullptr;
    case type_object_id:
      return v.val.objid != nullptr;
    default:
      return false;
  }
}

std::span<const ::oid> name_of(const netsnmp_variable_list& v) {
  return {v.name, v.name == nullptr ? 0 : v.name_length};
}

// The OID of the pass that a whole-table read asks for after this answer to `request`, when it
// is sure to ask: every binding a plain value, each after the one before (the first after the
// OID asked for) and the last inside the table, so that the read keeps them all and goes on
// after the last; and no pause due between requests.
std::optional<std::vector<::oid>> next_pass(const oid_request& request, const netsnmp_pdu& answer,
                                            const execute_context& context) {
  const auto& subtree = request.only_children_of_oid();
  if (table_paging_scope::current() == 0 || !subtree || context.compat.delay().count() > 0 ||
      answer.errstat != error_none || answer.variables == nullptr ||
      (wide_integers != nullptr && !wide_integers->empty())) {
    return std::nullopt;
  }
  const std::vector<long>& start = request.oids().front().numeric_oid();
  const std::vector<::oid> asked(start.begin(), start.end());
  std::span<const ::oid> previous(asked);
  for (const netsnmp_variable_list* v = answer.variables; v != nullptr; v = v->next_variable) {
    if (!plain_value(*v) || !sub_identifiers_before(previous, name_of(*v))) return std::nullopt;
    previous = name_of(*v);
  }
  // The bindings rise from the OID asked for, which lies in the table: they all lie in it when
  // the last one does.
  if (!sub_identifiers_within(previous, subtree->numeric_oid())) return std::nullopt;
  return std::vector<::oid>(previous.begin(), previous.end());
}

std::vector<response> run_bulk(session_netsnmp& session, const oid_request& request,
                               const execute_context& context, const connection_options& options) {
  context_netsnmp& engine = session.context();
  dump(context.logger) << "Request " << query_name(request.type()) << " (bulk size "
                       << request.bulk_size() << "):";
  pdu_ptr pdu = create_pdu(engine, request);
  if (request.oids().size() != 1) {
    throw std::runtime_error("GETBULK currently does not support multiple OIDs.");
  }
  add_oid_to_pdu(session, request.oids().front(), *pdu, context.logger);
  pdu_ptr answer = exchange_once(session, *pdu, context, options);
  // An agent whose answer would not fit its packet may still send a smaller one.
  while (options.shrink_bulk_on_too_big && answer->errstat == error_too_big &&
         pdu->max_repetitions > 1) {
    pdu->max_repetitions /= 2;
    stream_logger(context.logger) << "  Too big: asking again with bulk size "
                                  << pdu->max_repetitions;
    pause(context.compat.delay());
    answer = exchange_once(session, *pdu, context, options);
  }
  // The agent works on the next pass while this one is converted.
  if (const auto next = next_pass(request, *answer, context)) {
    pdu_ptr ahead = create_pdu(engine, request);
    if (ahead && engine.snmp_add_null_var(ahead.get(), next->data(), next->size()) != nullptr) {
      engine.send_ahead(session.handle(), std::move(ahead), session.ahead(),
                        table_paging_scope::current());
    }
  }
  std::vector<response> result;
  append_within_subtree(
      request, result,
      responses_from_pdu(engine, request, *answer, context, nullptr, nullptr, options), options);
  check_limit(result.size(), options);
  return result;
}

}  // namespace

void stop_inspecting(session_netsnmp& session) {
  netsnmp_transport* transport = transport_of(session);
  std::lock_guard<std::mutex> lock(receivers_lock());
  const auto found = receivers().find(transport);
  if (found == receivers().end()) return;
  transport->f_recv = found->second;
  receivers().erase(found);
}

pdu_ptr context_netsnmp::wrap(netsnmp_pdu* pdu) {
  return pdu_ptr(pdu, [self = shared_from_this()](netsnmp_pdu* p) { self->snmp_free_pdu(p); });
}

pdu_ptr context_netsnmp::exchange(void* handle, netsnmp_pdu* pdu, bool retry,
                                  std::chrono::milliseconds delay, read_ahead* ahead) {
  std::lock_guard<std::mutex> lock(engine_lock_);
  netsnmp_session* session = snmp_sess_session(handle);
  if (session == nullptr) throw exceptions::invalid_handle();
  // Every repetition happens here, with its own pause and SNMPv3 reset.
  session->retries = 0;

  // The read-ahead stands for the first attempt when it is this very request.
  int sent = 0;
  if (ahead != nullptr && ahead->request_id != 0) {
    const netsnmp_variable_list* only = pdu->variables;
    if (ahead->paging == table_paging_scope::current() && pdu->command == command_getbulk &&
        pdu->max_repetitions == ahead->max_repetitions && only != nullptr &&
        only->next_variable == nullptr &&
        std::equal(ahead->name.begin(), ahead->name.end(), only->name,
                   only->name + only->name_length)) {
      sent = ahead->request_id;
    }
    *ahead = read_ahead{};
  }

  int attempts = retry ? 3 : 1;
  for (;;) {
    netsnmp_pdu* response = nullptr;
    const int status = sent != 0
                           ? synch_response(handle, nullptr, &response, std::exchange(sent, 0))
                           : synch_response(handle, snmp_clone_pdu(pdu), &response);
    pdu_ptr answer = wrap(response);
    if (status == status_success && answer) return answer;
    if (session->version == SNMP_VERSION_3 &&
        (status == status_timeout ||
         (status != status_success && stale_agent_error(session->s_snmp_errno)))) {
      forget_agent(*this, *session);
    }
    pause(delay);
    if (--attempts == 0) {
      if (status == status_timeout) throw exceptions::timeout();
      const netsnmp_error error = session_error(*this, handle);
      throw exceptions::communication_error(error.system_error, error.engine_error, error.message);
    }
  }
}

void context_netsnmp::send_ahead(void* handle, pdu_ptr pdu, read_ahead& ahead,
                                 unsigned long paging) {
  std::lock_guard<std::mutex> lock(engine_lock_);
  netsnmp_session* session = snmp_sess_session(handle);
  if (session == nullptr || !pdu || pdu->variables == nullptr) return;
  const netsnmp_variable_list& only = *pdu->variables;
  read_ahead next{static_cast<int>(pdu->reqid),
                  std::vector<::oid>(only.name, only.name + only.name_length), pdu->max_repetitions,
                  paging};
  session->retries = 0;
  // The engine takes the PDU only when it sends it.
  if (invoke<decltype(::snmp_sess_send)>(engine_, "snmp_sess_send", handle, pdu.get()) == 0) return;
  pdu.release();
  ahead = std::move(next);
}

std::vector<response> run_request(session_netsnmp& session, oid_request request,
                                  const execute_context& context,
                                  const connection_options& options) {
  // SNMPv1 has no GETBULK: a walk of as many steps asks for at most as many OIDs.
  if (request.type() == query_t::bulk &&
      (!context.compat.use_bulkget() || session.description().version == SNMP_VERSION_1)) {
    oid_request walk(query_t::walk, request.oids());
    walk.max_depth(request.bulk_size());
    walk.only_children_of_oid(request.only_children_of_oid());
    request = std::move(walk);
  }
  std::vector<wide_integer> wide;
  const wide_integer_scope scope(wide);
  switch (request.type()) {
    case query_t::get:
      return run_get(session, request, context, options);
    case query_t::walk:
      return run_walk(session, request, context, options);
    case query_t::bulk:
      return run_bulk(session, request, context, options);
  }
  return {};
}

pdu_ptr create_pdu(context_netsnmp& engine, const oid_request& request) {
  int command = 0;
  switch (request.type()) {
    case query_t::get:
      command = command_get;
      break;
    case query_t::walk:
      command = command_getnext;
      break;
    case query_t::bulk:
      command = command_getbulk;
      break;
    default:
      throw std::runtime_error("Never reached");
  }
  pdu_ptr pdu = engine.wrap(engine.snmp_pdu_create(command));
  if (command == command_getbulk && pdu) {
    pdu->non_repeaters = 0;
    pdu->max_repetitions = request.bulk_size();
  }
  return pdu;
}

void add_oid_to_pdu(session_netsnmp& session, const oid& o, netsnmp_pdu& pdu,
                    plover::log_interface& logger) {
  log_oid(logger, o);
  const std::vector<long>& numeric = o.numeric_oid();
  std::vector<::oid> name(numeric.begin(), numeric.end());
  if (session.context().snmp_add_null_var(&pdu, name.data(), name.size()) == nullptr) {
    const netsnmp_error error = session_error(session.context(), session.handle());
    throw exceptions::parameter_invalid(error.system_error, error.engine_error, error.message);
  }
}

std::vector<response> responses_from_pdu(context_netsnmp& engine, const oid_request& request,
                                         const netsnmp_pdu& pdu, const execute_context& context,
                                         oid* last_oid, bool* more,
                                         const connection_options& options) {
  plover::log_interface& logger = context.logger;
  dump(logger) << "Response:";
  std::vector<response> result;

  if (pdu.errstat == error_none) {
    std::size_t count = 0;
    for (const netsnmp_variable_list* v = pdu.variables; v != nullptr; v = v->next_variable)
      ++count;
    result.reserve(count);
    // Every line of the answer is built in one buffer.
    std::string line;
    const logger_factory make{logger, line};
    numeric_text numbers;
    for (const netsnmp_variable_list* variable = pdu.variables; variable != nullptr;
         variable = variable->next_variable) {
      std::vector<long> numeric = numeric_from(variable->name, variable->name_length);
      std::string name = context.library.numeric_to_name(numeric);
      oid o(std::move(numeric), std::move(name));
      make() << "  Name: " << o.name() << " (" << numbers(o.numeric_oid()) << ")";
      make() << "    Type: 0x" << hex_byte(variable->type);
      auto value = value_from_variable(context.library, *variable, make, options);
      if (value && options.check_integer_range && value->index() >= 1 && value->index() <= 3) {
        if (const wide_integer* wide = wide_integer_for(o.numeric_oid())) {
          const std::string text = "Value out of range for its 32-bit type: " + wide->value;
          dump(logger) << "  " << text;
          value = response::error_value{text};
        }
      }
      if (last_oid != nullptr) *last_oid = o;
      if (value) {
        if (more != nullptr && value->index() == error_value_index) *more = false;
        result.emplace_back(std::move(o), std::move(*value));
      }
    }
    return result;
  }

  // An error status leaves no usable binding; it stands for the request's last OID, or for
  // every OID asked.
  std::string text = end_of_mib;
  if (pdu.errstat == error_no_such_name) {
    dump(logger) << "  " << end_of_mib;
  } else {
    const char* reason = engine.snmp_errstring(static_cast<int>(pdu.errstat));
    const std::string reason_text = reason != nullptr ? reason : "";
    dump(logger) << "  Error in packet."
                 << "\n"
                 << "Reason: " << reason_text;
    text = "Error in packet. Reason: " + reason_text;
  }
  if (options.error_per_oid) {
    for (const oid& subject : request.oids())
      result.emplace_back(subject, response::error_value{text});
  } else {
    result.emplace_back(request.oids().back(), response::error_value{text});
  }
  if (more != nullptr) *more = false;
  return result;
}

std::optional<response::value_t> value_from_variable(const library& library,
                                                     const netsnmp_variable_list& variable,
                                                     const logger_factory& make_logger,
                                                     const connection_options& options) {
  switch (variable.type) {
    case type_integer: {
      if (variable.val.integer == nullptr) return std::nullopt;
      const auto value = static_cast<std::int32_t>(*variable.val.integer);
      log_int(make_logger, value);
      return response::int32_value{value};
    }
    case type_counter:
    case type_gauge: {
      if (variable.val.integer == nullptr) return std::nullopt;
      const auto value = static_cast<std::int32_t>(*variable.val.integer);
      log_int(make_logger, value);
      return response::uint32_value{static_cast<std::uint32_t>(value)};
    }
    case type_timeticks: {
      if (variable.val.integer == nullptr) return std::nullopt;
      const auto value = static_cast<std::int32_t>(*variable.val.integer);
      log_int(make_logger, value);
      return response::timeticks_value{timeticks_t(static_cast<std::uint32_t>(value))};
    }
    case type_counter64:
    case type_unsigned64: {
      const auto value = read_64(variable);
      if (!value) return std::nullopt;
      log_int64(make_logger, *value);
      return response::uint64_value{*value};
    }
    case type_integer64: {
      const auto value = read_64(variable);
      if (!value) return std::nullopt;
      log_int64(make_logger, *value);
      return response::int64_value{static_cast<std::int64_t>(*value)};
    }
    case type_float: {
      if (variable.val.floatVal == nullptr) return std::nullopt;
      const float value = *variable.val.floatVal;
      make_logger() << "    Float: " << value << " (" << detail::fixed_digits{value, 6} << ")";
      return response::float_value{value};
    }
    case type_double: {
      if (variable.val.doubleVal == nullptr) return std::nullopt;
      const double value = *variable.val.doubleVal;
      make_logger() << "    Double: " << value << " (" << detail::fixed_digits{value, 12} << ")";
      return response::double_value{value};
    }
    case type_octet_string: {
      if (variable.val.string == nullptr) return std::nullopt;
      std::string bytes(reinterpret_cast<const char*>(variable.val.string), variable.val_len);
      std::string hex;
      make_logger() << "    Str(" << variable.val_len << "): " << printable_or_hex(bytes, hex);
      return response::string_value{std::move(bytes)};
    }
    case type_null:
      make_logger() << "    Null";
      return response::null_value{};
    case type_object_id: {
      std::vector<long> numeric =
          numeric_from(variable.val.objid, variable.val_len / sizeof(::oid));
      std::string name = library.numeric_to_name(numeric);
      oid value(std::move(numeric), std::move(name));
      make_logger() << "    Value OID: " << value.name() << "(" << value.numeric_oid() << ")";
      return response::oid_value{std::move(value)};
    }
    case type_no_such_object:
    case type_no_such_instance:
    case type_end_of_mib_view: {
      const char* text =
          variable.type == type_no_such_object
              ? "No Such Object available on this agent at this OID"
          : variable.type == type_no_such_instance
              ? "No Such Instance currently exists at this OID"
              : "No more variables left in this MIB View (It is past the end of the MIB "
                "tree)";
      make_logger() << "  " << text;
      return response::error_value{text};
    }
    default:
      if (!options.convert_all_types) return std::nullopt;
      return other_value(variable, make_logger);
  }
}

void append_within_subtree(const oid_request& request, std::vector<response>& result,
                           std::vector<response> converted, const connection_options& options) {
  const auto& subtree = request.only_children_of_oid();
  if (subtree && options.exact_subtree) {
    // An outside response ends the subtree only when no later inside response carries on
    // after the last one kept; otherwise it is dropped as noise between inside ones.
    std::optional<oid> last_kept;
    const auto carries_on = [&](const response& r) {
      const oid& o = oid_of(r);
      return lies_within(o, *subtree) && (!last_kept || comes_before(*last_kept, o));
    };
    for (auto it = converted.begin(); it != converted.end(); ++it) {
      if (lies_within(oid_of(*it), *subtree)) {
        last_kept = oid_of(*it);
        result.push_back(std::move(*it));
      } else if (std::none_of(it + 1, converted.end(), carries_on)) {
        result.emplace_back(oid_of(*it), response::error_value{end_of_table});
        return;
      }
    }
    return;
  }
  auto cut = converted.end();
  if (subtree) {
    cut = std::partition_point(converted.begin(), converted.end(),
                               [&](const response& r) { return within(oid_of(r), *subtree); });
  }
  std::optional<response> end_marker;
  if (cut != converted.end()) end_marker.emplace(oid_of(*cut), response::error_value{end_of_table});
  converted.erase(cut, converted.end());
  if (result.empty()) {
    result = std::move(converted);
  } else {
    result.insert(result.end(), std::make_move_iterator(converted.begin()),
                  std::make_move_iterator(converted.end()));
  }
  if (end_marker) result.push_back(std::move(*end_marker));
}

}  // namespace corvane::tallis::kestrel
