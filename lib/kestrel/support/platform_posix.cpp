// POSIX (glibc) implementation of the platform layer, the module directory and the loader's
// error text.

#include <dlfcn.h>
#include <link.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/dynamic_library.hpp"
#include "support/platform.hpp"

namespace corvane::tallis::kestrel {

namespace {

// Any function of this module: its address tells the loader which file holds the module.
void module_anchor() {}

}  // namespace

std::string last_error_message() {
  // dlerror() describes the last failed dl* call of this thread and clears it.
  if (const char* text = ::dlerror()) return text;
  return "Unknown error with code " + std::to_string(static_cast<unsigned>(errno)) + " occured.";
}

std::filesystem::path module_directory() {
  Dl_info info{};
  link_map* map = nullptr;
  if (::dladdr1(reinterpret_cast<void*>(&module_anchor), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    throw std::runtime_error("WinAPI Error " + std::to_string(static_cast<unsigned>(errno)) +
                             ": Unable to find dynamic library path.");
  }
  // The main program has an empty name in the link map (dladdr would report argv[0], which
  // may be relative to a directory the process has left, or a bare name found on PATH).
  std::filesystem::path file = map->l_name[0] == '\0'
                                   ? std::filesystem::read_symlink("/proc/self/exe")
                                   : std::filesystem::path(map->l_name);
  return std::filesystem::absolute(file).parent_path();
}

namespace platform {

void* load_library(const std::filesystem::path& file) {
  // RTLD_LOCAL keeps the engine's symbols out of the global scope, and RTLD_DEEPBIND makes a
  // copy bind its own calls to itself before anything else, so that each copy is a separate
  // engine instance even when the host process links the engine too. The sanitizer runtimes
  // refuse RTLD_DEEPBIND; without it a copy still binds to itself as long as the process has
  // no engine in its global scope.
#if defined(KESTREL_SANITIZE)
  constexpr int flags = RTLD_NOW | RTLD_LOCAL;
#else
  constexpr int flags = RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND;
#endif
  return ::dlopen(file.c_str(), flags);
}

void* find_symbol(void* handle, const std::string& name) {
  ::dlerror();
  return ::dlsym(handle, name.c_str());
}

void unload_library(void* handle) noexcept { ::dlclose(handle); }

std::optional<std::string> read_registry_string(registry_root, const std::string&,
                                                const std::string&) {
  // There is no system registry here: the values are simply absent, which is not worth a
  // warning.
  return std::nullopt;
}

std::optional<std::string> get_environment(const std::string& name) {
  // An empty value counts as unset, as it does for the C runtime on Windows, where assigning
  // an empty value removes the variable.
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

void set_environment(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

char mib_list_separator() { return ':'; }

std::string engine_directory_text(const std::filesystem::path& directory) {
  return directory.string();
}

char* duplicate_string(const char* text) { return ::strdup(text); }

}  // namespace platform

}  // namespace corvane::tallis::kestrel
