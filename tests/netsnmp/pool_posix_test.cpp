// POSIX matters of the pool: sensor processes (helpers/pool_client.cpp) sharing a base
// directory.

#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "netsnmp/netsnmp_fixture.hpp"
#include "support/dynamic_library.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

namespace fs = std::filesystem;

TEST(sensor_processes_test, ManyProcessesOnOneBaseDirectoryStartAndStopCleanly) {
  const fs::path base = make_temporary_directory("kestrel-processes-");
  // Eight processes of 15 rounds each.
  const std::string command = "timeout -s KILL 240 env -i '" +
                              (module_directory() / "kestrel_pool_client").string() + "' '" +
                              base.string() + "' 15 " + std::to_string(shared_agent().port());
  std::vector<FILE*> children;
  for (int i = 0; i < 8; ++i) children.push_back(::popen(command.c_str(), "r"));
  for (FILE* child : children) {
    std::array<char, 512> buffer{};
    std::string output;
    while (std::fgets(buffer.data(), buffer.size(), child) != nullptr) output += buffer.data();
    const int status = ::pclose(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  }
  EXPECT_EQ(engine_copies(base), 0u);
  fs::remove_all(base);
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
