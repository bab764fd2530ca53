// The loader's reasons as the POSIX loader (dlopen, dlsym, dlerror) gives them.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "helpers/error_text.hpp"
#include "helpers/test_platform.hpp"
#include "support/dynamic_library.hpp"
#include "support/platform.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;

// Load failures quote the path twice (inside the quoted form a double quote and a backslash
// each get a backslash) and append the loader's reason, as a missing symbol does.
TEST(dynamic_library_posix_test, FailuresCarryTheLoadersReason) {
  const fs::path dir_path = helpers::make_temporary_directory("kestrel-loader-");
  std::ofstream(dir_path / "short.so", std::ios::binary) << "not a library";
  const std::string dir = dir_path.string();
  const std::string open = "Could not open dynamic library \"\"";
  const std::string no_file = ": cannot open shared object file: No such file or directory";
  const fs::path engine = module_directory() / helpers::engine_file_name();
  dynamic_library library(engine);
  const auto load = [](const fs::path& file) { return [file] { dynamic_library loaded(file); }; };
  const std::vector<std::pair<std::function<void()>, std::string>> failures = {
      {load("/nonexistent-kestrel/libnetsnmp.so"),
       open + "/nonexistent-kestrel/libnetsnmp.so\"\": /nonexistent-kestrel/libnetsnmp.so" +
           no_file},
      {load(dir_path / "a\"b\\c.so"),
       open + dir + "/a\\\"b\\\\c.so\"\": " + dir + "/a\"b\\c.so" + no_file},
      {load(dir_path / "short.so"),
       open + dir + "/short.so\"\": " + dir + "/short.so: file too short"},
      {load(dir_path), open + dir + "\"\": " + dir + ": cannot read file data: Is a directory"},
      {[&] { library.get_symbol("no_such_entry_point"); },
       "Could not read symbol \"no_such_entry_point\": " + engine.string() +
           ": undefined symbol: no_such_entry_point"},
  };
  for (const auto& [action, expected] : failures) {
    EXPECT_EQ(helpers::runtime_error_text(action), expected);
  }
  fs::remove_all(dir_path);
}

TEST(platform_posix_test, LocksEnvironmentAndTheDefaultBaseDirectory) {
  const fs::path dir = helpers::make_temporary_directory("kestrel-platform-");
  // A lock on a file that cannot be opened is no lock.
  EXPECT_EQ(platform::lock_file(dir / "missing" / "lock", false, false), -1);
  const std::intptr_t held = platform::lock_file(dir / "lock", true, false);
  EXPECT_GE(held, 0);
  EXPECT_EQ(platform::lock_file(dir / "lock", false, false), -1);
  platform::unlock_file(held);

  platform::set_environment("KESTREL_PLATFORM_TEST", "first");
  platform::set_environment("KESTREL_PLATFORM_TEST", "second");
  EXPECT_EQ(platform::get_environment("KESTREL_PLATFORM_TEST"), "second");
  ::unsetenv("KESTREL_PLATFORM_TEST");

  // The directory beside the module is made when it is missing and can be.
  EXPECT_EQ(platform::default_base_directory(dir / "snmp"), dir / "snmp");
  EXPECT_TRUE(fs::is_directory(dir / "snmp"));
  fs::remove_all(dir);
}

TEST(last_error_message_test, FallsBackToTheCodeWhenTheLoaderHasNoText) {
  ::dlerror();
  errno = 1234;
  EXPECT_EQ(last_error_message(), "Unknown error with code 1234 occured.");
}

}  // namespace
}  // namespace corvane::tallis::kestrel
