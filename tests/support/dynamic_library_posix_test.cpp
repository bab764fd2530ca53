// The loader's reasons as the POSIX loader (dlopen, dlsym, dlerror) gives them.

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include <kestrel/test_connections.hpp>

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
  const fs::path engine = module_directory() / helpers::engine_file_name();
  dynamic_library library(engine);
  EXPECT_EQ(helpers::runtime_error_text([] { dynamic_library loaded("/nonexistent/a\"b\\c.so"); }),
            "Could not open dynamic library \"\"/nonexistent/a\\\"b\\\\c.so\"\": "
            "/nonexistent/a\"b\\c.so: cannot open shared object file: No such file or directory");
  EXPECT_EQ(helpers::runtime_error_text([&] { library.get_symbol("no_such_entry_point"); }),
            "Could not read symbol \"no_such_entry_point\": " + engine.string() +
                ": undefined symbol: no_such_entry_point");
}

TEST(platform_posix_test, LockOnDescriptorZeroAndEnvironment) {
  const fs::path dir = helpers::make_temporary_directory("kestrel-platform-");
  // A daemon that closed its standard input gets descriptor 0 for a lock, and gives it back.
  const int input = ::dup(STDIN_FILENO);
  ::close(STDIN_FILENO);
  const std::intptr_t on_zero = platform::lock_file(dir / "lock", true, false);
  EXPECT_EQ(on_zero, 0);
  platform::unlock_file(on_zero);
  EXPECT_EQ(::fcntl(STDIN_FILENO, F_GETFD), -1);
  ::dup2(input, STDIN_FILENO);
  ::close(input);

  platform::set_environment("KESTREL_PLATFORM_TEST", "first");
  platform::set_environment("KESTREL_PLATFORM_TEST", "second");
  EXPECT_EQ(platform::get_environment("KESTREL_PLATFORM_TEST"), "second");
  ::unsetenv("KESTREL_PLATFORM_TEST");

  fs::remove_all(dir);
}

// A cloner makes its directory under the base lock, so that a sweep elsewhere never finds it
// before its lock file: while another holds the base lock, the first copy waits.
TEST(library_cloner_posix_test, TheFirstCopyWaitsForTheBaseLock) {
  using namespace std::chrono_literals;
  const fs::path dir = helpers::make_temporary_directory("kestrel-scratch-");
  std::ofstream(dir / "libnetsnmp.so") << "engine";
  library_cloner cloner(dir / "libnetsnmp.so", dir);
  const std::intptr_t held = platform::lock_file(dir / ".kestrel.lock", true, true);
  auto copy = std::async(std::launch::async, [&cloner] { return cloner.clone(1); });
  EXPECT_EQ(copy.wait_for(200ms), std::future_status::timeout);
  platform::unlock_file(held);
  EXPECT_EQ(copy.get().filename(), "libnetsnmp.1.so");
  fs::remove_all(dir);
}

// A directory opens as a file on POSIX; its reading fails.
TEST(snmprec_posix_test, ADirectoryIsOpenedButCannotBeRead) {
  const fs::path directory = fs::temp_directory_path();
  EXPECT_EQ(helpers::runtime_error_text([&] { test::load_snmprec(directory); }),
            "cannot read " + directory.string());
}

TEST(last_error_message_test, FallsBackToTheCodeWhenTheLoaderHasNoText) {
  ::dlerror();
  errno = 1234;
  EXPECT_EQ(last_error_message(), "Unknown error with code 1234 occured.");
}

}  // namespace
}  // namespace corvane::tallis::kestrel
