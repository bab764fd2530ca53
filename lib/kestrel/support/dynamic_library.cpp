#include "support/dynamic_library.hpp"

#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "support/platform.hpp"

namespace corvane::tallis::kestrel {

namespace fs = std::filesystem;

struct dynamic_library::state {
  std::mutex mutex;
  void* handle = nullptr;
  std::map<std::string, void*> symbols;
};

dynamic_library::dynamic_library(const fs::path& file) : state_(std::make_unique<state>()) {
  state_->handle = platform::load_library(file);
  if (state_->handle == nullptr) {
    const std::string reason = last_error_message();
    // The path is written in its quoted stream form inside a second pair of quotes.
    std::ostringstream message;
    message << "Could not open dynamic library \"" << file << "\": " << reason;
    throw std::runtime_error(message.str());
  }
}

dynamic_library::~dynamic_library() { platform::unload_library(state_->handle); }

void* dynamic_library::get_symbol(const std::string& name) {
  std::lock_guard lock(state_->mutex);
  if (auto found = state_->symbols.find(name); found != state_->symbols.end()) {
    return found->second;
  }
  void* address = platform::find_symbol(state_->handle, name);
  if (address == nullptr) {
    // Misses are not cached: a later request asks the loader again.
    throw std::runtime_error("Could not read symbol \"" + name + "\": " + last_error_message());
  }
  state_->symbols.emplace(name, address);
  return address;
}

namespace {

// Every cloner makes its copies in a directory of its own inside the clone directory, named
// with this prefix, holding a lock file that the cloner keeps locked for its life. The base
// lock serialises the making of such directories with the removal of abandoned ones.
constexpr const char* private_prefix = "pool-";
constexpr const char* lock_name = "lock";
constexpr const char* base_lock = ".kestrel.lock";

// Removes the directories of cloners that are gone (a process that died leaves its directory
// behind). Best effort: whatever cannot be removed now stays for a later sweep.
void sweep_abandoned(const fs::path& clone_dir) {
  const std::intptr_t guard = platform::lock_file(clone_dir / base_lock, true, true);
  if (guard == -1) return;
  std::error_code error;
  for (fs::directory_iterator it(clone_dir, error), end; !error && it != end; it.increment(error)) {
    const fs::path& dir = it->path();
    std::error_code ignored;
    if (dir.filename().string().rfind(private_prefix, 0) != 0 ||
        !fs::is_directory(fs::symlink_status(dir, ignored))) {
      continue;
    }
    // Under the base lock a directory without its lock file is abandoned (or being removed by
    // its owner); one whose lock can be taken belongs to a cloner that is gone.
    // (A directory that this user may not look into is someone else's and stays.)
    const fs::path lock_path = dir / lock_name;
    if (fs::symlink_status(lock_path, ignored).type() == fs::file_type::not_found) {
      fs::remove_all(dir, ignored);
    } else if (const std::intptr_t lock = platform::lock_file(lock_path, false, false);
               lock != -1) {
      // Released before the removal (Windows keeps an open file in its directory); under the
      // base lock nobody takes the directory over in between.
      platform::unlock_file(lock);
      fs::remove_all(dir, ignored);
    }
  }
  platform::unlock_file(guard);
}

}  // namespace

struct library_cloner::state {
  fs::path source_file;
  fs::path clone_dir;
  std::mutex mutex;
  std::map<unsigned int, fs::path> clones;
  fs::path private_dir;
  std::intptr_t private_lock = -1;

  // Made on the first copy, so that a pool that copies nothing leaves no trace.
  const fs::path& own_directory() {
    if (!private_dir.empty()) return private_dir;
    const std::intptr_t guard = platform::lock_file(clone_dir / base_lock, true, true);
    try {
      fs::path dir = platform::make_unique_directory(clone_dir, private_prefix);
      private_lock = platform::lock_file(dir / lock_name, true, false);
      private_dir = std::move(dir);
    } catch (...) {
      platform::unlock_file(guard);
      throw;
    }
    platform::unlock_file(guard);
    return private_dir;
  }
};

library_cloner::library_cloner(fs::path source_file, fs::path clone_dir)
    : state_(std::make_unique<state>()) {
  if (!fs::exists(source_file)) {
    throw fs::filesystem_error("original file", source_file,
                               std::make_error_code(std::errc::no_such_file_or_directory));
  }
  if (!fs::is_directory(fs::status(clone_dir))) {
    throw fs::filesystem_error("clone dir", clone_dir,
                               std::make_error_code(std::errc::not_a_directory));
  }
  state_->source_file = std::move(source_file);
  state_->clone_dir = std::move(clone_dir);
  sweep_abandoned(state_->clone_dir);
}

library_cloner::~library_cloner() {
  std::error_code ignored;
  for (const auto& [key, file] : state_->clones) fs::remove(file, ignored);
  if (state_->private_dir.empty()) return;
  // A copy that is still loaded where that prevents deleting it (Windows) keeps the directory;
  // without its lock file a later sweep removes it.
  fs::remove(state_->private_dir / lock_name, ignored);
  platform::unlock_file(state_->private_lock);
  fs::remove(state_->private_dir, ignored);
}

fs::path library_cloner::clone(unsigned int key) {
  // Held across check, copy and store: two threads asking for one key get one copy.
  std::lock_guard lock(state_->mutex);
  if (auto found = state_->clones.find(key); found != state_->clones.end()) {
    return found->second;
  }
  fs::path name = state_->source_file.stem();
  name += ".";
  name += std::to_string(key);
  name += state_->source_file.extension();
  fs::path target;
  try {
    target = state_->own_directory() / name;
  } catch (const fs::filesystem_error& error) {
    throw fs::filesystem_error("copy_file", state_->source_file, state_->clone_dir / name,
                               error.code());
  }

  // The directory is this cloner's alone, so no other pool or process reads or replaces the
  // file while it is written.
  if (!fs::copy_file(state_->source_file, target, fs::copy_options::overwrite_existing)) {
    throw fs::filesystem_error("copy file", state_->source_file, target,
                               std::make_error_code(std::errc::not_supported));
  }
  state_->clones.emplace(key, target);
  return target;
}

}  // namespace corvane::tallis::kestrel
