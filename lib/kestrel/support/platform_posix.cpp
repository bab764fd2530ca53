// POSIX (glibc) implementation of the platform layer, the module directory and the loader's
// error text.

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

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

bool is_library_loaded(const std::filesystem::path& file) {
  // RTLD_NOLOAD finds a library loaded under any name of the same file; it counts as one more
  // load, which is given back at once.
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    ::dlerror();
    return false;
  }
  ::dlclose(handle);
  return true;
}

std::string file_identity(const std::filesystem::path& file) {
  // The loader takes two names for one library when device and inode agree.
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return "path:" + file.string();
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

std::intptr_t lock_file(const std::filesystem::path& file, bool create, bool wait) {
  const int fd = create ? ::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600)
                        : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = 0;
  do {
    rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void unlock_file(std::intptr_t lock) noexcept {
  if (lock >= 0) ::close(static_cast<int>(lock));
}

bool make_private_directory(const std::filesystem::path& directory) {
  if (::mkdir(directory.c_str(), 0700) == 0) return true;
  if (errno == EEXIST) return false;
  throw std::filesystem::filesystem_error("create_directory", directory,
                                          std::error_code(errno, std::generic_category()));
}

std::filesystem::path make_unique_directory(const std::filesystem::path& parent,
                                            const std::string& prefix) {
  // mkdtemp creates the directory with mode 0700.
  std::string pattern = (parent / (prefix + "XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {
    throw std::filesystem::filesystem_error("create_directory", parent,
                                            std::error_code(errno, std::generic_category()));
  }
  return std::filesystem::path(name.data());
}

std::filesystem::path default_base_directory(const std::filesystem::path& beside_module) {
  // The directory beside the module serves every caller that may write it, as it always did.
  // A service user of an installation that only root may change gets a private directory.
  std::error_code ignored;
  if (std::filesystem::is_directory(beside_module, ignored) ||
      ::mkdir(beside_module.c_str(), 0700) == 0) {
    if (::access(beside_module.c_str(), W_OK | X_OK) == 0) return beside_module;
  }
  std::filesystem::path own;
  if (auto runtime = get_environment("XDG_RUNTIME_DIR")) {
    own = std::filesystem::path(*runtime) / "kestrel";
  } else {
    own = std::filesystem::temp_directory_path() / ("kestrel-" + std::to_string(::geteuid()));
  }
  make_private_directory(own);
  // The directory may have been there before: it must be ours, a real directory, and closed
  // to everybody else, or another user could read or replace the engine copies.
  struct stat info {};
  if (::lstat(own.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
      (info.st_mode & 077) != 0) {
    throw std::filesystem::filesystem_error(
        "base directory is not a private directory of this user", own,
        std::make_error_code(std::errc::permission_denied));
  }
  return own;
}

void secure_zero(void* data, std::size_t size) noexcept { ::explicit_bzero(data, size); }

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
