#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <kestrel/test_connections.hpp>
#include <string>

#include "helpers/map_library.hpp"

namespace k = corvane::tallis::kestrel;
namespace fs = std::filesystem;

namespace {

// A walk of a Linux host that snmpsim ships (Debian package snmpsim, installed by
// scripts/setup), compressed: a recording as the real recorder writes it.
TEST(snmprec_replay, AShippedDeviceRecordingLoadsWhole) {
  const fs::path shipped =
      "/usr/share/doc/snmpsim/examples/data/recorded/linux-full-walk.snmprec.gz";
  ASSERT_TRUE(fs::exists(shipped)) << "run scripts/setup";
  const fs::path plain = fs::temp_directory_path() / "kestrel-linux-full-walk.snmprec";
  const std::string unpack = "gzip -dc '" + shipped.string() + "' > '" + plain.string() + "'";
  ASSERT_EQ(std::system(unpack.c_str()), 0);
  const auto data = k::test::load_snmprec(plain, k::helpers::mib2_library());
  fs::remove(plain);
  // 3882 lines, of which 96 IpAddress and Opaque values that give no response.
  ASSERT_EQ(data.size(), 3882u - 96u);
  const auto address = std::find_if(data.begin(), data.end(), [](const k::response& r) {
    return r.name() == "interfaces.ifTable.ifEntry.ifPhysAddress.2";
  });
  ASSERT_NE(address, data.end());
  EXPECT_EQ(address->as_string(), std::string("\x00\x12\x79\x62\xf9\x40", 6));
}

}  // namespace
