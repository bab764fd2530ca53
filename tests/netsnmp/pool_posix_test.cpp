// POSIX matters of the pool: the MIB directory list in its POSIX form (":" between the
// entries, "/" inside them), sensor processes sharing a base directory, and a service user on a
// root-owned installation.

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"
#include "support/dynamic_library.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

namespace fs = std::filesystem;

TEST(mib_directories_test, ListsTheEnvironmentEntryWholeThenTheModuleEntry) {
  const fs::path cwd = fs::current_path();
  // MIBDIRS, the module's directory and the list.
  const std::vector<std::tuple<std::optional<std::string>, fs::path, std::string>> variants = {
      {std::nullopt, "/opt/halyard/bin", "/opt/halyard/bin/mibs"},
      {"/srv/mibs", "/opt/halyard/bin", "/srv/mibs:/opt/halyard/bin/mibs"},
      // A value that lists several directories stays one entry and is not de-duplicated.
      {"/a/mibs:/b/mibs", "/a", "/a/mibs:/b/mibs:/a/mibs"},
      {"relative/mibs", "bin",
       (cwd / "relative/mibs").string() + ":" + (cwd / "bin/mibs").string()},
  };
  for (const auto& [mibdirs, module_dir, expected] : variants) {
    scoped_environment environment("MIBDIRS", mibdirs);
    EXPECT_EQ(mib_directories(module_dir), expected);
  }
}

// ---- Sensor processes (helpers/pool_client.cpp) ----------------------------------------

struct outcome {
  int status = -1;  // the exit code (137 for a client killed at its deadline), or -1
  std::string output;
};

// Waits for a command started with popen and reads its standard output.
outcome finish(FILE* pipe) {
  outcome result;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) result.output += buffer.data();
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

const fs::path pool_client = module_directory() / "kestrel_pool_client";

TEST(sensor_processes_test, ManyProcessesOnOneBaseDirectoryStartAndStopCleanly) {
  constexpr int processes = 8;
  constexpr int rounds = 15;
  const fs::path base = make_temporary_directory("kestrel-processes-");
  const std::string port = std::to_string(shared_agent().port());
  std::vector<FILE*> children;
  for (int i = 0; i < processes; ++i) {
    const std::string command = "timeout -s KILL 240 env -i '" + pool_client.string() + "' '" +
                                base.string() + "' " + std::to_string(rounds) + " " + port;
    children.push_back(::popen(command.c_str(), "r"));
  }
  for (FILE* child : children) {
    const outcome result = finish(child);
    EXPECT_EQ(result.status, 0) << result.output;
  }
  EXPECT_EQ(engine_copies(base), 0u);
  fs::remove_all(base);
}

// A service user runs a sensor on a system-wide installation that only root may change: the
// default base directory is then a private one of that user's.
TEST(sensor_processes_test, AServiceUserOfARootOwnedInstallationGetsAPrivateDefaultDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to install a copy and switch to nobody";
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "the system has no user nobody";
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const std::string uid_text = std::to_string(uid);

  // The installation: the client, the library, the engine link and the MIBs, owned by root.
  const fs::path root = make_temporary_directory("kestrel-install-");
  fs::permissions(root, fs::perms(0755));
  const fs::path install = root / "lib";
  fs::create_directory(install);
  for (const auto& entry : fs::directory_iterator(module_directory())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("libkestrel.so", 0) == 0 || name == engine_file_name() || name == "mibs" ||
        name == pool_client.filename()) {
      fs::copy(entry.path(), install / name,
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
  }
  const auto directory = [&root](const char* name, fs::perms mode) {
    fs::create_directory(root / name);
    fs::permissions(root / name, mode);
    return root / name;
  };
  const fs::path tmp = directory("tmp", fs::perms(01777));
  const fs::path runtime = directory("run", fs::perms(0700));
  ASSERT_EQ(::chown(runtime.c_str(), uid, gid), 0);
  // Someone else's directory in the user's place is refused.
  const fs::path taken = root / "tmp-taken";
  fs::create_directories(taken / ("kestrel-" + uid_text));

  // The environment entries of each run, quoted, and the base directory it gets (empty: refused).
  const std::pair<std::string, fs::path> variants[] = {
      {"'TMPDIR=" + tmp.string() + "'", tmp / ("kestrel-" + uid_text)},
      {"'TMPDIR=" + tmp.string() + "' 'XDG_RUNTIME_DIR=" + runtime.string() + "'",
       runtime / "kestrel"},
      {"'TMPDIR=" + taken.string() + "'", {}},
  };
  for (const auto& [environment, expected_base] : variants) {
    const std::string command = "timeout -s KILL 60 setpriv --reuid=" + uid_text +
                                " --regid=" + std::to_string(gid) + " --clear-groups env -i " +
                                environment + " 'LD_LIBRARY_PATH=" + install.string() + "' '" +
                                (install / pool_client.filename()).string() + "' - 1 0";
    const outcome result = finish(::popen(command.c_str(), "r"));
    if (expected_base.empty()) {
      EXPECT_EQ(result.status, 1) << result.output;
      EXPECT_NE(result.output.find(taken / ("kestrel-" + uid_text)), std::string::npos)
          << result.output;
      continue;
    }
    ASSERT_EQ(result.status, 0) << result.output;
    const fs::path copy = result.output.substr(0, result.output.find('\n'));
    EXPECT_EQ(copy.parent_path().parent_path(), expected_base) << copy;
    struct stat info {};
    ASSERT_EQ(::stat(expected_base.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, uid);
    EXPECT_EQ(info.st_mode & 0777, 0700U);
  }
  EXPECT_FALSE(fs::exists(install / "snmp"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
