#include "support/dynamic_library.hpp"
#include "helpers/error_text.hpp"

#include <gtest/gtest.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "helpers/test_platform.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;

const fs::path engine = module_directory() / helpers::engine_file_name();

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(dynamic_library_test, ResolvesOnceAndCallsTheEngineThroughItsOwnDeclaration) {
  dynamic_library library(engine);
  void* first = library.get_symbol("snmp_api_errstring");
  EXPECT_NE(first, nullptr);
  EXPECT_STREQ(
      invoke<decltype(::snmp_api_errstring)>(library, "snmp_api_errstring", SNMPERR_TIMEOUT),
      "Timeout");
  // A miss is not cached: the second request asks the loader again and fails the same way
  // (the loader's reason is checked per platform).
  const auto miss = [&] { library.get_symbol("no_such_entry_point"); };
  const std::string missing = helpers::runtime_error_text(miss);
  EXPECT_EQ(missing.rfind("Could not read symbol \"no_such_entry_point\": ", 0), 0U) << missing;
  EXPECT_EQ(helpers::runtime_error_text(miss), missing);
  EXPECT_EQ(library.get_symbol("snmp_api_errstring"), first);
}

TEST(module_directory_test, IsTheAbsoluteDirectoryOfTheModuleWhateverTheWorkingDirectory) {
  const fs::path expected = module_directory();
  EXPECT_TRUE(expected.is_absolute());
  EXPECT_TRUE(fs::is_directory(expected / "mibs"));
  const fs::path previous = fs::current_path();
  fs::current_path(fs::temp_directory_path());
  const fs::path elsewhere = module_directory();
  fs::current_path(previous);
  EXPECT_EQ(elsewhere, expected);
}

class library_cloner_test : public ::testing::Test {
 protected:
  void SetUp() override { write_file(source_, "engine v1"); }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_ = helpers::make_temporary_directory("kestrel-scratch-");
  fs::path source_ = dir_ / "libnetsnmp.so";
};

TEST_F(library_cloner_test, ChecksTheSourceFirstThenTheCloneDirectory) {
  const fs::path missing = dir_ / "missing.so";
  const fs::path file = dir_ / "plain-file";
  write_file(file, "");
  // {source, clone directory}: the first two fail on the source, the last on the directory.
  const std::pair<fs::path, fs::path> cases[] = {{missing, dir_}, {missing, file}, {source_, file}};
  for (const auto& [source, clone_dir] : cases) {
    const bool bad_source = source == missing;
    try {
      library_cloner cloner(source, clone_dir);
      ADD_FAILURE() << "no error for " << source << " and " << clone_dir;
    } catch (const fs::filesystem_error& error) {
      EXPECT_NE(std::string(error.what()).find(bad_source ? "original file" : "clone dir"),
                std::string::npos)
          << error.what();
      EXPECT_EQ(error.code(), std::make_error_code(bad_source ? std::errc::no_such_file_or_directory
                                                              : std::errc::not_a_directory));
      EXPECT_EQ(error.path1(), bad_source ? source : clone_dir);
    }
  }
}

TEST_F(library_cloner_test, NamesCopiesAfterStemKeyAndExtension) {
  const fs::path clones = dir_ / "clones";
  fs::create_directory(clones);
  struct naming {
    std::string source;
    unsigned int key;
    std::string copy;
  };
  for (const auto& n :
       std::vector<naming>{{"libnetsnmp.so", 0, "libnetsnmp.0.so"},
                           {"libnetsnmp.so", 4294967295U, "libnetsnmp.4294967295.so"},
                           {"netsnmp.dll", 8, "netsnmp.8.dll"},
                           {"engine", 7, "engine.7"}}) {
    write_file(dir_ / n.source, n.source);
    library_cloner cloner(dir_ / n.source, clones);
    const fs::path copy = cloner.clone(n.key);
    EXPECT_EQ(copy.filename(), n.copy);
    EXPECT_EQ(copy.parent_path().parent_path(), clones);
    EXPECT_EQ(read_file(copy), n.source);
  }
}

TEST_F(library_cloner_test, CopiesOncePerKeyIntoADirectoryOfItsOwnAndRemovesOnlyThat) {
  write_file(dir_ / "libnetsnmp.7.so", "not made by this cloner");
  {
    library_cloner cloner(source_, dir_);
    library_cloner neighbour(source_, dir_);
    const fs::path seven = cloner.clone(7);
    EXPECT_EQ(read_file(seven), "engine v1");
    // Another cloner on the same directory (another pool or process) has copies of its own.
    EXPECT_NE(neighbour.clone(7), seven);
    // The second request is answered from memory: a changed source is not copied again.
    write_file(source_, "engine v2");
    EXPECT_EQ(cloner.clone(7), seven);
    EXPECT_EQ(read_file(seven), "engine v1");
    EXPECT_EQ(read_file(cloner.clone(8)), "engine v2");
  }
  // Only the files that the cloners did not make are left, and the directories' lock.
  EXPECT_EQ(names_in(dir_),
            (std::set<std::string>{"libnetsnmp.so", "libnetsnmp.7.so", ".kestrel.lock"}));
  EXPECT_EQ(read_file(dir_ / "libnetsnmp.7.so"), "not made by this cloner");
}

TEST_F(library_cloner_test, ANewClonerRemovesWhatClonersThatAreGoneLeftBehind) {
  library_cloner live(source_, dir_);
  const fs::path live_dir = live.clone(1).parent_path();
  // A process that died leaves its directory with an unlocked lock file, or without one when
  // it died while removing it.
  for (const std::string dead : {"pool-dead01", "pool-dead02"}) {
    fs::create_directory(dir_ / dead);
    write_file(dir_ / dead / "libnetsnmp.1.so", "engine");
  }
  write_file(dir_ / "pool-dead01" / "lock", "");
  fs::create_directory(dir_ / "other");
  library_cloner next(source_, dir_);
  EXPECT_EQ(names_in(dir_), (std::set<std::string>{"libnetsnmp.so", ".kestrel.lock", "other",
                                                   live_dir.filename().string()}));
  EXPECT_EQ(read_file(live.clone(1)), "engine v1");
}

TEST_F(library_cloner_test, AFailedCopyIsNotRememberedAndIsTriedAgain) {
  // The source exists but is a directory, so the copy itself fails.
  const fs::path source = dir_ / "engine.so";
  fs::create_directory(source);
  library_cloner cloner(source, dir_);
  EXPECT_THROW(cloner.clone(3), fs::filesystem_error);
  fs::remove(source);
  write_file(source, "engine");
  EXPECT_EQ(read_file(cloner.clone(3)), "engine");
}

TEST_F(library_cloner_test, ACopyOfTheEngineLoadsAsAnInstanceOfItsOwn) {
  library_cloner cloner(engine, dir_);
  dynamic_library original(engine);
  dynamic_library copy(cloner.clone(7));
  EXPECT_NE(copy.get_symbol("netsnmp_ds_set_int"), original.get_symbol("netsnmp_ds_set_int"));
  int format = 1;
  for (dynamic_library* library : {&original, &copy}) {
    invoke<decltype(::netsnmp_ds_set_int)>(*library, "netsnmp_ds_set_int", NETSNMP_DS_LIBRARY_ID,
                                           NETSNMP_DS_LIB_OID_OUTPUT_FORMAT, format++);
  }
  format = 1;
  for (dynamic_library* library : {&original, &copy}) {
    EXPECT_EQ(invoke<decltype(::netsnmp_ds_get_int)>(*library, "netsnmp_ds_get_int",
                                                     NETSNMP_DS_LIBRARY_ID,
                                                     NETSNMP_DS_LIB_OID_OUTPUT_FORMAT),
              format++);
  }
}

}  // namespace
}  // namespace corvane::tallis::kestrel
