// The loader's reasons as the POSIX loader (dlopen, dlsym, dlerror) gives them.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/test_platform.hpp"
#include "helpers/error_text.hpp"
#include "support/dynamic_library.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;

using helpers::runtime_error_text;

TEST(dynamic_library_posix_test, LoadFailuresQuoteThePathTwiceAndAppendTheLoaderReason) {
  const fs::path dir_path = helpers::make_temporary_directory("kestrel-loader-");
  std::ofstream(dir_path / "short.so", std::ios::binary) << "not a library";
  const std::string dir = dir_path.string();
  struct failure {
    fs::path file;
    std::string expected;
  };
  const std::vector<failure> failures = {
      {"/nonexistent-kestrel/lib/libnetsnmp.so",
       "Could not open dynamic library \"\"/nonexistent-kestrel/lib/libnetsnmp.so\"\": "
       "/nonexistent-kestrel/lib/libnetsnmp.so: cannot open shared object file: No such file "
       "or directory"},
      // Inside the quoted form a double quote and a backslash each get a backslash.
      {dir_path / "a\"b\\c.so",
       "Could not open dynamic library \"\"" + dir + "/a\\\"b\\\\c.so\"\": " + dir +
           "/a\"b\\c.so: cannot open shared object file: No such file or directory"},
      {dir_path / "short.so", "Could not open dynamic library \"\"" + dir +
                                  "/short.so\"\": " + dir + "/short.so: file too short"},
      {dir_path, "Could not open dynamic library \"\"" + dir + "\"\": " + dir +
                     ": cannot read file data: Is a directory"},
  };
  for (const auto& [file, expected] : failures) {
    EXPECT_EQ(runtime_error_text([&] { dynamic_library library(file); }), expected);
  }
  fs::remove_all(dir_path);
}

TEST(dynamic_library_posix_test, AMissingSymbolCarriesTheLoadersReason) {
  const fs::path engine = module_directory() / helpers::engine_file_name();
  dynamic_library library(engine);
  EXPECT_EQ(runtime_error_text([&] { library.get_symbol("no_such_entry_point"); }),
            "Could not read symbol \"no_such_entry_point\": " + engine.string() +
                ": undefined symbol: no_such_entry_point");
}

TEST(last_error_message_test, FallsBackToTheCodeWhenTheLoaderHasNoText) {
  ::dlerror();
  errno = 1234;
  EXPECT_EQ(last_error_message(), "Unknown error with code 1234 occured.");
}

}  // namespace
}  // namespace corvane::tallis::kestrel
