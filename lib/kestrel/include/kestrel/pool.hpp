#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <kestrel/connection.hpp>
#include <kestrel/export.hpp>
#include <kestrel/library.hpp>
#include <kestrel/settings.hpp>

namespace corvane::tallis::kestrel {

/// The caller's handle on the SNMP engine: one engine instance for MIB look-ups and one per
/// distinct connection configuration, created on first use.
class KESTREL_EXPORT pool {
 public:
  pool(const pool&) = default;
  pool& operator=(const pool&) = default;
  virtual ~pool();

  /// The private engine copy for `key`, made on first request.
  virtual std::filesystem::path library_clone_path(unsigned int key) = 0;

 protected:
  pool() = default;
};

/// Makes a pool whose engine copies go to `base` (default: "snmp" beside the module). The
/// directory is created; no engine is loaded yet.
KESTREL_EXPORT std::shared_ptr<pool> create_pool(
    std::optional<std::filesystem::path> base = std::nullopt);

/// Opens a connection on the engine instance of `settings.get_hash()`.
KESTREL_EXPORT std::unique_ptr<connection> create_connection(pool& pool,
                                                             const settings& settings);
/// The same with `options` for agents that misbehave; they do not change which engine
/// instance the connection uses.
KESTREL_EXPORT std::unique_ptr<connection> create_connection(pool& pool, const settings& settings,
                                                             const connection_options& options);
/// A factory of connections that keeps `pool` alive.
KESTREL_EXPORT std::function<std::unique_ptr<connection>(settings)> get_connection_factory(
    const std::shared_ptr<pool>& pool);
/// The same, every connection made with `options`.
KESTREL_EXPORT std::function<std::unique_ptr<connection>(settings)> get_connection_factory(
    const std::shared_ptr<pool>& pool, const connection_options& options);

/// A MIB name service over the pool's MIB engine instance.
KESTREL_EXPORT std::unique_ptr<library> create_library(pool& p);
/// A factory of libraries that keeps `p` alive.
KESTREL_EXPORT std::function<std::unique_ptr<library>()> get_library_factory(
    const std::shared_ptr<pool>& p);

namespace initializers {

/// Starts the platform's sockets for its lifetime (Windows sockets; nothing elsewhere).
class KESTREL_EXPORT winsock_initializer {
 public:
  winsock_initializer();
  winsock_initializer(const winsock_initializer&) = delete;
  winsock_initializer& operator=(const winsock_initializer&) = delete;
  ~winsock_initializer();
};

}  // namespace initializers

}  // namespace corvane::tallis::kestrel
