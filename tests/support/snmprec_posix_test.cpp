#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <kestrel/request.hpp>
#include <kestrel/table_response.hpp>
#include <kestrel/test_connections.hpp>
#include <memory>
#include <string>

#include "helpers/map_library.hpp"
#include "helpers/recording_logger.hpp"

namespace k = corvane::tallis::kestrel;
namespace fs = std::filesystem;

namespace {

// A walk of a Linux host that snmpsim ships (Debian package snmpsim, installed by
// scripts/setup), compressed.
const fs::path shipped_walk =
    "/usr/share/doc/snmpsim/examples/data/recorded/linux-full-walk.snmprec.gz";

TEST(snmprec_replay, AShippedDeviceRecordingServesTheInterfaceTable) {
  ASSERT_TRUE(fs::exists(shipped_walk)) << "run scripts/setup";
  const fs::path plain = fs::temp_directory_path() / "kestrel-linux-full-walk.snmprec";
  const std::string unpack = "gzip -dc '" + shipped_walk.string() + "' > '" + plain.string() + "'";
  ASSERT_EQ(std::system(unpack.c_str()), 0);

  const auto lib = std::make_shared<k::helpers::map_library>(k::helpers::mib2_library());
  // The remaining columns of ifTable, so that every cell has a column name.
  const char* more_columns[] = {
      "ifLastChange",  "ifInOctets",        "ifInUcastPkts", "ifInNUcastPkts", "ifInDiscards",
      "ifInErrors",    "ifInUnknownProtos", "ifOutOctets",   "ifOutUcastPkts", "ifOutNUcastPkts",
      "ifOutDiscards", "ifOutErrors",       "ifOutQLen",     "ifSpecific"};
  long column = 9;
  for (const char* name : more_columns) {
    lib->add(std::string("interfaces.ifTable.ifEntry.") + name,
             {1, 3, 6, 1, 2, 1, 2, 2, 1, column++});
  }
  const std::vector<k::response> data = k::test::load_snmprec(plain, *lib);
  fs::remove(plain);
  // 3882 lines, of which 96 IpAddress and Opaque values that give no response.
  EXPECT_EQ(data.size(), 3882u - 96u);

  k::request req(k::test::get_mock_connection_walk_factory(data)(
                     k::settings("public", true, "recorded", std::nullopt, std::nullopt)),
                 lib, k::compat_settings());
  const auto id = req.table("ifTable");
  k::helpers::recording_logger logger;
  const k::table_response view(req.execute(logger).at(id), lib->oid_from_name("ifTable"),
                               std::nullopt);
  EXPECT_EQ(view.rows().size(), 2u);
  EXPECT_EQ(view.at_column("Descr").at("2").get().as_string(), "eth0");
  EXPECT_EQ(view.at_column("PhysAddress").at("2").get().as_string(),
            std::string("\x00\x12\x79\x62\xf9\x40", 6));
  EXPECT_EQ(view.at_column("InOctets").at("2").get().as_uint32_t(), 2692239107u);
}

}  // namespace
