#pragma once

// The operating-system calls that the loader and the engine start-up need, one function per
// concern. Each platform provides them in its own file (platform_posix.cpp,
// platform_windows.cpp); nothing else in the library calls the operating system for these
// things.

#include <cstddef>
#include <cstdint>
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

/// Whether the library file `file` is loaded in this process already, by anyone. Leaves the
/// library's load count as it was.
bool is_library_loaded(const std::filesystem::path& file);

/// A text that two paths share exactly when the loader would take them for one library file.
std::string file_identity(const std::filesystem::path& file);

/// An exclusive advisory lock on `file`, held until `unlock_file` or the end of the process;
/// -1 when the file cannot be opened (or, with `create`, created) or, without `wait`, when
/// someone else holds the lock.
std::intptr_t lock_file(const std::filesystem::path& file, bool create, bool wait);

/// Releases a lock of `lock_file`; -1 is ignored.
void unlock_file(std::intptr_t lock) noexcept;

/// Creates `directory` (not its parents) accessible to its owner only. False when it exists
/// already; throws std::filesystem::filesystem_error ("create_directory") on other errors.
bool make_private_directory(const std::filesystem::path& directory);

/// Creates a new directory inside `parent` with a name of its own that starts with `prefix`,
/// accessible to its owner only. Throws std::filesystem::filesystem_error on failure.
std::filesystem::path make_unique_directory(const std::filesystem::path& parent,
                                            const std::string& prefix);

/// The default base directory of a pool, given the directory beside the module: that one
/// where the caller may create and write it, otherwise (where the platform has one) a private
/// directory of the calling user, created when missing and refused with
/// std::filesystem::filesystem_error when it belongs to someone else or others may enter it.
std::filesystem::path default_base_directory(const std::filesystem::path& beside_module);

/// Overwrites `size` bytes at `data` with zeros in a way the compiler does not drop.
void secure_zero(void* data, std::size_t size) noexcept;

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
