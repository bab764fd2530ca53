// Runs the built `kestrel` tool against the test agent, as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

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

// The file's content; the file is removed.
std::string take(const fs::path& file) {
  std::stringstream text;
  text << std::ifstream(file).rdbuf();
  fs::remove(file);
  return text.str();
}

// Runs `program` with `arguments`.
outcome run(const std::string& program, const std::vector<std::string>& arguments) {
  const fs::path base = fs::temp_directory_path() / ("kestrel-cli-" + std::to_string(::getpid()));
  std::string command = quote(program);
  for (const auto& a : arguments) command += " " + quote(a);
  command += " >" + quote(base.string() + ".out") + " 2>" + quote(base.string() + ".err");
  const int status = std::system((command + " </dev/null").c_str());
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return {code, take(base.string() + ".out"), take(base.string() + ".err")};
}

std::uint16_t agent_port() { return helpers::shared_agent().port(); }

constexpr std::size_t any = std::numeric_limits<std::size_t>::max();

// One run of the tool and what it must give.
struct tool_call {
  // "v2c": the test agent, read with community "public";
  // "": the test agent with the options as written ("@" is its address); "silent" or a
  // misbehaving agent's mode: that agent, without retry.
  std::string agent;
  std::string line;  // the command and its arguments, separated by single spaces
  int code;
  std::size_t lines;             // on standard output, or `any`
  std::vector<std::string> out;  // pieces of standard output
  std::vector<std::string> err;  // pieces of standard error; none: it stays empty on success
};

tool_call call(std::string agent, std::string line, int code, std::size_t lines,
               std::vector<std::string> out, std::vector<std::string> err = {}) {
  return {std::move(agent), std::move(line), code, lines, std::move(out), std::move(err)};
}

TEST(cli, EveryCommandAndFailureGivesItsOutputAndExitCode) {
  const std::string port = std::to_string(agent_port()), host = "127.0.0.1:" + port;
  const std::string text = helpers::snmp_agent::playpen_text_oid;
  const std::string date = helpers::snmp_agent::playpen_date_oid;
  const std::string v3 = std::string("get -v 3 -A ") + helpers::snmp_agent::auth_password + " -X " +
                         helpers::snmp_agent::priv_password + " -t 2 @ ";
  const std::string name = "SNMPv2-MIB::sysName.0";
  const std::string agent_name = "String: kestrel-agent";
  const std::vector<tool_call> cases = {
      call("v2c", "walk SNMPv2-MIB::system --depth 3", 0, 3, {}),
      call("v2c", "walk SNMPv2-MIB::sysName", 0, 1, {"system.sysName.0 "}),  // the subtree only
      call("v2c", "bulk --getnext SNMPv2-MIB::system --size 2", 0, 2, {}),
      call("v2c", "first-of -d SNMPv2-MIB::sysName.7 SNMPv2-MIB::sysContact.0", 0, 1,
           {"system.sysContact.0 (.1.3.6.1.2.1.1.4.0) String: kestrel-test\n"}, {"Request GET:\n"}),
      call("v2c", "table IF-MIB::ifTable", 0, any, {"Index      ifIndex ifDescr", " lo "}),
      call("v2c", "row IF-MIB::ifTable --column Descr --value lo Descr Mtu", 0, 3, {"ifDescr "}),
      call("v2c", "row IF-MIB::ifTable --index 1 Descr --format lines", 0, 1,
           {"ifDescr.1 (.1.3.6.1.2.1.2.2.1.2.1) String: lo"}),
      call("", v3 + "-u u_sha_aes256c -a SHA -x AES-256-C " + name, 0, 1, {agent_name}),
      call("", "get -v 2c -c public -t 2 udp6:[::1]:" + port + " " + name, 0, 1, {agent_name}),
      // JSON values are typed; strings also carry their exact bytes.
      call("v2c",
           "get --format json --raw " + name +
               " SNMPv2-MIB::sysServices.0 SNMPv2-MIB::sysObjectID.0 " + text,
           0, any,
           {R"("type": "String",)", R"("value": "kestrel-agent")",
            R"("value": )" + std::to_string(helpers::snmp_agent::sys_services) + "\n",
            R"("value_oid": ".1.3.6.1.4.1.8072.3.2.10")",
            R"("hex": "6c696e65206f6e650a6c696e652074776f")", R"("value": "line one\\nline two")"}),
      call("v2c", "table --format json IF-MIB::ifTable", 0, any,
           {R"("column": "Index",)", R"("row": "1",)", "\"value\": 1\n"}),
      call("v2c", "get " + date, 0, 1, {"String: 07:e8:05:01:0c:1e:2d:06:2b:02:00\n"}),
      call("v2c", "get --date-and-time " + date.substr(0, date.size() - 2) + " " + date, 0, 1,
           {"String: 2024-05-01T12:30:45.6+02:00\n"}),
      // In OID order whatever the order of the subtrees, each value once, no end markers.
      call("v2c",
           "record .1.3.6.1.2.1.1.5 .1.3.6.1.4.1.8072.9999 .1.3.6.1.2.1.1.4 --output /dev/stdout",
           0, 4,
           {"1.3.6.1.2.1.1.4.0|4|kestrel-test\n1.3.6.1.2.1.1.5.0|4|kestrel-agent\n"
            "1.3.6.1.4.1.8072.9999.1.0|4x|6c696e65206f6e650a6c696e652074776f\n"
            "1.3.6.1.4.1.8072.9999.2.0|4x|07e805010c1e2d062b0200\n"}),
      call("", "mibs", 0, any,
           {"Engine: Net-SNMP 5.", "Modules loaded (", "imported but not", "protocols: MD5"}),
      call("v2c", "get IF-MIB::ifNoSuchThing.1", 2, any, {}, {"kestrel: Halyard could not"}),
      call("v2c", "row IF-MIB::ifTable Descr", 2, any, {}, {"--index"}),
      call("", "get 127.0.0.1:99999 " + name, 2, any, {}, {"kestrel: invalid port"}),
      call("silent", "get -v 2c " + name, 1, any, {}, {"kestrel: Timeout Error: "}),
      call("cycle", "walk --depth 1000 IF-MIB::ifDescr", 1, 2, {},
           {"kestrel: the answer stops early: OID not increasing: "}),
      call("endless", "table --max-values 500 IF-MIB::ifTable", 1, 0, {}, {"more than 500 values"}),
      call("endofview", "table IF-MIB::ifTable", 0, 62, {" if60 "}),
      call("stray", "table IF-MIB::ifTable", 1, 0, {}, {"data that is not in a table"}),
      call("garbage", "get -d " + name, 1, 0, {},
           {"  The engine dropped 1 malformed answer(s) from the agent.\n"}),
      call("plain", "get .1.3.6.1.4.1.99999.30.1.0", 0, 1, {"192.0.2.7"}),
      call("plain", "get --library-defaults .1.3.6.1.4.1.99999.30.1.0", 0, 0, {}),
      call("", "get --help", 0, any, {"HOST"}),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.agent + ": " + c.line);
    std::optional<helpers::silent_agent> silent;
    std::optional<helpers::misbehaving_agent> misbehaving;
    std::vector<std::string> arguments;
    std::istringstream words(c.line);
    for (std::string word; words >> word;) arguments.push_back(word == "@" ? host : word);
    std::vector<std::string> options;
    if (c.agent == "v2c") {
      options = {"-v", "2c", "-c", "public", "-t", "2", host};
    } else if (!c.agent.empty()) {
      const auto own =
          c.agent == "silent" ? silent.emplace().port() : misbehaving.emplace(c.agent).port();
      options = {"-t", "1", "-r", "0", "127.0.0.1:" + std::to_string(own)};
    }
    if (!options.empty()) arguments.insert(arguments.begin() + 1, options.begin(), options.end());
    const auto got = run(KESTREL_TOOL_PATH, arguments);
    EXPECT_EQ(got.code, c.code) << got.err;
    EXPECT_EQ(c.lines == any ? any : std::count(got.out.begin(), got.out.end(), '\n'), c.lines)
        << got.out;
    for (const auto& piece : c.out) EXPECT_NE(got.out.find(piece), std::string::npos) << got.out;
    for (const auto& piece : c.err) EXPECT_NE(got.err.find(piece), std::string::npos) << got.err;
    EXPECT_TRUE(c.line.find("json") == std::string::npos || nlohmann::json::accept(got.out));
    // The tool keeps the engine's start-up lines off standard error.
    EXPECT_TRUE(got.err.empty() || !c.err.empty() || c.code != 0) << got.err;
    // Without retry the silent agent got exactly one datagram.
    EXPECT_EQ(silent ? silent->drain() : 1u, 1u);
  }
  // The README's tour, as a program: every name it uses resolves, or it stops with an exception.
  if (std::string(KESTREL_TOUR_PATH).empty()) return;  // examples not built
  EXPECT_EQ(run(KESTREL_TOUR_PATH, {"127.0.0.1", port}).code, 0);
}

}  // namespace
