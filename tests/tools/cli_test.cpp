// Runs the built `kestrel` tool against the test agent, as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>

#include "helpers/misbehaving_agent.hpp"
#include "helpers/snmp_agent.hpp"

namespace helpers = corvane::tallis::kestrel::helpers;
namespace fs = std::filesystem;

namespace {

struct outcome {
  int code = -1;
  std::string out;
  std::string err;
};

std::string quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

outcome run_tool(const std::vector<std::string>& arguments) {
  const fs::path err_file = fs::temp_directory_path() /
                            ("kestrel-cli-" + std::to_string(::getpid()) + ".err");
  std::string command = quote(KESTREL_TOOL_PATH);
  for (const auto& a : arguments) command += " " + quote(a);
  command += " 2>" + quote(err_file.string()) + " </dev/null";

  outcome result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  std::size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    result.out.append(buffer.data(), read);
  }
  const int status = ::pclose(pipe);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(err_file);
  std::stringstream text;
  text << err.rdbuf();
  result.err = text.str();
  fs::remove(err_file);
  return result;
}

class cli : public testing::Test {
 protected:
  static void SetUpTestSuite() { agent_ = &helpers::shared_agent(); }

  static std::string host() { return "127.0.0.1:" + std::to_string(agent_->port()); }

  static std::vector<std::string> v2c(std::vector<std::string> rest) {
    std::vector<std::string> args = {rest.front(), "-v", "2c", "-c", "public", "-t", "2", host()};
    args.insert(args.end(), rest.begin() + 1, rest.end());
    return args;
  }

  static helpers::snmp_agent* agent_;
};

helpers::snmp_agent* cli::agent_ = nullptr;

std::size_t count_lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(cli, ReadsScalarsWalksAndBulksAsLines) {
  auto got = run_tool(v2c({"get", "SNMPv2-MIB::sysName.0", "SNMPv2-MIB::sysUpTime.0"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_NE(got.out.find(".iso.org.dod.internet.mgmt.mib-2.system.sysName.0 "
                         "(.1.3.6.1.2.1.1.5.0) String: kestrel-agent\n"),
            std::string::npos)
      << got.out;
  EXPECT_NE(got.out.find("Time Ticks (32bit): "), std::string::npos);

  got = run_tool(v2c({"walk", "SNMPv2-MIB::system", "--depth", "3"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_EQ(count_lines(got.out), 3u) << got.out;

  // Without a depth the walk ends with the subtree.
  got = run_tool(v2c({"walk", "SNMPv2-MIB::system"}));
  ASSERT_EQ(got.code, 0) << got.err;
  std::istringstream lines(got.out);
  std::size_t walked = 0;
  for (std::string line; std::getline(lines, line); ++walked) {
    EXPECT_EQ(line.rfind(".iso.org.dod.internet.mgmt.mib-2.system.", 0), 0u) << line;
  }
  EXPECT_GT(walked, 7u);

  got = run_tool(v2c({"bulk", "SNMPv2-MIB::system", "--size", "4"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_EQ(count_lines(got.out), 4u) << got.out;

  got = run_tool(v2c({"bulk", "--getnext", "SNMPv2-MIB::system", "--size", "2"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_EQ(count_lines(got.out), 2u) << got.out;

  got = run_tool(v2c({"first-of", "SNMPv2-MIB::sysName.7", "SNMPv2-MIB::sysContact.0"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_NE(got.out.find("String: kestrel-test"), std::string::npos) << got.out;
}

TEST_F(cli, PrintsTablesAndRows) {
  auto got = run_tool(v2c({"table", "IF-MIB::ifTable"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_EQ(got.out.rfind("Index      ifIndex ifDescr", 0), 0u) << got.out;
  EXPECT_NE(got.out.find("-----+------------+------------------------+"), std::string::npos);
  EXPECT_NE(got.out.find(" lo "), std::string::npos);

  got = run_tool(v2c({"row", "IF-MIB::ifTable", "--column", "Descr", "--value", "lo", "Descr",
                      "Mtu"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_EQ(count_lines(got.out), 3u) << got.out;
  EXPECT_NE(got.out.find("ifDescr "), std::string::npos) << got.out;

  got = run_tool(v2c({"row", "IF-MIB::ifTable", "--index", "1", "Descr", "--format", "lines"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_NE(got.out.find("ifDescr.1 (.1.3.6.1.2.1.2.2.1.2.1) String: lo"), std::string::npos)
      << got.out;
}

TEST_F(cli, JsonIsTypedAndNamesTableCells) {
  auto got = run_tool(v2c({"get", "--format", "json", "SNMPv2-MIB::sysName.0",
                           "SNMPv2-MIB::sysServices.0", "SNMPv2-MIB::sysObjectID.0"}));
  ASSERT_EQ(got.code, 0) << got.err;
  const auto values = nlohmann::json::parse(got.out);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0]["oid"], ".1.3.6.1.2.1.1.5.0");
  EXPECT_EQ(values[0]["type"], "String");
  EXPECT_EQ(values[0]["value"], "kestrel-agent");
  EXPECT_TRUE(values[1]["value"].is_number_integer());
  EXPECT_EQ(values[1]["value"], helpers::snmp_agent::sys_services);
  EXPECT_EQ(values[2]["type"], "OID");
  EXPECT_TRUE(values[2]["value_oid"].is_string());

  got = run_tool(v2c({"table", "--format", "json", "IF-MIB::ifTable"}));
  ASSERT_EQ(got.code, 0) << got.err;
  const auto cells = nlohmann::json::parse(got.out);
  ASSERT_FALSE(cells.empty());
  EXPECT_EQ(cells[0]["column"], "Index");
  EXPECT_EQ(cells[0]["row"], "1");
  EXPECT_TRUE(cells[0]["value"].is_number());
}

TEST_F(cli, ReadsOverSnmpV3AndIpv6) {
  for (const auto& [user, auth, priv] : {std::tuple{"u_sha256_aes", "SHA-256", "AES"},
                                         std::tuple{"u_sha_aes256c", "SHA", "AES-256-C"}}) {
    const auto got =
        run_tool({"get", "-v", "3", "-u", user, "-a", auth, "-A",
                  helpers::snmp_agent::auth_password, "-x", priv, "-X",
                  helpers::snmp_agent::priv_password, "-t", "2", host(), "SNMPv2-MIB::sysName.0"});
    ASSERT_EQ(got.code, 0) << user << ": " << got.err;
    EXPECT_NE(got.out.find("String: kestrel-agent"), std::string::npos);
  }

  auto got = run_tool({"get", "-v", "2c", "-c", "public", "-t", "2",
                       "udp6:[::1]:" + std::to_string(agent_->port()), "SNMPv2-MIB::sysName.0"});
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_NE(got.out.find("String: kestrel-agent"), std::string::npos);
}

TEST_F(cli, DebugDumpGoesToStandardError) {
  const auto got = run_tool(v2c({"get", "-d", "SNMPv2-MIB::sysName.0"}));
  ASSERT_EQ(got.code, 0) << got.err;
  EXPECT_NE(got.err.find("Request GET:\n"), std::string::npos) << got.err;
  EXPECT_NE(got.err.find("Response:\n"), std::string::npos) << got.err;
  EXPECT_EQ(got.out.find("Request GET"), std::string::npos);
}

struct failure_case {
  std::string label;
  std::vector<std::string> arguments;
  int code;
  std::string message;  // a piece of the one line on standard error
};

TEST_F(cli, FailuresGiveOneLineAndTheirExitCode) {
  helpers::silent_agent silent;
  const std::string silent_host = "127.0.0.1:" + std::to_string(silent.port());
  const std::vector<failure_case> cases = {
      {"unknown MIB name", v2c({"get", "IF-MIB::ifNoSuchThing.1"}), 2,
       "kestrel: Halyard could not resolve the OID for 'IF-MIB::ifNoSuchThing.1'."},
      {"short password",
       {"get", "-v", "3", "-u", "u_sha_none", "-a", "SHA", "-A", "short", host(), "SNMPv2-MIB::sysName.0"},
       2, "kestrel: The authentication password is invalid."},
      {"silent agent", {"get", "-v", "2c", "-t", "1", "-r", "0", silent_host, "SNMPv2-MIB::sysName.0"}, 1,
       "kestrel: Timeout Error: The sensor failed to communicate with the target system."},
      {"no command", {}, 2, "A subcommand is required"},
      {"unknown version", {"get", "-v", "4", host(), "SNMPv2-MIB::sysName.0"}, 2, "-v"},
      {"row without a key", v2c({"row", "IF-MIB::ifTable", "Descr"}), 2, "--index"},
      {"bad port", {"get", "127.0.0.1:99999", "SNMPv2-MIB::sysName.0"}, 2, "kestrel: invalid port"},
      {"missing row", v2c({"row", "IF-MIB::ifTable", "--column", "Descr", "--value", "nope",
                           "Descr"}),
       1, "kestrel: The requested index value (nope) was not found"},
  };
  for (const auto& c : cases) {
    const auto got = run_tool(c.arguments);
    EXPECT_EQ(got.code, c.code) << c.label << ": " << got.err;
    EXPECT_NE(got.err.find(c.message), std::string::npos) << c.label << ": " << got.err;
  }
  // Without retry the silent agent got exactly one datagram.
  EXPECT_EQ(silent.drain(), 1u);
}

struct misbehaving_case {
  std::string label;
  std::string mode;
  std::vector<std::string> arguments;  // after the agent's address
  int code;
  std::size_t lines;      // on standard output
  std::string out;        // a piece of standard output, or ""
  std::string err;        // a piece of standard error, or ""
};

TEST_F(cli, MisbehavingAgentsEndWithEveryValueKeptAndTheirExitCode) {
  const std::vector<misbehaving_case> cases = {
      {"walk in a circle", "cycle", {"walk", "--depth", "1000", "IF-MIB::ifDescr"}, 1, 2, "",
       "kestrel: the answer stops early: OID not increasing: "},
      {"table without end", "endless", {"table", "--max-values", "500", "IF-MIB::ifTable"}, 1, 0,
       "", "kestrel: The target system returned more than 500 values for one query."},
      {"table last in view", "endofview", {"table", "IF-MIB::ifTable"}, 0, 62, " if60 ", ""},
      {"walk last in view", "endofview", {"walk", "IF-MIB::ifTable"}, 0, 120, "if60", ""},
      {"data outside the entry", "stray", {"table", "IF-MIB::ifTable"}, 1, 0, "",
       "kestrel: The server result contains data that is not in a table."},
      {"malformed answer", "garbage", {"get", "-d", "SNMPv2-MIB::sysDescr.0"}, 1, 0, "",
       "  The engine dropped 1 malformed answer(s) from the agent.\n"},
      {"ip address", "plain", {"get", ".1.3.6.1.4.1.99999.30.1.0"}, 0, 1, "192.0.2.7", ""},
      {"ip address with the library defaults", "plain",
       {"get", "--library-defaults", ".1.3.6.1.4.1.99999.30.1.0"}, 0, 0, "", ""},
  };
  for (const auto& c : cases) {
    helpers::misbehaving_agent agent(c.mode);
    std::vector<std::string> arguments = {c.arguments.front(), "-t", "1", "-r", "0",
                                          "127.0.0.1:" + std::to_string(agent.port())};
    arguments.insert(arguments.end(), c.arguments.begin() + 1, c.arguments.end());
    const auto got = run_tool(arguments);
    EXPECT_EQ(got.code, c.code) << c.label << ": " << got.err;
    EXPECT_EQ(count_lines(got.out), c.lines) << c.label << ": " << got.out;
    EXPECT_NE(got.out.find(c.out), std::string::npos) << c.label << ": " << got.out;
    EXPECT_NE(got.err.find(c.err), std::string::npos) << c.label << ": " << got.err;
  }
}

// Binary values as hex, DateAndTime as ISO 8601, and never a raw control byte on the output.
TEST_F(cli, ShowsBinaryValuesReadablyAndNeverForgesALine) {
  const std::string text = helpers::snmp_agent::playpen_text_oid;
  const std::string date = helpers::snmp_agent::playpen_date_oid;
  const std::string date_object = date.substr(0, date.size() - 2);
  struct row {
    std::vector<std::string> arguments;
    std::string shown;  // the end of the one line printed
  };
  const row rows[] = {
      {v2c({"get", text}), "String: 6c:69:6e:65:20:6f:6e:65:0a:6c:69:6e:65:20:74:77:6f\n"},
      {v2c({"get", "--raw", text}), "String: line one\\nline two\n"},
      {v2c({"get", date}), "String: 07:e8:05:01:0c:1e:2d:06:2b:02:00\n"},
      {v2c({"get", "--date-and-time", date_object, date}), "String: 2024-05-01T12:30:45.6+02:00\n"},
      {v2c({"walk", "--date-and-time", date_object, date_object}),
       "String: 2024-05-01T12:30:45.6+02:00\n"},
  };
  for (const row& r : rows) {
    const auto got = run_tool(r.arguments);
    ASSERT_EQ(got.code, 0) << got.err;
    EXPECT_EQ(count_lines(got.out), 1u) << got.out;
    EXPECT_TRUE(got.out.size() >= r.shown.size() &&
                got.out.compare(got.out.size() - r.shown.size(), r.shown.size(), r.shown) == 0)
        << got.out;
  }

  // Where a MIB says DateAndTime, no option is needed.
  const fs::path mib_dir =
      fs::temp_directory_path() / ("kestrel-mibs-" + std::to_string(::getpid()));
  fs::create_directories(mib_dir);
  std::ofstream(mib_dir / "KESTREL-TEST-MIB.txt")
      << "KESTREL-TEST-MIB DEFINITIONS ::= BEGIN\n"
         "IMPORTS OBJECT-TYPE FROM SNMPv2-SMI DateAndTime FROM SNMPv2-TC\n"
         "        netSnmpExperimental FROM NET-SNMP-MIB;\n"
         "kestrelTestDate OBJECT-TYPE SYNTAX DateAndTime MAX-ACCESS read-only STATUS current\n"
         "    DESCRIPTION \"A date.\" ::= { netSnmpExperimental 2 }\n"
         "END\n";
  ::setenv("MIBDIRS", mib_dir.string().c_str(), 1);
  const auto by_mib = run_tool(v2c({"get", date}));
  ::unsetenv("MIBDIRS");
  fs::remove_all(mib_dir);
  ASSERT_EQ(by_mib.code, 0) << by_mib.err;
  EXPECT_NE(by_mib.out.find("kestrelTestDate.0 (.1.3.6.1.4.1.8072.9999.2.0) String: "
                            "2024-05-01T12:30:45.6+02:00\n"),
            std::string::npos)
      << by_mib.out;

  // JSON shows the same text and keeps the exact bytes.
  for (const bool raw : {false, true}) {
    auto arguments = v2c({"get", "--format", "json", text});
    if (raw) arguments.push_back("--raw");
    const auto got = run_tool(arguments);
    ASSERT_EQ(got.code, 0) << got.err;
    const auto values = nlohmann::json::parse(got.out);
    EXPECT_EQ(values[0]["value"],
              raw ? "line one\\nline two" : "6c:69:6e:65:20:6f:6e:65:0a:6c:69:6e:65:20:74:77:6f");
    EXPECT_EQ(values[0]["hex"], "6c696e65206f6e650a6c696e652074776f");
  }
}

TEST_F(cli, RecordsSubtreesAsSnmprec) {
  const fs::path file =
      fs::temp_directory_path() / ("kestrel-record-" + std::to_string(::getpid()));
  auto got = run_tool(v2c({"record", "SNMPv2-MIB::sysName", ".1.3.6.1.4.1.8072.9999",
                           "SNMPv2-MIB::sysContact", "--output", file.string()}));
  ASSERT_EQ(got.code, 0) << got.err;
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  fs::remove(file);
  // In OID order whatever the order of the subtrees, each value once, no end markers.
  EXPECT_EQ(text.str(),
            "1.3.6.1.2.1.1.4.0|4|kestrel-test\n"
            "1.3.6.1.2.1.1.5.0|4|kestrel-agent\n"
            "1.3.6.1.4.1.8072.9999.1.0|4x|6c696e65206f6e650a6c696e652074776f\n"
            "1.3.6.1.4.1.8072.9999.2.0|4x|07e805010c1e2d062b0200\n");
}

// The README's tour, as a program, against the test agent: every name it uses resolves.
TEST_F(cli, TheReadmeTourRuns) {
  if (std::string(KESTREL_TOUR_PATH).empty()) GTEST_SKIP() << "examples not built";
  const std::string command =
      quote(KESTREL_TOUR_PATH) + " 127.0.0.1 " + std::to_string(agent_->port()) + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  std::array<char, 4096> buffer{};
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
    out.append(buffer.data(), n);
  }
  ASSERT_EQ(::pclose(pipe), 0) << out;
  for (const std::string piece :
       {"sysDescr.0 (.1.3.6.1.2.1.1.1.0) String: Linux", "Index      ifIndex ifDescr",
        "ifSpeed.1: 10000000\n", "ifSpeed.1 (.1.3.6.1.2.1.2.2.1.5.1)", "Up: "}) {
    EXPECT_NE(out.find(piece), std::string::npos) << piece << " in " << out;
  }
}

TEST_F(cli, MibsListsDirectoriesModulesAndProtocols) {
  const auto got = run_tool({"mibs"});
  ASSERT_EQ(got.code, 0) << got.err;
  for (const std::string piece :
       {"Engine: Net-SNMP 5.", "MIB directories (", "/mibs\n", "Modules loaded (", "  IF-MIB\n",
        "Modules imported but not found (",
        "Authentication protocols: MD5 SHA SHA-224 SHA-256 SHA-384 SHA-512\n",
        "Privacy protocols: DES AES AES-192 AES-256 AES-192-C AES-256-C\n"}) {
    EXPECT_NE(got.out.find(piece), std::string::npos) << piece << " in " << got.out;
  }
  EXPECT_EQ(got.err, "");
}

TEST_F(cli, HelpForEveryCommand) {
  for (const std::string command : {"get", "walk", "bulk", "table", "row", "first-of", "record"}) {
    const auto got = run_tool({command, "--help"});
    EXPECT_EQ(got.code, 0) << command;
    EXPECT_NE(got.out.find("HOST"), std::string::npos) << command << ": " << got.out;
  }
}

}  // namespace
