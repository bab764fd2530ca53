#include "netsnmp/pool_netsnmp.hpp"

#include <system_error>
#include <utility>

namespace corvane::tallis::kestrel {

namespace fs = std::filesystem;

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
  const bool mib_context = key == 0;
  fs::path file = mib_context ? engine_file_ : library_clone_path(key);
  auto context = std::make_shared<context_netsnmp>(std::move(file), mib_context);
  contexts_.emplace(key, context);
  return context;
}

std::shared_ptr<pool> create_pool(std::optional<fs::path> base) {
  fs::path directory = base && !base->empty() ? std::move(*base) : module_directory() / "snmp";
  std::error_code error;
  fs::create_directories(directory, error);
  if (error) throw fs::filesystem_error("create_directories", directory, error);
  return std::make_shared<pool_netsnmp>(std::move(directory));
}

}  // namespace corvane::tallis::kestrel
