#include "netsnmp/pool_netsnmp.hpp"

#include <map>
#include <string>
#include <system_error>
#include <utility>

#include "support/platform.hpp"

namespace corvane::tallis::kestrel {

namespace fs = std::filesystem;

namespace {

// The MIB instances of the process, one per engine file, shared by every pool that uses the
// file. A library file loaded twice is one module with one engine state, so two pools may
// neither initialise it twice nor shut it down under each other.
struct mib_registry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<context_netsnmp>> contexts;
};

mib_registry& registry() {
  // Never destroyed: contexts may go during static destruction.
  static auto* instance = new mib_registry;
  return *instance;
}

std::shared_ptr<context_netsnmp> shared_mib_context(const fs::path& engine_file,
                                                    library_cloner& cloner) {
  mib_registry& r = registry();
  std::lock_guard lock(r.mutex);
  const std::string identity = platform::file_identity(engine_file);
  if (auto found = r.contexts.find(identity); found != r.contexts.end()) {
    if (auto live = found->second.lock()) return live;
  }
  // Loaded by someone else (a host that uses the engine itself): its engine state is the
  // host's, so the MIB instance runs on a private copy, as every other key does.
  if (platform::is_library_loaded(engine_file)) {
    return std::make_shared<context_netsnmp>(cloner.clone(0), true);
  }
  auto owned = std::make_unique<context_netsnmp>(engine_file, true);
  // The last owner shuts the engine down under the registry lock, so that nobody loads the
  // file again while it goes.
  std::shared_ptr<context_netsnmp> context(owned.get(), [identity](context_netsnmp* c) {
    mib_registry& reg = registry();
    std::lock_guard release(reg.mutex);
    if (auto found = reg.contexts.find(identity);
        found != reg.contexts.end() && found->second.expired()) {
      reg.contexts.erase(found);
    }
    delete c;
  });
  owned.release();
  r.contexts[identity] = context;
  return context;
}

// Creates `directory` and its missing parents, each one accessible to its owner only.
void create_private_directories(const fs::path& directory) {
  try {
    fs::path partial;
    for (const fs::path& piece : fs::absolute(directory)) {
      partial /= piece;
      if (!partial.has_relative_path()) continue;
      std::error_code ignored;
      if (!fs::exists(partial, ignored)) platform::make_private_directory(partial);
    }
  } catch (const fs::filesystem_error& error) {
    throw fs::filesystem_error("create_directories", directory, error.code());
  }
  if (!fs::is_directory(directory)) {
    throw fs::filesystem_error("create_directories", directory,
                               std::make_error_code(std::errc::file_exists));
  }
}

}  // namespace

pool::~pool() = default;

pool_netsnmp::pool_netsnmp(fs::path base)
    : engine_file_(module_directory() / KESTREL_ENGINE_NAME),
      cloner_(engine_file_, std::move(base)) {}

pool_netsnmp::~pool_netsnmp() = default;

fs::path pool_netsnmp::library_clone_path(unsigned int key) { return cloner_.clone(key); }

std::shared_ptr<context_netsnmp> pool_netsnmp::get_context(unsigned int key) {
  // Held throughout, so that copying, loading and engine start-up are serialised pool-wide.
  std::lock_guard lock(mutex_);
  if (auto found = contexts_.find(key); found != contexts_.end()) return found->second;
  auto context = key == 0 ? shared_mib_context(engine_file_, cloner_)
                          : std::make_shared<context_netsnmp>(library_clone_path(key), false);
  contexts_.emplace(key, context);
  return context;
}

std::shared_ptr<pool> create_pool(std::optional<fs::path> base) {
  fs::path directory = base && !base->empty()
                           ? std::move(*base)
                           : platform::default_base_directory(module_directory() / "snmp");
  create_private_directories(directory);
  return std::make_shared<pool_netsnmp>(std::move(directory));
}

}  // namespace corvane::tallis::kestrel
