#include "netsnmp/connection_netsnmp.hpp"

#include <functional>
#include <thread>
#include <utility>

#include <kestrel/pool.hpp>

#include "netsnmp/exchange.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel {

connection_netsnmp::connection_netsnmp(std::shared_ptr<context_netsnmp> context,
                                       const settings& settings, const connection_options& options)
    : connection_with_settings(settings),
      session_(std::make_unique<session_netsnmp>(std::move(context), settings)),
      options_(options) {}

connection_netsnmp::~connection_netsnmp() {
  if (options_.check_integer_range) stop_inspecting(*session_);
}

std::vector<response> connection_netsnmp::run(const std::vector<oid_request>& requests,
                                              const execute_context& context) {
  std::vector<response> result;
  if (requests.empty()) return result;
  bool first = true;
  for (const oid_request& request : requests) {
    if (!first && context.compat.delay().count() > 0) {
      std::this_thread::sleep_for(context.compat.delay());
    }
    first = false;
    std::vector<response> responses = run_request(*session_, request, context, options_);
    if (result.empty()) {
      result = std::move(responses);
    } else {
      result.insert(result.end(), std::make_move_iterator(responses.begin()),
                    std::make_move_iterator(responses.end()));
    }
  }
  return result;
}

std::size_t connection_netsnmp::response_limit() const { return options_.max_responses; }

const session_netsnmp& connection_netsnmp::session() const { return *session_; }

std::unique_ptr<connection> create_connection(pool& pool, const settings& settings) {
  return create_connection(pool, settings, connection_options{});
}

std::unique_ptr<connection> create_connection(pool& pool, const settings& settings,
                                              const connection_options& options) {
  auto& netsnmp_pool = dynamic_cast<pool_netsnmp&>(pool);
  return std::make_unique<connection_netsnmp>(netsnmp_pool.get_context(settings.get_hash()),
                                              settings, options);
}

std::function<std::unique_ptr<connection>(settings)> get_connection_factory(
    const std::shared_ptr<pool>& pool) {
  return [pool](settings s) { return create_connection(*pool, s); };
}

std::function<std::unique_ptr<connection>(settings)> get_connection_factory(
    const std::shared_ptr<pool>& pool, const connection_options& options) {
  return [pool, options](settings s) { return create_connection(*pool, s, options); };
}

}  // namespace corvane::tallis::kestrel
