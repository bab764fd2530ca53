#include "support/dynamic_library.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "helpers/error_text.hpp"
#include "helpers/test_platform.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

class library_cloner_test : public ::testing::Test {
 protected:
  void SetUp() override { write_file(source_, "engine v1"); }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_ = helpers::make_temporary_directory("kestrel-scratch-");
  fs::path source_ = dir_ / "libnetsnmp.so";
};

TEST_F(library_cloner_test, ChecksTheSourceFirstThenTheCloneDirectory) {
  const auto failure = [](const fs::path& source, const fs::path& clone_dir) {
    return helpers::error_text<fs::filesystem_error>([&] { library_cloner(source, clone_dir); });
  };
  // The source is a file, so it is no clone directory.
  EXPECT_THAT(failure(dir_ / "missing.so", source_), testing::HasSubstr("original file"));
  EXPECT_THAT(failure(source_, source_), testing::HasSubstr("clone dir"));
}

// Copies go once per key into a directory of the cloner's own, named after stem, key and
// extension; a new cloner sweeps the directories of cloners that are gone, and nothing else.
TEST_F(library_cloner_test, CopiesOncePerKeyAndSweepsOnlyWhatGoneClonersLeft) {
  // A process that died leaves its directory with an unlocked lock file, or without one when
  // it died while removing it.
  for (const std::string dead : {"pool-dead01", "pool-dead02"}) {
    fs::create_directory(dir_ / dead);
    write_file(dir_ / dead / "libnetsnmp.1.so", "engine");
  }
  write_file(dir_ / "pool-dead01" / "lock", "");
  fs::create_directory(dir_ / "other");
  {
    library_cloner cloner(source_, dir_);
    const fs::path seven = cloner.clone(7);
    EXPECT_EQ(seven.filename(), "libnetsnmp.7.so");
    EXPECT_EQ(cloner.clone(8), seven.parent_path() / "libnetsnmp.8.so");
    // Another cloner on the same directory (another pool or process) has copies of its own,
    // and sweeps nothing of the live one.
    library_cloner neighbour(source_, dir_);
    EXPECT_EQ(names_in(dir_),
              (std::set<std::string>{"libnetsnmp.so", ".kestrel.lock", "other",
                                     seven.parent_path().filename().string(),
                                     neighbour.clone(7).parent_path().filename().string()}));
    // The second request is answered from memory: a changed source is not copied again.
    write_file(source_, "engine v2");
    EXPECT_EQ(cloner.clone(7), seven);
    std::string copied;
    std::getline(std::ifstream(seven), copied);
    EXPECT_EQ(copied, "engine v1");
  }
  // Only the files that the cloners did not make are left, and the directories' lock.
  EXPECT_EQ(names_in(dir_), (std::set<std::string>{"libnetsnmp.so", ".kestrel.lock", "other"}));
}

}  // namespace
}  // namespace corvane::tallis::kestrel
