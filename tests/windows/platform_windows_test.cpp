// The Windows platform layer against the system itself: loader texts, the module directory,
// the registry look-up behind the MIB directory list, the environment and Windows sockets.
// These tests change the machine's registry and run one at a time.

#include <winsock2.h>
// (after winsock2.h)
#include <windows.h>

#include <gtest/gtest.h>
#include <kestrel/pool.hpp>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "helpers/error_text.hpp"
#include "helpers/test_platform.hpp"
#include "netsnmp/context_netsnmp.hpp"
#include "support/dynamic_library.hpp"
#include "support/platform.hpp"

namespace corvane::tallis::kestrel {
namespace {

namespace fs = std::filesystem;
using helpers::scoped_environment;

constexpr const char* halyard_key = "SOFTWARE\\Corvane\\Halyard\\Server\\Core";

// The system's own text for `code`, asked for independently of the code under test.
std::string system_text(DWORD code) {
  char buffer[1024] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof(buffer), nullptr);
  return std::string(buffer, length);
}

using helpers::runtime_error_text;

/// Sets one value of the product's registry key (or deletes it, for no value) for its
/// lifetime, and puts back what was there before.
class scoped_registry_value {
 public:
  scoped_registry_value(std::string name, const std::optional<std::string>& value,
                        DWORD type = REG_SZ)
      : name_(std::move(name)) {
    char buffer[4096] = {};
    DWORD size = sizeof(buffer);
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, halyard_key, name_.c_str(),
                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &saved_type_, buffer,
                       &size) == ERROR_SUCCESS) {
      saved_ = std::string(buffer);
    }
    apply(value, type);
  }
  scoped_registry_value(const scoped_registry_value&) = delete;
  scoped_registry_value& operator=(const scoped_registry_value&) = delete;
  ~scoped_registry_value() { apply(saved_, saved_type_); }

 private:
  void apply(const std::optional<std::string>& value, DWORD type) {
    if (value) {
      const LSTATUS status =
          ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, halyard_key, name_.c_str(), type, value->c_str(),
                            static_cast<DWORD>(value->size() + 1));
      EXPECT_EQ(status, ERROR_SUCCESS) << "cannot set " << name_;
    } else {
      ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, halyard_key, name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> saved_;
  DWORD saved_type_ = REG_SZ;
};

TEST(last_error_message_windows_test, IsTheSystemTextUntrimmedOrTheFallback) {
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(last_error_message(), system_text(ERROR_MOD_NOT_FOUND));
  // An application-defined code (bit 29) has no system text.
  ::SetLastError(0x20001234);
  EXPECT_EQ(last_error_message(), "Unknown error with code 536875572 occured.");
}

TEST(dynamic_library_windows_test, LoadAndSymbolFailuresCarryTheSystemText) {
  EXPECT_EQ(runtime_error_text([] { dynamic_library library(fs::path("D:\\lib\\netsnmp.dll")); }),
            "Could not open dynamic library \"\"D:\\\\lib\\\\netsnmp.dll\"\": " +
                system_text(ERROR_MOD_NOT_FOUND));

  dynamic_library engine(module_directory() / helpers::engine_file_name());
  const std::string missing =
      "Could not read symbol \"no_such_entry_point\": " + system_text(ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(runtime_error_text([&] { engine.get_symbol("no_such_entry_point"); }), missing);
  EXPECT_EQ(runtime_error_text([&] { engine.get_symbol("no_such_entry_point"); }), missing);
}

// Four entries in the order environment, "Datapath", module, "exepath", with backslashes;
// relative entries become absolute, expandable registry values are expanded, and a missing one
// is left out with the first warning (2 is "not found").
TEST(mib_directories_windows_test, ListsEnvironmentDatapathModuleAndExepathWithBackslashes) {
  scoped_registry_value exe_path("exepath", "%SystemRoot%\\Halyard", REG_EXPAND_SZ);
  char system_root[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableA("SystemRoot", system_root, MAX_PATH), 0U);
  const std::string registry_after = ";" + std::string(system_root) + "\\Halyard\\MIB";
  const fs::path cwd = fs::current_path();
  {
    scoped_registry_value data_path("Datapath", "C:\\Halyard\\Data");
    scoped_environment environment("MIBDIRS", "C:/Shared/mibs");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(mib_directories("C:/Halyard/bin"),
              "C:\\Shared\\mibs;C:\\Halyard\\Data\\MIBs;C:\\Halyard\\bin\\mibs" + registry_after);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
  scoped_registry_value data_path("Datapath", std::nullopt);
  scoped_environment environment("MIBDIRS", "relative/mibs");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(mib_directories("bin"), (cwd / "relative\\mibs").string() + ";" +
                                        (cwd / "bin\\mibs").string() + registry_after);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warning: Cannot read registry key (1): error 2\n");
}

TEST(environment_windows_test, SettingIsSeenByTheRuntimeAndEmptyCountsAsUnset) {
  scoped_environment cleanup("KESTREL_PLATFORM_TEST", std::nullopt);
  EXPECT_EQ(platform::get_environment("KESTREL_PLATFORM_TEST"), std::nullopt);
  platform::set_environment("KESTREL_PLATFORM_TEST", "ALL");
  EXPECT_STREQ(std::getenv("KESTREL_PLATFORM_TEST"), "ALL");
  EXPECT_EQ(platform::get_environment("KESTREL_PLATFORM_TEST"), "ALL");
  platform::set_environment("KESTREL_PLATFORM_TEST", "");
  EXPECT_EQ(platform::get_environment("KESTREL_PLATFORM_TEST"), std::nullopt);
}

bool sockets_usable() {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    EXPECT_EQ(::WSAGetLastError(), WSANOTINITIALISED);
    return false;
  }
  ::closesocket(s);
  return true;
}

TEST(winsock_initializer_test, SocketsWorkForTheInitializersLifetime) {
  // Nothing in this test program has started Windows sockets yet.
  ASSERT_FALSE(sockets_usable());
  {
    initializers::winsock_initializer outer;
    EXPECT_TRUE(sockets_usable());
    {
      initializers::winsock_initializer inner;
      EXPECT_TRUE(sockets_usable());
    }
    EXPECT_TRUE(sockets_usable());
  }
  EXPECT_FALSE(sockets_usable());
}

}  // namespace
}  // namespace corvane::tallis::kestrel
