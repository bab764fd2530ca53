#include "netsnmp/pool_netsnmp.hpp"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <typeinfo>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/netsnmp_fixture.hpp"

namespace corvane::tallis::kestrel::helpers {
namespace {

namespace fs = std::filesystem;

// The text without the registry's warning lines (a machine without the product's registry
// values has them before the MIB line).
std::string without_registry_warnings(const std::string& text) {
  std::istringstream lines(text);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Warning: Cannot ", 0) != 0) kept += line + "\n";
  }
  return kept;
}

/// A pool on a base directory of its own, removed afterwards.
class pool_test : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = make_temporary_directory("kestrel-pool-");
    fs::remove_all(base_);
  }
  void TearDown() override { fs::remove_all(base_); }

  std::shared_ptr<pool_netsnmp> make_pool() {
    return std::dynamic_pointer_cast<pool_netsnmp>(create_pool(base_));
  }

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

TEST_F(pool_test, CreatePoolMakesMissingParentsAndRejectsAFileAsBase) {
  create_pool(base_ / "a" / "b");
  EXPECT_TRUE(fs::is_directory(base_ / "a" / "b"));

  std::ofstream(base_ / "file") << "x";
  try {
    create_pool(base_ / "file");
    ADD_FAILURE() << "a regular file was accepted as base directory";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("create_directories"), std::string::npos);
    EXPECT_EQ(error.path1(), base_ / "file");
  }
}

TEST_F(pool_test, EveryKeyHasAnEngineInstanceOfItsOwnAndKeyZeroHasTheMibs) {
  auto p = make_pool();
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
    const std::string output = without_registry_warnings(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(output.rfind(engine_line(module_dir / engine_file_name()) +
                               "Using MIB directories \"" + mib_directories(module_dir) + "\"\n",
                           0),
              0U)
        << output;
    EXPECT_STREQ(std::getenv("MIBS"), "ALL");
  }
  scoped_environment mibs("MIBS", "IF-MIB:SNMPv2-MIB");
  ::testing::internal::CaptureStderr();
  auto first = p->get_context(1);
  const std::string copy_output = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(copy_output.rfind(engine_line(p->library_clone_path(1)), 0), 0U) << copy_output;
  EXPECT_EQ(copy_output.find("Using MIB directories"), std::string::npos) << copy_output;
  EXPECT_STREQ(std::getenv("MIBS"), "IF-MIB:SNMPv2-MIB");
  auto second = p->get_context(2);
  EXPECT_EQ(p->get_context(1), first);
  EXPECT_EQ(p->get_context(0), mib_context);

  // Key 0 runs the engine beside the module; other keys run copies in the pool's own directory
  // inside the base directory.
  const fs::path copy = p->library_clone_path(2);
  EXPECT_EQ(copy.filename(), engine_copy_name(2));
  EXPECT_EQ(copy.parent_path().parent_path(), base_);
  EXPECT_TRUE(fs::exists(copy.parent_path() / engine_copy_name(1)));
  EXPECT_FALSE(fs::exists(copy.parent_path() / engine_copy_name(0)));
  EXPECT_EQ(loaded_engine_files().size(), 3U);

  // Engine state set in one instance is not seen by the others.
  const auto format = [](context_netsnmp& c) {
    return c.netsnmp_ds_get_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT);
  };
  first->netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT,
                            NETSNMP_OID_OUTPUT_NUMERIC);
  EXPECT_EQ(format(*first), NETSNMP_OID_OUTPUT_NUMERIC);
  EXPECT_EQ(format(*second), NETSNMP_OID_OUTPUT_FULL);
  EXPECT_EQ(format(*mib_context), NETSNMP_OID_OUTPUT_FULL);

  // Only the MIB context has parsed the MIB modules.
  std::vector<::oid> buffer(128);
  std::size_t count = buffer.size();
  EXPECT_EQ(mib_context->read_objid("IF-MIB::ifTable", buffer.data(), &count), 1);
  count = buffer.size();
  EXPECT_NE(second->read_objid("IF-MIB::ifTable", buffer.data(), &count), 1);

  // The pool deletes its copies; the contexts outlive it with their owners. (Where a loaded
  // library cannot be deleted, the copies in use stay.)
  p.reset();
  EXPECT_EQ(fs::exists(copy.parent_path() / engine_copy_name(1)),
            !loaded_libraries_can_be_deleted());
  EXPECT_EQ(fs::exists(copy), !loaded_libraries_can_be_deleted());
  EXPECT_EQ(format(*first), NETSNMP_OID_OUTPUT_NUMERIC);
}

// What one sensor holds: a pool, its name service and a request over an SNMPv3 connection.
struct sensor {
  explicit sensor(const fs::path& base)
      : pool_(create_pool(base)),
        names(create_library(*pool_)),
        query(create_connection(*pool_,
                                sha_aes_settings(shared_agent().port(), std::chrono::seconds(2))),
              names, compat_settings()) {}

  // The system description as the agent gives it, or the failure's text.
  std::string sys_descr() {
    try {
      recording_logger logger;
      const auto id = query.single_get("SNMPv2-MIB::sysDescr.0");
      return query.execute(logger).at(id).at(0).as_string().substr(0, 5);
    } catch (const std::exception& e) {
      return e.what();
    }
  }

  std::shared_ptr<pool> pool_;
  std::shared_ptr<const library> names;
  request query;
};

TEST_F(pool_test, PoolsStayIndependentWhetherTheyShareABaseDirectoryOrNot) {
  shared_agent();
  for (const bool shared_base : {false, true}) {
    SCOPED_TRACE(shared_base ? "one base directory" : "two base directories");
    auto first = std::make_unique<sensor>(base_ / "first");
    sensor second(base_ / (shared_base ? "first" : "second"));
    EXPECT_EQ(first->sys_descr(), "Linux");
    EXPECT_EQ(second.sys_descr(), "Linux");
    EXPECT_NE(first->pool_->library_clone_path(7), second.pool_->library_clone_path(7));

    // The first sensor goes: the second one's engines, copies and MIBs stay.
    first.reset();
    EXPECT_EQ(second.names->oid_from_name(".1.3.6.1.2.1.1.1").name(),
              ".iso.org.dod.internet.mgmt.mib-2.system.sysDescr");
    EXPECT_EQ(second.sys_descr(), "Linux");
  }
}

class foreign_pool : public pool {
 public:
  fs::path library_clone_path(unsigned int) override { return {}; }
};

TEST_F(pool_test, OnlyItsOwnPoolsMakeLibrariesAndConnectionsAndFactoriesKeepThePool) {
  foreign_pool foreign;
  EXPECT_THROW(create_library(foreign), std::bad_cast);
  EXPECT_THROW(
      create_connection(foreign, settings("public", true, "127.0.0.1", 1161, std::nullopt)),
      std::bad_cast);
  EXPECT_THROW(get_library_factory(std::make_shared<foreign_pool>())(), std::bad_cast);
  EXPECT_THROW(get_library_factory(nullptr)(), std::bad_cast);

  std::shared_ptr<pool> p = create_pool(base_);
  const std::weak_ptr<pool> watch = p;
  auto factory = get_library_factory(p);
  p.reset();
  EXPECT_FALSE(watch.expired());

  ::testing::internal::CaptureStderr();
  auto first = factory();
  auto second = factory();
  const std::string output = ::testing::internal::GetCapturedStderr();
  const auto line = output.find("Using Net-SNMP DLL");
  EXPECT_NE(line, std::string::npos);
  EXPECT_EQ(output.find("Using Net-SNMP DLL", line + 1), std::string::npos) << output;
  EXPECT_EQ(first->oid_string_from_name("IF-MIB::ifTable"),
            second->oid_string_from_name("IF-MIB::ifTable"));

  factory = nullptr;
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(first->oid_string_from_name("IF-MIB::ifTable"), ".1.3.6.1.2.1.2.2");
}

}  // namespace
}  // namespace corvane::tallis::kestrel::helpers
