#pragma once

#include <vector>

#include <kestrel/compat_settings.hpp>
#include <kestrel/connection_options.hpp>
#include <kestrel/export.hpp>
#include <kestrel/library.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/response.hpp>
#include <plover/log_interface.hpp>

namespace corvane::tallis::kestrel {

/// What a request hands every query and the connection for one `execute` call. Owns nothing.
struct execute_context {
  const kestrel::library& library;
  const compat_settings& compat;
  plover::log_interface& logger;
};

/// One SNMP agent reached with one set of settings.
class KESTREL_EXPORT connection {
 public:
  connection(const connection&) = default;
  connection& operator=(const connection&) = default;
  virtual ~connection();

  /// Runs the requests in order and returns all their responses, concatenated. End of data
  /// and agent-side errors arrive as error responses; failures leave as exceptions.
  virtual std::vector<response> run(const std::vector<oid_request>& requests,
                                    const execute_context& context) = 0;
  /// Identifies the agent and credentials.
  virtual unsigned int get_hash() = 0;
  /// Whether `other` stands for the same agent and credentials.
  virtual bool equals(const connection& other) = 0;
  /// The most values one query may gather over this connection (see connection_options).
  virtual std::size_t response_limit() const;

 protected:
  connection() = default;
};

}  // namespace corvane::tallis::kestrel
