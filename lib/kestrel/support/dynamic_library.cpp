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

struct library_cloner::state {
  fs::path source_file;
  fs::path clone_dir;
  std::mutex mutex;
  std::map<unsigned int, fs::path> clones;
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
}

library_cloner::~library_cloner() {
  for (const auto& [key, file] : state_->clones) {
    std::error_code ignored;
    fs::remove(file, ignored);
  }
}

fs::path library_cloner::clone(unsigned int key) {
  // Held across check, delete, copy and store: two threads asking for one key get one copy.
  std::lock_guard lock(state_->mutex);
  if (auto found = state_->clones.find(key); found != state_->clones.end()) {
    return found->second;
  }
  fs::path name = state_->source_file.stem();
  name += ".";
  name += std::to_string(key);
  name += state_->source_file.extension();
  fs::path target = state_->clone_dir / name;

  // A stale copy from an earlier run goes first; one that cannot be deleted is left to the
  // copy, which overwrites it or fails.
  std::error_code ignored;
  fs::remove(target, ignored);
  if (!fs::copy_file(state_->source_file, target, fs::copy_options::overwrite_existing)) {
    throw fs::filesystem_error("copy file", state_->source_file, target,
                               std::make_error_code(std::errc::not_supported));
  }
  state_->clones.emplace(key, target);
  return target;
}

}  // namespace corvane::tallis::kestrel
