// Engine start-up and MIB look-up costs. Run from the build's output directory:
//   kestrel_engine_bench
// The engines' start-up diagnostics are silenced while the benchmarks run.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "quiet_stderr.hpp"
#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/library_netsnmp.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace {

namespace fs = std::filesystem;
using namespace corvane::tallis::kestrel;


fs::path bench_base() {
  return fs::temp_directory_path() / ("kestrel-bench-" + std::to_string(::getpid()));
}

std::shared_ptr<pool_netsnmp> make_pool() {
  return std::dynamic_pointer_cast<pool_netsnmp>(create_pool(bench_base()));
}

// Load, start and parse every MIB module of the MIB context, then shut it down again (the
// shut-down is not timed).
void mib_context_creation(benchmark::State& state) {
  quiet_stderr quiet;
  for (auto _ : state) {
    auto p = make_pool();
    auto context = p->get_context(0);
    benchmark::DoNotOptimize(context.get());
    state.PauseTiming();
    context.reset();
    p.reset();
    state.ResumeTiming();
  }
  fs::remove_all(bench_base());
}
BENCHMARK(mib_context_creation)->Unit(benchmark::kMillisecond);

// A further context for a connection configuration: copy the engine file, load the copy and
// start it without MIBs, beside an existing MIB context.
void further_context_creation(benchmark::State& state) {
  quiet_stderr quiet;
  auto p = make_pool();
  auto mib_context = p->get_context(0);
  unsigned int key = 1;
  for (auto _ : state) {
    state.PauseTiming();
    p = make_pool();
    state.ResumeTiming();
    auto context = p->get_context(key++);
    benchmark::DoNotOptimize(context.get());
    state.PauseTiming();
    context.reset();
    p.reset();
    state.ResumeTiming();
  }
  fs::remove_all(bench_base());
}
BENCHMARK(further_context_creation)->Unit(benchmark::kMillisecond);

struct names_fixture {
  names_fixture() {
    quiet_stderr quiet;
    p = make_pool();
    names = create_library(*p);
  }
  names_fixture(const names_fixture&) = delete;
  names_fixture& operator=(const names_fixture&) = delete;
  ~names_fixture() { fs::remove_all(bench_base()); }
  std::shared_ptr<pool_netsnmp> p;
  std::unique_ptr<library> names;
};

names_fixture& shared_names() {
  static names_fixture fixture;
  return fixture;
}

void numeric_to_name(benchmark::State& state) {
  const library& names = *shared_names().names;
  const std::vector<long> numeric = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 5};
  for (auto _ : state) benchmark::DoNotOptimize(names.numeric_to_name(numeric));
}
BENCHMARK(numeric_to_name);

void name_to_numeric(benchmark::State& state) {
  const library& names = *shared_names().names;
  const std::string name = "IF-MIB::ifDescr.5";
  for (auto _ : state) benchmark::DoNotOptimize(names.name_to_numeric(name));
}
BENCHMARK(name_to_numeric);

}  // namespace
