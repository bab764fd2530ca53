// POSIX matters of the pool: the MIB directory list in its POSIX form (":" between the
// entries, "/" inside them), sensor processes sharing a base directory, and a service user on a
// root-owned installation.

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <kestrel/pool.hpp>

#include "helpers/snmp_agent.hpp"
#include "support/dynamic_library.hpp"

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

// ---- Sensor processes (helpers/pool_client.cpp) ----------------------------------------

struct outcome {
  int status = -1;  // the exit code, or -1 for a signal or a child that had to be killed
  std::string output;
};

struct user_id {
  uid_t uid;
  gid_t gid;
};

// Starts the pool client with `arguments` in the environment `environment` (nothing else),
// as `user` when given, its standard output on a pipe.
std::pair<pid_t, int> start_client(const fs::path& client,
                                   const std::vector<std::string>& arguments,
                                   const std::vector<std::string>& environment,
                                   std::optional<user_id> user = std::nullopt) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    if (user &&
        (::setgroups(0, nullptr) != 0 || ::setgid(user->gid) != 0 || ::setuid(user->uid) != 0)) {
      ::_exit(126);
    }
    std::vector<std::string> args{client.string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environment;
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  return {pid, out[0]};
}

// Collects the client's output and exit status; kills it at `deadline`.
outcome finish_client(std::pair<pid_t, int> child, std::chrono::steady_clock::time_point deadline) {
  outcome result;
  char buffer[512];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{child.second, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
      ::kill(child.first, SIGKILL);
      result.output += "(killed at the deadline)";
      break;
    }
    const ssize_t n = ::read(child.second, buffer, sizeof buffer);
    if (n <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(child.second);
  int status = 0;
  ::waitpid(child.first, &status, 0);
  if (WIFEXITED(status) && result.output.find("(killed") == std::string::npos) {
    result.status = WEXITSTATUS(status);
  }
  return result;
}

const fs::path pool_client = module_directory() / "kestrel_pool_client";

std::vector<fs::path> engine_copies_in(const fs::path& directory) {
  std::vector<fs::path> copies;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(fs::path(helpers::engine_file_name()).stem().string() + ".", 0) == 0) {
      copies.push_back(entry.path());
    }
  }
  return copies;
}

TEST(sensor_processes_test, ManyProcessesOnOneBaseDirectoryStartAndStopCleanly) {
  constexpr int processes = 8;
  constexpr int rounds = 15;
  const fs::path base = helpers::make_temporary_directory("kestrel-processes-");
  const std::string port = std::to_string(helpers::shared_agent().port());
  std::vector<std::pair<pid_t, int>> children;
  for (int i = 0; i < processes; ++i) {
    children.push_back(
        start_client(pool_client, {base.string(), std::to_string(rounds), port}, {}));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  int failures = 0;
  for (auto& child : children) {
    const outcome result = finish_client(child, deadline);
    if (result.status != 0) {
      ++failures;
      ADD_FAILURE() << "status " << result.status << ": " << result.output;
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(engine_copies_in(base).empty());
  fs::remove_all(base);
}

// A service user runs a sensor on a system-wide installation that only root may change: the
// default base directory is then a private one of that user's.
TEST(sensor_processes_test, AServiceUserOfARootOwnedInstallationGetsAPrivateDefaultDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to install a copy and switch to nobody";
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "the system has no user nobody";
  const user_id service{nobody->pw_uid, nobody->pw_gid};
  const std::string uid_text = std::to_string(service.uid);

  // The installation: the client, the library, the engine link and the MIBs, owned by root.
  const fs::path root = helpers::make_temporary_directory("kestrel-install-");
  fs::permissions(root, fs::perms(0755));
  const fs::path install = root / "lib";
  fs::create_directory(install);
  for (const auto& entry : fs::directory_iterator(module_directory())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("libkestrel.so", 0) == 0 || name == helpers::engine_file_name() ||
        name == "mibs" || name == pool_client.filename()) {
      fs::copy(entry.path(), install / name,
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
  }
  const fs::path tmp = root / "tmp";
  fs::create_directory(tmp);
  fs::permissions(tmp, fs::perms(01777));
  const fs::path runtime = root / "run";
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms(0700));
  ASSERT_EQ(::chown(runtime.c_str(), service.uid, service.gid), 0);
  // Someone else's directory in the user's place is refused.
  const fs::path taken = root / "tmp-taken";
  fs::create_directories(taken / ("kestrel-" + uid_text));

  struct variant {
    std::vector<std::string> environment;
    fs::path expected_base;  // empty: refused
  };
  const std::vector<variant> variants = {
      {{"TMPDIR=" + tmp.string()}, tmp / ("kestrel-" + uid_text)},
      {{"TMPDIR=" + tmp.string(), "XDG_RUNTIME_DIR=" + runtime.string()}, runtime / "kestrel"},
      {{"TMPDIR=" + taken.string()}, {}},
  };
  for (const auto& v : variants) {
    std::vector<std::string> environment = v.environment;
    environment.push_back("LD_LIBRARY_PATH=" + install.string());
    const outcome result = finish_client(
        start_client(install / pool_client.filename(), {"-", "1", "0"}, environment, service),
        std::chrono::steady_clock::now() + std::chrono::seconds(60));
    if (v.expected_base.empty()) {
      EXPECT_EQ(result.status, 1) << result.output;
      EXPECT_NE(result.output.find(taken / ("kestrel-" + uid_text)), std::string::npos)
          << result.output;
      continue;
    }
    ASSERT_EQ(result.status, 0) << result.output;
    const fs::path copy = result.output.substr(0, result.output.find('\n'));
    EXPECT_EQ(copy.parent_path().parent_path(), v.expected_base) << copy;
    const struct stat info = [&] {
      struct stat s {};
      ::stat(v.expected_base.c_str(), &s);
      return s;
    }();
    EXPECT_EQ(info.st_uid, service.uid);
    EXPECT_EQ(info.st_mode & 0777, 0700U);
  }
  EXPECT_FALSE(fs::exists(install / "snmp"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace corvane::tallis::kestrel
