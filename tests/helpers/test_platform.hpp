#pragma once

// What the tests need from the operating system beyond the standard library: the engine's
// file names, private temporary directories, the process environment and the list of loaded
// engine files. Each platform implements the last two in test_platform_<platform>.cpp.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace corvane::tallis::kestrel::helpers {

/// The largest sub-identifier (and the 32-bit pattern of all ones) as a `long` holds it: the
/// engine's `oid` is an unsigned long, which fits a 64-bit `long` whole (4294967295, as on
/// Linux) and wraps to -1 in a 32-bit one (as on Windows).
inline constexpr long largest_sub_identifier = static_cast<long>(std::uint32_t{0xffffffffU});

/// The engine's file name beside the module ("libnetsnmp.so", "netsnmp.dll").
inline std::string engine_file_name() { return KESTREL_ENGINE_NAME; }

/// A new, empty directory in the system's temporary directory, named `prefix` and a random
/// suffix.
inline std::filesystem::path make_temporary_directory(const std::string& prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
    if (std::error_code error; std::filesystem::create_directory(candidate, error)) {
      return candidate;
    }
  }
  throw std::runtime_error("cannot create a temporary directory for " + prefix);
}

/// Sets an environment variable of this process, or removes it for no value.
void set_environment(const std::string& name, const std::optional<std::string>& value);

/// Sets or removes one environment variable for its lifetime and restores it afterwards.
class scoped_environment {
 public:
  scoped_environment(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    set_environment(name_, value);
  }
  scoped_environment(const scoped_environment&) = delete;
  scoped_environment& operator=(const scoped_environment&) = delete;
  ~scoped_environment() { set_environment(name_, saved_); }

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

/// The engine files (the original and its copies) that the process has loaded, as canonical
/// paths.
std::set<std::string> loaded_engine_files();

}  // namespace corvane::tallis::kestrel::helpers
