#include "netsnmp/pool_netsnmp.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <typeinfo>
#include <utility>

#include <gmock/gmock.h>
#include <kestrel/engine_info.hpp>

#include "helpers/error_text.hpp"
#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/library_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

namespace fs = std::filesystem;

/// A pool on a base directory of its own, removed afterwards.
class pool_test : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = make_temporary_directory("kestrel-pool-");
    fs::remove_all(base_);
  }
  void TearDown() override { fs::remove_all(base_); }

  fs::path base_;
};

// The engine is loaded by the first library, not by the pool, and unloaded by its last owner.
TEST_F(pool_test, TheFirstLibraryLoadsTheEngineAndTheLastOwnerUnloadsIt) {
  const std::set<std::string> before = loaded_engine_files();
  if (!before.empty()) GTEST_SKIP() << "an earlier test of this process holds an engine";
  std::shared_ptr<pool> p = create_pool(base_);
  EXPECT_EQ(loaded_engine_files(), before);
  std::unique_ptr<library> names = create_library(*p);
  EXPECT_EQ(loaded_engine_files(),
            std::set<std::string>{fs::canonical(module_directory() / engine_file_name()).string()});
  p.reset();
  EXPECT_EQ(loaded_engine_files().size(), 1U);
  names.reset();
  EXPECT_EQ(loaded_engine_files(), before);
}

TEST_F(pool_test, CreatePoolMakesMissingParentsAndRejectsAFileAndANullPoolMakesNoLibrary) {
  create_pool(base_ / "a" / "b");
  EXPECT_TRUE(fs::is_directory(base_ / "a" / "b"));

  std::ofstream(base_ / "file") << "x";
  EXPECT_THROW(create_pool(base_ / "file"), fs::filesystem_error);
  EXPECT_THROW(get_library_factory(nullptr)(), std::bad_cast);
}

TEST_F(pool_test, EveryKeyHasAnEngineInstanceOfItsOwnAndKeyZeroHasTheMibs) {
  auto p = std::dynamic_pointer_cast<pool_netsnmp>(create_pool(base_));
  const fs::path module_dir = module_directory();
  // Paths in their quoted stream form; only the MIB context says where its MIBs are, and it
  // reads all modules unless told otherwise.
  const auto engine_line = [&module_dir](const fs::path& engine) {
    std::ostringstream line;
    line << "Using Net-SNMP DLL " << engine << " with base dir " << module_dir << "\n";
    return line.str();
  };
  std::shared_ptr<context_netsnmp> mib_context;
  {
    scoped_environment mibs("MIBS", std::nullopt);
    ::testing::internal::CaptureStderr();
    mib_context = p->get_context(0);
    // (A machine without the product's registry values writes warnings before these lines.)
    const std::string output = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find(engine_line(module_dir / engine_file_name()) +
                          "Using MIB directories \"" + mib_directories(module_dir) + "\"\n"),
              std::string::npos)
        << output;
    EXPECT_STREQ(std::getenv("MIBS"), "ALL");
  }
  // A copy says which file it loaded, and nothing of MIBs; a library of another pool shares the
  // MIB engine, which does not start again.
  ::testing::internal::CaptureStderr();
  auto first = p->get_context(1);
  const auto names = get_library_factory(create_pool(base_ / "other"))();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), engine_line(p->library_clone_path(1)));
}

// ---- The MIB name service ---------------------------------------------------------

// The MIB context is the process's one, whichever pool asks for it.
using library_netsnmp_test = netsnmp_test;

TEST_F(library_netsnmp_test, DescribesTheMibEngineAndGivesDisplayHints) {
  // SNMPv2-SMI imports nothing, and is loaded all the same.
  const engine_description engine = describe_engine(*pool_);
  EXPECT_THAT(engine.modules, ::testing::IsSupersetOf({"IF-MIB", "SNMPv2-MIB", "SNMPv2-SMI"}));
  EXPECT_TRUE(std::is_sorted(engine.modules.begin(), engine.modules.end()));
  // Display hints come from the object's textual convention.
  EXPECT_EQ(display_hint(*pool_, {1, 3, 6, 1, 2, 1, 1, 5, 0}), "255a");  // sysName.0
  EXPECT_EQ(display_hint(*pool_, {1, 3, 6, 1, 2, 1, 1, 3, 0}), "");      // sysUpTime: TimeTicks
}

// A table's readable columns as its MIB lists them: an index the agent does not send is not
// counted; an entry, a scalar or numbers the MIBs do not know are no table.
TEST_F(library_netsnmp_test, CountsTheReadableColumnsOfATable) {
  const auto& shape = dynamic_cast<const table_shape&>(*names_);
  const std::vector<long> if_table = {1, 3, 6, 1, 2, 1, 2, 2};
  EXPECT_EQ(shape.readable_columns(if_table), 22u);
  EXPECT_EQ(shape.readable_columns({1, 3, 6, 1, 4, 1, 8072, 1, 3, 2, 2}), 8u);  // nsExtendConfig
  std::vector<long> if_entry = if_table;
  if_entry.push_back(1);
  EXPECT_EQ(shape.readable_columns(if_entry), 0u);
  EXPECT_EQ(shape.readable_columns({1, 3, 6, 1, 2, 1, 1, 1}), 0u);      // sysDescr
  EXPECT_EQ(shape.readable_columns({1, 3, 6, 1, 4, 1, 99999, 1}), 0u);  // not in the MIBs
  EXPECT_EQ(shape.readable_columns({}), 0u);
}

// The engine's text starts with a blank, which is trimmed away.
TEST_F(library_netsnmp_test, UnknownNamesAndNamesBeyondTheBufferFail) {
  EXPECT_EQ(
      error_text<exceptions::missing_mib_for_oid>([&] { names_->oid_string_from_name("nosuch"); }),
      exceptions::missing_mib_for_oid("nosuch", "(Sub-id not found: (top) -> nosuch)").what());
  // Up to the buffer's size of sub-identifiers, and one more; a full name beyond it.
  EXPECT_THROW(names_->oid_string_from_name(library::numeric_oid_to_string(
                   std::vector<long>(library_netsnmp::max_numeric_length + 1, 1))),
               exceptions::missing_mib_for_oid);
  const std::vector<long> sevens(library_netsnmp::max_numeric_length, 7);
  EXPECT_EQ(names_->name_to_numeric(library::numeric_oid_to_string(sevens)), sevens);

  std::vector<long> long_name = {1, 3, 6, 1, 4, 1};
  // ".iso.org.dod.internet.private.enterprises" followed by ".9" a thousand times.
  long_name.insert(long_name.end(), 1000, 9);
  EXPECT_THROW(names_->numeric_to_name(long_name), exceptions::maximum_oid_size_exceeded);
  // No sub-identifiers: the engine's name of the root.
  EXPECT_EQ(names_->numeric_to_name({}), ".");
}

TEST(trim_engine_text_test, RemovesBlanksAndControlCharactersFromBothEnds) {
  EXPECT_EQ(trim_engine_text(" \t(Sub-id not found) \r\n\x01"), "(Sub-id not found)");
  EXPECT_EQ(trim_engine_text(" \n "), "");
}

// The library names table cells without the engine's tree search where it safely can; every
// name must still be the engine's own, byte for byte, whatever the index syntax and whichever
// row of a column is named first.
TEST_F(library_netsnmp_test, CellNamesAreTheEnginesOwnForEveryIndexSyntax) {
  const std::shared_ptr<context_netsnmp> engine =
      dynamic_cast<pool_netsnmp&>(*pool_).get_context(0);
  const auto engine_name = [&](const std::vector<long>& numeric) {
    const std::vector<::oid> numbers(numeric.begin(), numeric.end());
    std::string text(library_netsnmp::max_name_length + 1, '\0');
    std::lock_guard lock(engine->mib_lock());
    const int written = engine->snprint_objid(text.data(), library_netsnmp::max_name_length,
                                              numbers.data(), numbers.size());
    text.resize(static_cast<std::size_t>(std::max(written, 0)));
    return text;
  };
  // In each list the first cell teaches the library its column; the others are named from it.
  const std::vector<std::pair<std::string, std::vector<std::vector<long>>>> columns = {
      // Integer row numbers, up to the largest sub-identifier and beyond a long's sign.
      {"IF-MIB::ifDescr", {{7}, {1}, {0}, {largest_sub_identifier}, {-1}, {5, 6}}},
      // A table that augments another takes its index.
      {"IF-MIB::ifName", {{3}, {2}}},
      // An integer index with named values: 0 is "emerg", 99 has no name.
      {"NET-SNMP-AGENT-MIB::nsLogToken", {{99}, {0}, {3, 2, 97, 98}}},
      // IP address indexes, whole and cut short.
      {"RFC1213-MIB::ipAdEntIfIndex", {{10}, {10, 0, 0, 1}, {192, 0, 2, 255}}},
      // Two-part indexes: a number and an address, two numbers.
      {"RFC1213-MIB::ipNetToMediaPhysAddress", {{2}, {2, 192, 0, 2, 1}}},
      // String indexes, printable and not; a lone 4 is written "4", a lone 0 as the empty string.
      {"NET-SNMP-EXTEND-MIB::nsExtendCommand", {{4}, {0}, {4, 116, 101, 115, 116}, {3, 1, 2, 3}}},
      // A scalar's instance, and numbers the MIBs do not know.
      {"SNMPv2-MIB::sysDescr", {{0}, {1}}},
      {".1.3.6.1.4.1.99999.1.1.5", {{1}, {2}}},
  };
  // Every name is resolved first: resolving a name makes the library forget what it learnt.
  std::vector<std::vector<std::vector<long>>> cells;
  for (const auto& [column, indexes] : columns) {
    const std::vector<long> base = names_->name_to_numeric(column);
    cells.emplace_back();
    for (const auto& index : indexes) {
      cells.back().push_back(base);
      cells.back().back().insert(cells.back().back().end(), index.begin(), index.end());
    }
  }
  const auto check = [&](const std::vector<long>& numeric) {
    const std::string expected = engine_name(numeric);
    ASSERT_FALSE(expected.empty());
    const std::string name = names_->numeric_to_name(numeric);
    EXPECT_EQ(name, expected);
    // Names live as long as the values they name: none keeps a working buffer with it.
    EXPECT_LT(name.capacity(), expected.size() + 16) << expected;
  };
  for (const auto& column : cells) {
    for (const auto& numeric : column) check(numeric);
  }
  // Asked again once every column is known.
  for (const auto& column : cells) check(column.back());
  // However many columns are named, the library remembers at most 4,096 of them.
  for (long n = 0; n < 5000; ++n) names_->numeric_to_name({1, 3, 6, 1, 4, 1, 99999, n, 1});
  std::lock_guard lock(engine->mib_lock());
  EXPECT_LE(engine->column_names().columns.size(), 4096u);
}

// With "MIBS" naming one module, the engine reads every other module on the first look-up that
// names it, changing its MIB tree while other threads read it.
TEST(mib_threads_test, ThreadsResolveNamesWhileTheEngineLoadsModulesOnDemand) {
  scoped_environment mibs("MIBS", "SNMPv2-MIB");
  const std::vector<std::string> names = {"IF-MIB::ifDescr.1", "UCD-SNMP-MIB::memTotalReal.0",
                                          "NET-SNMP-EXTEND-MIB::nsExtendNumEntries.0",
                                          "RFC1213-MIB::ipForwarding.0"};
  const std::filesystem::path base = make_temporary_directory("kestrel-mib-threads-");
  using answers = std::map<std::string, std::string>;
  // Each thread resolves every name, starting at its own, and keeps name and numbers.
  auto resolve_all = [&names](const library& l, std::size_t first) {
    answers found;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[(first + i) % names.size()];
      try {
        const oid o = l.oid_from_name(name);
        found[name] = o.name() + " " + library::numeric_oid_to_string(o.numeric_oid());
      } catch (const std::exception& e) {
        found[name] = e.what();
      }
    }
    return found;
  };
  const answers expected = resolve_all(*create_library(*create_pool(base)), 0);
  for (const auto& [name, text] : expected) ASSERT_EQ(text.rfind(".iso.", 0), 0U) << text;

  constexpr std::size_t threads = 4;
  for (int round = 0; round < 4; ++round) {
    auto p = create_pool(base);
    const std::unique_ptr<library> l = create_library(*p);
    std::vector<answers> found(threads);
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] { found[t] = resolve_all(*l, t * 2); });
    }
    for (auto& w : workers) w.join();
    for (const answers& a : found) EXPECT_EQ(a, expected) << "round " << round;
  }
  std::filesystem::remove_all(base);
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
