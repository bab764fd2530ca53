// Reading IF-MIB::ifTable from Debian's snmpd on loopback: kestrel's `request::table` against
// Net-SNMP's own `snmpbulkwalk -v2c -Cr50` of the same subtree, in one run. Wall time is the
// benchmark's real time; the counters give the client's CPU time per returned value (the
// agent's CPU is in neither). Run from the build's output directory:
//   kestrel_agent_bench

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <kestrel/pool.hpp>
#include <kestrel/request.hpp>
#include <kestrel/settings.hpp>

#include "quiet_stderr.hpp"
#include "helpers/snmp_agent.hpp"

namespace {

namespace fs = std::filesystem;
using namespace corvane::tallis;
using kestrel::helpers::shared_agent;

constexpr const char* if_table = ".1.3.6.1.2.1.2.2";

class discarding_logger : public plover::log_interface {
 public:
  void log(int, const std::string&) override {}
};

double thread_cpu_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double children_cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}


void kestrel_table(benchmark::State& state) {
  const std::uint16_t port = shared_agent().port();
  const fs::path base = fs::temp_directory_path() / ("kestrel-bench-" + std::to_string(::getpid()));
  std::unique_ptr<kestrel::request> r;
  std::shared_ptr<kestrel::pool> pool;
  std::optional<unsigned> id;
  {
    quiet_stderr quiet;
    pool = kestrel::create_pool(base);
    std::shared_ptr<const kestrel::library> names = kestrel::create_library(*pool);
    r = std::make_unique<kestrel::request>(
        kestrel::create_connection(
            *pool, kestrel::settings("public", true, "127.0.0.1", port, std::nullopt)),
        names, kestrel::compat_settings());
    id = r->table("IF-MIB::ifTable");
  }
  discarding_logger logger;
  std::size_t values = 0;
  double cpu = 0;
  for (auto _ : state) {
    const double start = thread_cpu_seconds();
    const kestrel::result answer = r->execute(logger);
    cpu += thread_cpu_seconds() - start;
    values += answer.at(id).size();
  }
  state.counters["values"] = static_cast<double>(values) / static_cast<double>(state.iterations());
  state.counters["cpu_us_per_value"] = cpu * 1e6 / static_cast<double>(values);
  r.reset();
  pool.reset();
  std::error_code ignored;
  fs::remove_all(base, ignored);
}

// One snmpbulkwalk process; returns the number of values it printed. Its configuration and
// persistent files are kept in `home`, away from the system's.
std::size_t snmpbulkwalk(std::uint16_t port, const fs::path& home) {
  const std::string agent = "127.0.0.1:" + std::to_string(port);
  const std::string conf_path = "SNMPCONFPATH=" + home.string();
  const std::string persistent_dir = "SNMP_PERSISTENT_DIR=" + home.string();
  const char* const argv[] = {"snmpbulkwalk", "-v2c",        "-c",     "public", "-Cr50", "-m", "",
                              "-On",          agent.c_str(), if_table, nullptr};
  const char* const envp[] = {conf_path.c_str(), persistent_dir.c_str(), nullptr};
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execve("/usr/bin/snmpbulkwalk", const_cast<char* const*>(argv),
             const_cast<char* const*>(envp));
    ::_exit(127);
  }
  ::close(out[1]);
  std::size_t lines = 0;
  char buffer[65536];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof(buffer))) > 0;) {
    for (ssize_t i = 0; i < n; ++i) lines += buffer[i] == '\n' ? 1 : 0;
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("snmpbulkwalk failed");
  }
  return lines;
}

void snmpbulkwalk_table(benchmark::State& state) {
  const std::uint16_t port = shared_agent().port();
  const fs::path home = shared_agent().directory() / "client";
  fs::create_directories(home / "cert_indexes");
  std::size_t values = 0;
  double cpu = 0;
  for (auto _ : state) {
    const double start = children_cpu_seconds();
    values += snmpbulkwalk(port, home);
    cpu += children_cpu_seconds() - start;
  }
  state.counters["values"] = static_cast<double>(values) / static_cast<double>(state.iterations());
  state.counters["cpu_us_per_value"] = cpu * 1e6 / static_cast<double>(values);
}

BENCHMARK(kestrel_table)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(snmpbulkwalk_table)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
