// Windows implementation of the platform layer, the module directory and the loader's error
// text.

#include <winsock2.h>
// (after winsock2.h, which replaces the older socket header that windows.h would bring)
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
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

constexpr DWORD format_flags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
static_assert(format_flags == 0x1300);
constexpr DWORD neutral_language = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
static_assert(neutral_language == 0x0400);

constexpr DWORD module_lookup_flags =
    GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
static_assert(module_lookup_flags == 6);
constexpr std::size_t module_name_buffer = 32768;
constexpr DWORD module_name_size = 32767;

// RRF_RT_REG_SZ alone admits both string types and expands REG_EXPAND_SZ values; adding
// RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND makes the system reject the call (error 87).
constexpr DWORD string_types = RRF_RT_REG_SZ;
static_assert(string_types == 2);

}  // namespace

std::string last_error_message() {
  const DWORD code = ::GetLastError();
  std::string text = "Unknown error with code " + std::to_string(code) + " occured.";
  LPSTR buffer = nullptr;
  const DWORD length = ::FormatMessageA(format_flags, nullptr, code, neutral_language,
                                        reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  // The system's text keeps its closing line break.
  if (length != 0) text.assign(buffer, length);
  ::LocalFree(buffer);
  return text;
}

std::filesystem::path module_directory() {
  std::vector<char> buffer(module_name_buffer, '\0');
  HMODULE module = nullptr;
  ::GetModuleHandleExA(module_lookup_flags, reinterpret_cast<LPCSTR>(&module_anchor), &module);
  ::GetModuleFileNameA(module, buffer.data(), module_name_size);
  if (::GetLastError() != 0) {
    throw std::runtime_error("WinAPI Error " + std::to_string(::GetLastError()) +
                             ": Unable to find dynamic library path.");
  }
  return std::filesystem::path(std::string(buffer.data())).parent_path();
}

namespace platform {

void* load_library(const std::filesystem::path& file) {
  return reinterpret_cast<void*>(::LoadLibraryW(file.wstring().c_str()));
}

void* find_symbol(void* handle, const std::string& name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name.c_str()));
}

void unload_library(void* handle) noexcept { ::FreeLibrary(static_cast<HMODULE>(handle)); }

bool is_library_loaded(const std::filesystem::path& file) {
  // No reference is taken.
  return ::GetModuleHandleW(file.wstring().c_str()) != nullptr;
}

std::string file_identity(const std::filesystem::path& file) {
  // The loader tells modules apart by their full path, letter case aside.
  std::error_code ignored;
  std::string text = std::filesystem::weakly_canonical(file, ignored).string();
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::intptr_t lock_file(const std::filesystem::path& file, bool create, bool wait) {
  HANDLE handle =
      ::CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  OVERLAPPED whole{};
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (!::LockFileEx(handle, flags, 0, 1, 0, &whole)) {
    ::CloseHandle(handle);
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(handle);
}

void unlock_file(std::intptr_t lock) noexcept {
  if (lock == -1) return;
  HANDLE handle = reinterpret_cast<HANDLE>(lock);
  OVERLAPPED whole{};
  ::UnlockFileEx(handle, 0, 1, 0, &whole);
  ::CloseHandle(handle);
}

bool make_private_directory(const std::filesystem::path& directory) {
  // A new directory inherits the access rules of its parent, which on Windows already keep
  // other users out of the places kestrel uses.
  std::error_code error;
  if (std::filesystem::create_directory(directory, error)) return true;
  if (!error) return false;
  throw std::filesystem::filesystem_error("create_directory", directory, error);
}

std::filesystem::path make_unique_directory(const std::filesystem::path& parent,
                                            const std::string& prefix) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed() ^ static_cast<unsigned>(::GetCurrentProcessId()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
    if (make_private_directory(parent / name)) return parent / name;
  }
  throw std::filesystem::filesystem_error("create_directory", parent,
                                          std::make_error_code(std::errc::file_exists));
}

std::filesystem::path default_base_directory(const std::filesystem::path& beside_module) {
  return beside_module;
}

void secure_zero(void* data, std::size_t size) noexcept { ::SecureZeroMemory(data, size); }

std::optional<std::string> read_registry_string(registry_root root, const std::string& key_path,
                                                const std::string& value_name) {
  HKEY root_key = HKEY_LOCAL_MACHINE;
  switch (root) {
    case registry_root::local_machine:
      root_key = HKEY_LOCAL_MACHINE;
      break;
  }
  // With an empty sub-key this is the root key itself, which is never closed.
  HKEY key = nullptr;
  LSTATUS status = ::RegOpenKeyExA(root_key, "", 0, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) {
    std::cerr << "Warning: Cannot open registry key: error " << status << std::endl;
    return std::nullopt;
  }
  DWORD size = 0;
  status = ::RegGetValueA(key, key_path.c_str(), value_name.c_str(), string_types, nullptr, nullptr,
                          &size);
  if (status != ERROR_SUCCESS) {
    std::cerr << "Warning: Cannot read registry key (1): error " << status << std::endl;
    return std::nullopt;
  }
  std::vector<char> buffer(size, '\0');
  status = ::RegGetValueA(key, key_path.c_str(), value_name.c_str(), string_types, nullptr,
                          buffer.data(), &size);
  if (status != ERROR_SUCCESS) {
    std::cerr << "Warning: Cannot read registry key (2): error " << status << std::endl;
    return std::nullopt;
  }
  return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

std::optional<std::string> get_environment(const std::string& name) {
  // The C runtime removes a variable that is assigned an empty value; an empty value counts
  // as unset.
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

void set_environment(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
}

char mib_list_separator() { return ';'; }

std::string engine_directory_text(const std::filesystem::path& directory) {
  std::string text = directory.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

char* duplicate_string(const char* text) { return ::_strdup(text); }

}  // namespace platform

}  // namespace corvane::tallis::kestrel
