#pragma once

// The operating-system calls that the loader and the engine start-up need, one function per
// concern. Each platform provides them in its own file (platform_posix.cpp,
// platform_windows.cpp); nothing else in the library calls the operating system for these
// things.

#include <filesystem>
#include <optional>
#include <string>

namespace corvane::tallis::kestrel::platform {

/// Loads a shared library from exactly `file`. Null on failure; the reason is then given by
/// `last_error_message()` on the same thread.
void* load_library(const std::filesystem::path& file);

/// The address of the exported symbol `name`, or null (reason as for `load_library`).
void* find_symbol(void* handle, const std::string& name);

/// Unloads a library loaded by `load_library`; the outcome is ignored.
void unload_library(void* handle) noexcept;

/// The roots of the system configuration store that the library reads from.
enum class registry_root { local_machine };

/// A string value of the system configuration store; no value when the store, the key or the
/// value is missing (with a warning line on the standard error stream where the store exists).
std::optional<std::string> read_registry_string(registry_root root, const std::string& key_path,
                                                const std::string& value_name);

/// The value of an environment variable; no value when it is unset or empty.
std::optional<std::string> get_environment(const std::string& name);

/// Sets an environment variable of the process; the outcome is ignored.
void set_environment(const std::string& name, const std::string& value);

/// The separator between the entries of the engine's MIB directory list.
char mib_list_separator();

/// An absolute directory as the engine expects it in its MIB directory list.
std::string engine_directory_text(const std::filesystem::path& directory);

/// A copy of `text` on the C runtime's heap, to be released with `free`; null when out of
/// memory.
char* duplicate_string(const char* text);

}  // namespace corvane::tallis::kestrel::platform
