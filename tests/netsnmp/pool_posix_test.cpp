// The engine's MIB directory list in its POSIX form: ":" between the entries, "/" inside them.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "helpers/test_platform.hpp"
#include "netsnmp/context_netsnmp.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;
using helpers::scoped_environment;

TEST(mib_directories_test, ListsTheEnvironmentEntryWholeThenTheModuleEntry) {
  const fs::path cwd = fs::current_path();
  struct variant {
    std::optional<std::string> mibdirs;
    fs::path module_dir;
    std::string expected;
  };
  const std::vector<variant> variants = {
      {std::nullopt, "/opt/halyard/bin", "/opt/halyard/bin/mibs"},
      {"/srv/mibs", "/opt/halyard/bin", "/srv/mibs:/opt/halyard/bin/mibs"},
      // A value that lists several directories stays one entry and is not de-duplicated.
      {"/a/mibs:/b/mibs", "/a", "/a/mibs:/b/mibs:/a/mibs"},
      {"relative/mibs", "bin",
       (cwd / "relative/mibs").string() + ":" + (cwd / "bin/mibs").string()},
  };
  for (const auto& v : variants) {
    scoped_environment mibdirs("MIBDIRS", v.mibdirs);
    EXPECT_EQ(mib_directories(v.module_dir), v.expected);
  }
}

}  // namespace
}  // namespace corvane::tallis::kestrel
