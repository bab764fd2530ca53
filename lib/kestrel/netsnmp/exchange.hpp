#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
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

/// Builds one log message from one statement: every `<<` hands the collected text on to the
/// returned logger, and the last one writes it to the logger at level 7 when it goes away.
class stream_logger {
 public:
  explicit stream_logger(plover::log_interface& logger);
  stream_logger(stream_logger&& other) noexcept;
  stream_logger(const stream_logger&) = delete;
  stream_logger& operator=(const stream_logger&) = delete;
  stream_logger& operator=(stream_logger&&) = delete;
  // Writes the message unless an exception is on its way out of the statement that built it.
  ~stream_logger() noexcept(false);

  template <class T>
  stream_logger operator<<(const T& value) {
    *stream_ << value;
    return stream_logger(std::move(*this));
  }
  stream_logger operator<<(std::ostream& (*manipulator)(std::ostream&));

 private:
  plover::log_interface* logger_;
  std::unique_ptr<std::ostringstream> stream_;
  int uncaught_;
};

}  // namespace detail

/// Makes a stream_logger on the logger of the running request.
using logger_factory = std::function<detail::stream_logger()>;

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
