#include "netsnmp/exchange.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include <kestrel/exceptions.hpp>

namespace corvane::tallis::kestrel {

namespace detail {

stream_logger::stream_logger(plover::log_interface& logger)
    : logger_(&logger),
      stream_(std::make_unique<std::ostringstream>()),
      uncaught_(std::uncaught_exceptions()) {
  // Dump lines read the same whatever global locale the host has set.
  stream_->imbue(std::locale::classic());
}

stream_logger::stream_logger(stream_logger&& other) noexcept
    : logger_(other.logger_), stream_(std::move(other.stream_)), uncaught_(other.uncaught_) {}

stream_logger::~stream_logger() noexcept(false) {
  if (stream_ && std::uncaught_exceptions() == uncaught_) logger_->log(7, stream_->str());
}

stream_logger stream_logger::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
  *stream_ << manipulator;
  return stream_logger(std::move(*this));
}

}  // namespace detail

namespace {

using detail::stream_logger;

// Request PDU commands, exchange statuses and response error statuses of the engine.
constexpr int command_get = SNMP_MSG_GET;
constexpr int command_getnext = SNMP_MSG_GETNEXT;
constexpr int command_getbulk = SNMP_MSG_GETBULK;
constexpr int status_success = STAT_SUCCESS;
constexpr int status_timeout = STAT_TIMEOUT;
constexpr long error_none = SNMP_ERR_NOERROR;
constexpr long error_no_such_name = SNMP_ERR_NOSUCHNAME;
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

std::string numeric_text(const oid& o) { return library::numeric_oid_to_string(o.numeric_oid()); }

void log_oid(plover::log_interface& logger, const oid& o) {
  dump(logger) << "  Name: " << o.name() << " (" << numeric_text(o) << ")";
}

std::vector<long> numeric_from(const ::oid* name, std::size_t length) {
  std::vector<long> numeric;
  if (name == nullptr) return numeric;
  numeric.reserve(length);
  for (std::size_t i = 0; i < length; ++i) numeric.push_back(static_cast<long>(name[i]));
  return numeric;
}

bool within(const oid& o, const oid& subtree) { return o.name().starts_with(subtree.name()); }

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

std::string hex_byte(unsigned value) {
  std::ostringstream text;
  text << std::hex << std::setw(2) << std::setfill('0') << (value & 0xFFu);
  return text.str();
}

std::string printable_or_hex(const std::string& bytes) {
  const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 32 && u <= 126;
  });
  if (printable) return bytes;
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) hex += hex_byte(static_cast<unsigned char>(c));
  return hex;
}

void log_int(const logger_factory& make, std::int32_t value) {
  make() << "    Int: " << value << " (0x" << std::hex << std::setw(4) << std::setfill('0')
         << static_cast<std::uint32_t>(value) << ")";
}

void log_int64(const logger_factory& make, std::uint64_t value) {
  make() << "    Int64: " << value << " (0x" << std::hex << std::setw(8) << std::setfill('0')
         << value << ")";
}

std::optional<std::uint64_t> read_64(const netsnmp_variable_list& variable) {
  if (variable.val.counter64 == nullptr) return std::nullopt;
  const auto high = static_cast<std::uint32_t>(variable.val.counter64->high);
  const auto low = static_cast<std::uint32_t>(variable.val.counter64->low);
  return (static_cast<std::uint64_t>(high) << 32) + low;
}

std::vector<response> run_get(session_netsnmp& session, const oid_request& request,
                              const execute_context& context) {
  context_netsnmp& engine = session.context();
  std::vector<response> result;
  std::vector<oid> pending = request.oids();
  pdu_ptr held;
  while (!pending.empty()) {
    dump(context.logger) << "Request " << query_name(request.type()) << ":";
    pdu_ptr pdu = create_pdu(engine, request);
    for (const oid& o : pending) add_oid_to_pdu(session, o, *pdu, context.logger);
    held = engine.exchange(session.handle(), pdu.get(), context.compat.do_retry(),
                           context.compat.delay());

    // An SNMPv1 agent rejects the whole GET for one missing OID and names it by its position:
    // record that OID as missing and ask again for the others.
    if (held->errstat != error_no_such_name) break;
    const long index = held->errindex - 1;
    if (index < 0 || static_cast<std::size_t>(index) >= pending.size()) break;
    const oid missing = pending[static_cast<std::size_t>(index)];
    dump(context.logger) << "  " << missing.name() << "(" << numeric_text(missing) << ")"
                         << ": " << end_of_mib;
    result.emplace_back(missing, response::error_value{end_of_mib});
    pending.erase(pending.begin() + index);
    if (!pending.empty()) pause(context.compat.delay());
  }
  if (held) {
    std::vector<response> converted =
        responses_from_pdu(engine, request, *held, context, nullptr, nullptr);
    result.insert(result.end(), std::make_move_iterator(converted.begin()),
                  std::make_move_iterator(converted.end()));
  }
  return result;
}

std::vector<response> run_walk(session_netsnmp& session, const oid_request& request,
                               const execute_context& context) {
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
    pdu_ptr answer = engine.exchange(session.handle(), pdu.get(), context.compat.do_retry(),
                                     context.compat.delay());

    oid last = current;
    append_within_subtree(request, result,
                          responses_from_pdu(engine, request, *answer, context, &last, &more));
    if (answer->errstat == error_none) {
      // An agent that answers with the OID it was asked for (or with nothing) would hold the
      // walk in place for ever.
      if (current == last) more = false;
      const auto& subtree = request.only_children_of_oid();
      if (subtree && !within(last, *subtree)) more = false;
      current = last;
    }
    if (!more) break;
    pause(context.compat.delay());
  }
  return result;
}

std::vector<response> run_bulk(session_netsnmp& session, const oid_request& request,
                               const execute_context& context) {
  context_netsnmp& engine = session.context();
  dump(context.logger) << "Request " << query_name(request.type()) << " (bulk size "
                       << request.bulk_size() << "):";
  pdu_ptr pdu = create_pdu(engine, request);
  if (request.oids().size() != 1) {
    throw std::runtime_error("GETBULK currently does not support multiple OIDs.");
  }
  add_oid_to_pdu(session, request.oids().front(), *pdu, context.logger);
  pdu_ptr answer = engine.exchange(session.handle(), pdu.get(), context.compat.do_retry(),
                                   context.compat.delay());
  std::vector<response> result;
  append_within_subtree(request, result,
                        responses_from_pdu(engine, request, *answer, context, nullptr, nullptr));
  return result;
}

}  // namespace

pdu_ptr context_netsnmp::wrap(netsnmp_pdu* pdu) {
  return pdu_ptr(pdu, [self = shared_from_this()](netsnmp_pdu* p) { self->snmp_free_pdu(p); });
}

pdu_ptr context_netsnmp::exchange(void* handle, netsnmp_pdu* pdu, bool retry,
                                  std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(engine_lock_);
  netsnmp_session* session = snmp_sess_session(handle);
  if (session == nullptr) throw exceptions::invalid_handle();
  // Every repetition happens here, with its own pause and SNMPv3 reset.
  session->retries = 0;

  int attempts = retry ? 3 : 1;
  for (;;) {
    netsnmp_pdu* response = nullptr;
    const int status = snmp_sess_synch_response(handle, snmp_clone_pdu(pdu), &response);
    pdu_ptr answer = wrap(response);
    if (status == status_success && answer) return answer;
    if (status == status_timeout && session->version == SNMP_VERSION_3) {
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

std::vector<response> run_request(session_netsnmp& session, oid_request request,
                                  const execute_context& context) {
  // SNMPv1 has no GETBULK: a walk of as many steps asks for at most as many OIDs.
  if (request.type() == query_t::bulk &&
      (!context.compat.use_bulkget() || session.description().version == SNMP_VERSION_1)) {
    oid_request walk(query_t::walk, request.oids());
    walk.max_depth(request.bulk_size());
    walk.only_children_of_oid(request.only_children_of_oid());
    request = std::move(walk);
  }
  switch (request.type()) {
    case query_t::get:
      return run_get(session, request, context);
    case query_t::walk:
      return run_walk(session, request, context);
    case query_t::bulk:
      return run_bulk(session, request, context);
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
                                         oid* last_oid, bool* more) {
  plover::log_interface& logger = context.logger;
  dump(logger) << "Response:";
  std::vector<response> result;

  if (pdu.errstat == error_none) {
    const logger_factory make = [&logger] { return stream_logger(logger); };
    for (const netsnmp_variable_list* variable = pdu.variables; variable != nullptr;
         variable = variable->next_variable) {
      std::vector<long> numeric = numeric_from(variable->name, variable->name_length);
      std::string name = context.library.numeric_to_name(numeric);
      oid o(std::move(numeric), std::move(name));
      log_oid(logger, o);
      dump(logger) << "    Type: 0x" << hex_byte(variable->type);
      if (auto value = value_from_variable(context.library, *variable, make)) {
        if (more != nullptr && value->index() == error_value_index) *more = false;
        result.emplace_back(o, std::move(*value));
      }
      if (last_oid != nullptr) *last_oid = o;
    }
    return result;
  }

  // An error status leaves no usable binding; it stands for the request's last OID.
  const oid& subject = request.oids().back();
  if (pdu.errstat == error_no_such_name) {
    dump(logger) << "  " << end_of_mib;
    result.emplace_back(subject, response::error_value{end_of_mib});
  } else {
    const char* reason = engine.snmp_errstring(static_cast<int>(pdu.errstat));
    const std::string reason_text = reason != nullptr ? reason : "";
    dump(logger) << "  Error in packet."
                 << "\n"
                 << "Reason: " << reason_text;
    result.emplace_back(subject, response::error_value{"Error in packet. Reason: " + reason_text});
  }
  if (more != nullptr) *more = false;
  return result;
}

std::optional<response::value_t> value_from_variable(const library& library,
                                                     const netsnmp_variable_list& variable,
                                                     const logger_factory& make_logger) {
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
      make_logger() << "    Float: " << value << " (" << std::fixed << std::setprecision(6) << value
                    << ")";
      return response::float_value{value};
    }
    case type_double: {
      if (variable.val.doubleVal == nullptr) return std::nullopt;
      const double value = *variable.val.doubleVal;
      make_logger() << "    Double: " << value << " (" << std::fixed << std::setprecision(12)
                    << value << ")";
      return response::double_value{value};
    }
    case type_octet_string: {
      if (variable.val.string == nullptr) return std::nullopt;
      std::string bytes(reinterpret_cast<const char*>(variable.val.string), variable.val_len);
      make_logger() << "    Str(" << variable.val_len << "): " << printable_or_hex(bytes);
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
      make_logger() << "    Value OID: " << value.name() << "(" << numeric_text(value) << ")";
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
      return std::nullopt;
  }
}

void append_within_subtree(const oid_request& request, std::vector<response>& result,
                           std::vector<response> converted) {
  const auto& subtree = request.only_children_of_oid();
  if (!subtree) {
    result.insert(result.end(), std::make_move_iterator(converted.begin()),
                  std::make_move_iterator(converted.end()));
    return;
  }
  const auto cut = std::partition_point(converted.begin(), converted.end(), [&](const response& r) {
    return within(r.oid(), *subtree);
  });
  result.insert(result.end(), std::make_move_iterator(converted.begin()),
                std::make_move_iterator(cut));
  if (cut != converted.end()) {
    result.emplace_back(cut->oid(), response::error_value{end_of_table});
  }
}

}  // namespace corvane::tallis::kestrel
