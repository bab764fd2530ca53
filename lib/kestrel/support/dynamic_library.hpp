#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace corvane::tallis::kestrel {

/// One shared library loaded from a full path. Resolves exported symbols by name and caches
/// every symbol it found (misses are not cached). Unloads the library when destroyed.
class dynamic_library {
 public:
  /// Throws std::runtime_error "Could not open dynamic library "<quoted path>": <reason>".
  explicit dynamic_library(const std::filesystem::path& file);
  dynamic_library(const dynamic_library&) = delete;
  dynamic_library& operator=(const dynamic_library&) = delete;
  ~dynamic_library();

  /// Never null. Throws std::runtime_error "Could not read symbol "<name>": <reason>".
  void* get_symbol(const std::string& name);

 private:
  struct state;
  std::unique_ptr<state> state_;
};

/// Calls the entry point `name` of `library` with the engine's own signature `Signature`
/// (for example `decltype(::init_snmp)`), resolved through the symbol cache.
template <class Signature, class... Args>
decltype(auto) invoke(dynamic_library& library, const char* name, Args&&... args) {
  auto* function = reinterpret_cast<Signature*>(library.get_symbol(std::string(name)));
  return function(std::forward<Args>(args)...);
}

/// Makes private copies of one library file, one per key, in a directory of its own inside the
/// clone directory (owner-only, locked for the cloner's life); deletes the copies and that
/// directory when destroyed. The copy for key 7 of "netsnmp.dll" is "netsnmp.7.dll". Any
/// number of cloners, in one process or in many, share a clone directory safely.
class library_cloner {
 public:
  /// Throws filesystem_error "original file" (no source) or "clone dir" (not a directory).
  /// Removes what cloners that are gone (crashed processes) left in the clone directory.
  library_cloner(std::filesystem::path source_file, std::filesystem::path clone_dir);
  library_cloner(const library_cloner&) = delete;
  library_cloner& operator=(const library_cloner&) = delete;
  ~library_cloner();

  /// The copy for `key`, made on the first request and remembered afterwards. Throws
  /// filesystem_error "copy_file" when it cannot be made, "copy file" when nothing was copied.
  std::filesystem::path clone(unsigned int key);

 private:
  struct state;
  std::unique_ptr<state> state_;
};

/// The directory of the module that holds this code (the shared library, or the executable
/// it was linked into).
std::filesystem::path module_directory();

/// The platform's text for the calling thread's last loader or system error.
std::string last_error_message();

}  // namespace corvane::tallis::kestrel
