#pragma once

#include <memory>
#include <vector>

#include <kestrel/connection.hpp>
#include <kestrel/settings.hpp>

#include "netsnmp/connection_with_settings.hpp"
#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/session_netsnmp.hpp"

namespace corvane::tallis::kestrel {

/// A connection over one Net-SNMP session, opened when the connection is made and closed when
/// it goes. Exchanges are serialised by the engine lock of the session's context, which every
/// connection with equal settings shares.
class connection_netsnmp : public connection_with_settings {
 public:
  /// Opens the session on `context` (see session_netsnmp for the failures).
  connection_netsnmp(std::shared_ptr<context_netsnmp> context, const settings& settings,
                     const connection_options& options = connection_options{});
  ~connection_netsnmp() override;

  /// Runs the requests in order, pausing for the compat delay before every request but the
  /// first.
  std::vector<response> run(const std::vector<oid_request>& requests,
                            const execute_context& context) override;
  std::size_t response_limit() const override;

  const session_netsnmp& session() const;

 private:
  std::unique_ptr<session_netsnmp> session_;
  connection_options options_;
};

}  // namespace corvane::tallis::kestrel
