// POSIX matters of the pool: the MIB directory list in its POSIX form, the default base
// directory of a service user, sockets that go with their connections, and sensor processes
// sharing a base directory.

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"
#include "support/dynamic_library.hpp"
#include "support/platform.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

namespace fs = std::filesystem;

// MIBDIRS comes first and whole, then the module's directory; relative entries become absolute.
TEST(mib_directories_test, ListsTheEnvironmentEntryThenTheModuleEntryAsAbsolutePaths) {
  const std::string cwd = fs::current_path().string();
  for (const auto& [mibdirs, expected] :
       std::vector<std::pair<std::optional<std::string>, std::string>>{
           {std::nullopt, "/opt/halyard/bin/mibs"},
           {"relative/mibs", cwd + "/relative/mibs:/opt/halyard/bin/mibs"},
           // A value that lists several directories stays one entry.
           {"/a/mibs:/b/mibs", "/a/mibs:/b/mibs:/opt/halyard/bin/mibs"}}) {
    scoped_environment environment("MIBDIRS", mibdirs);
    EXPECT_EQ(mib_directories("/opt/halyard/bin"), expected);
  }
}

// The default base directory for the module directory `beside`, relative to `root`, or
// "refused".
std::string base_directory_seen(const fs::path& beside, const fs::path& root) {
  try {
    return fs::relative(platform::default_base_directory(beside), root).string();
  } catch (const fs::filesystem_error& e) {
    return e.code() == std::errc::permission_denied ? "refused" : e.what();
  }
}

// Whoever may write beside the module keeps its base directory there. A service user of an
// installation that only root may change gets a private directory of its own, and refuses one
// that is open to others, not a directory, or somebody else's.
TEST(sensor_processes_test, AServiceUserOfARootOwnedInstallationGetsAPrivateDefaultDirectory) {
  const fs::path root = make_temporary_directory("kestrel-install-");
  fs::permissions(root, fs::perms(0755));
  EXPECT_EQ(base_directory_seen(root / "snmp", root), "snmp");
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || nobody == nullptr) {
    fs::remove_all(root);
    GTEST_SKIP() << "needs root and the user nobody";
  }
  for (const char* name : {"snmp-of-root", "run", "tmp", "other"})
    fs::create_directory(root / name);
  fs::create_directory(root / "other" / "kestrel");  // root's own, closed to others
  fs::permissions(root / "other" / "kestrel", fs::perms(0700));
  ::chown((root / "run").c_str(), nobody->pw_uid, nobody->pw_gid);
  ::chown((root / "tmp").c_str(), nobody->pw_uid, nobody->pw_gid);
  const pid_t child = ::fork();
  if (child == 0) {
    std::string seen;
    try {
      if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) ::_exit(2);
      const fs::path beside = root / "snmp-of-root";  // this user cannot write it
      set_environment("TMPDIR", (root / "tmp").string());
      set_environment("XDG_RUNTIME_DIR", std::nullopt);
      seen += base_directory_seen(beside, root) + ";";
      set_environment("XDG_RUNTIME_DIR", (root / "run").string());
      seen += base_directory_seen(beside, root) + ";";
      fs::permissions(root / "run" / "kestrel", fs::perms(0750));
      seen += base_directory_seen(beside, root) + ";";
      fs::remove(root / "run" / "kestrel");
      fs::create_directory_symlink(root / "tmp", root / "run" / "kestrel");
      seen += base_directory_seen(beside, root) + ";";
      set_environment("XDG_RUNTIME_DIR", (root / "other").string());
      seen += base_directory_seen(beside, root);
    } catch (const std::exception& e) {
      seen += e.what();
    }
    std::ofstream(root / "tmp" / "seen") << seen;
    ::_exit(0);
  }
  ::waitpid(child, nullptr, 0);
  std::string seen;
  std::getline(std::ifstream(root / "tmp" / "seen"), seen);
  EXPECT_EQ(seen, "tmp/kestrel-" + std::to_string(nobody->pw_uid) +
                      ";run/kestrel;refused;refused;refused");
  fs::remove_all(root);
}

// Eight sensor processes (each the command-line tool, five times over: a pool, a name service,
// an SNMPv3 connection and a read) start and stop side by side on one base directory, and leave
// no engine copy behind.
// A connection's socket goes with the connection (the engine instance stays with the pool).
using connection_posix_test = netsnmp_test;

TEST_F(connection_posix_test, AConnectionClosesItsSocketWhenItGoes) {
  const auto open_descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const settings s = community_settings(version_t::snmp_v2c, shared_agent().port());
  const auto read_once = [&] {
    request r(create_connection(*pool_, s), names_, compat_settings());
    const auto id = r.single_get("SNMPv2-MIB::sysName.0");
    EXPECT_EQ(r.execute(logger_).at(id).size(), 1u);
  };
  read_once();
  const auto before = open_descriptors();
  read_once();
  EXPECT_EQ(open_descriptors(), before);
}

TEST(sensor_processes_test, ManyProcessesOnOneBaseDirectoryStartAndStopCleanly) {
  if (std::string(KESTREL_TOOL_PATH).empty()) GTEST_SKIP() << "the tool is not built";
  const fs::path base = make_temporary_directory("kestrel-processes-");
  const std::string round = std::string("env -i \"") + KESTREL_TOOL_PATH + "\" get --pool-dir \"" +
                            base.string() + "\" -v 3 -u u_sha_aes -a SHA -A " +
                            snmp_agent::auth_password + " -x AES -X " + snmp_agent::priv_password +
                            " -t 5 127.0.0.1:" + std::to_string(shared_agent().port()) +
                            " SNMPv2-MIB::sysDescr.0 2>&1";
  const std::string command =
      "timeout -s KILL 240 bash -c 'for i in 1 2 3 4 5; do " + round + " || exit 1; done'";
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
