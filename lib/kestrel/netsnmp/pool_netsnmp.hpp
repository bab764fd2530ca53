#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include <kestrel/pool.hpp>

#include "netsnmp/context_netsnmp.hpp"
#include "support/dynamic_library.hpp"

namespace corvane::tallis::kestrel {

/// The pool over Net-SNMP: key 0 is the engine beside the module, loaded with the MIBs and
/// shared by every pool of the process (a private copy when the host has loaded that engine
/// itself); every other key (a settings hash) gets a private copy of the engine in the pool's
/// own directory inside the base directory, loaded without MIBs.
class pool_netsnmp : public pool {
 public:
  /// Fails at once ("original file", "clone dir") when the engine beside the module is missing
  /// or `base` is not a directory. Loads nothing.
  explicit pool_netsnmp(std::filesystem::path base);
  ~pool_netsnmp() override;

  std::filesystem::path library_clone_path(unsigned int key) override;

  /// The engine context of `key`, loaded and initialised on first use under the pool lock.
  /// When loading fails nothing is kept, and the next call tries again.
  std::shared_ptr<context_netsnmp> get_context(unsigned int key);

 private:
  // Destroyed bottom-up: the copies are deleted before the pool drops its contexts.
  std::mutex mutex_;
  std::map<std::uint32_t, std::shared_ptr<context_netsnmp>> contexts_;
  std::filesystem::path engine_file_;
  library_cloner cloner_;
};

}  // namespace corvane::tallis::kestrel
