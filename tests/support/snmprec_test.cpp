#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <kestrel/test_connections.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "helpers/error_text.hpp"
#include "helpers/map_library.hpp"
#include "helpers/test_platform.hpp"

namespace k = corvane::tallis::kestrel;
namespace fs = std::filesystem;
using r = k::response;

namespace {

std::vector<std::string> describe(const std::vector<r>& responses) {
  std::vector<std::string> texts;
  for (const r& one : responses) texts.push_back(one.str());
  return texts;
}

// Writes recordings into a directory of the test's own.
class snmprec : public testing::Test {
 protected:
  void TearDown() override { fs::remove_all(dir_); }
  fs::path recording(const std::string& text) {
    const fs::path file = dir_ / (std::to_string(++files_) + ".snmprec");
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  fs::path dir_ = k::helpers::make_temporary_directory("kestrel-snmprec-");
  int files_ = 0;
};

TEST_F(snmprec, EveryTagReadsAsTheExchangeConvertsItAndWritesBackOrIsRefused) {
  const fs::path file = recording(
      "# comment line\n"
      "1.3.6.1.2.1.1.1.0|4|Linux box|with a pipe ~\r\n"
      "\n"
      "1.3.6.1.2.1.1.2.0|6|1.3.6.1.4.1.8072.3.2.10\n"
      "1.3.6.1.2.1.1.3.0|67|4294967295\n"
      // A leading "." is read too.
      ".1.3.6.1.2.1.1.7.0|2|-72\n"
      "1.3.6.1.4.1.1|66|4294967295\n"
      "1.3.6.1.4.1.2|4x|0A127962F940\n"
      "1.3.6.1.4.1.3|64x|0a000001\n"
      "1.3.6.1.4.1.4|70|18446744073709551615\n"
      "1.3.6.1.4.1.5|5|\n"
      "1.3.6.1.4.1.6|68x|9f780441\n"
      "1.3.6.1.4.1.7|128|\n"
      "1.3.6.1.4.1.8|129|\n"
      "1.3.6.1.4.1.9|130|\n");
  const auto lib = k::helpers::mib2_library();
  const auto data = k::test::load_snmprec(file, lib);
  const std::vector<std::string> expected = {
      "system.sysDescr.0 (.1.3.6.1.2.1.1.1.0) String: Linux box|with a pipe ~",
      "system.sysObjectID.0 (.1.3.6.1.2.1.1.2.0) OID: .1.3.6.1.4.1.8072.3.2.10",
      "system.sysUpTime.0 (.1.3.6.1.2.1.1.3.0) Time Ticks (32bit): 4294967295",
      ".1.3.6.1.2.1.1.7.0 (.1.3.6.1.2.1.1.7.0) Integer (32bit): -72",
      ".1.3.6.1.4.1.1 (.1.3.6.1.4.1.1) Unsigned Integer (32bit): 4294967295",
      ".1.3.6.1.4.1.2 (.1.3.6.1.4.1.2) String: \x0a\x12\x79\x62\xf9\x40",
      ".1.3.6.1.4.1.4 (.1.3.6.1.4.1.4) Unsigned Integer (64bit): 18446744073709551615",
      ".1.3.6.1.4.1.5 (.1.3.6.1.4.1.5) NULL: (null)",
      ".1.3.6.1.4.1.7 (.1.3.6.1.4.1.7) Error: No Such Object available on this agent at this OID",
      ".1.3.6.1.4.1.8 (.1.3.6.1.4.1.8) Error: No Such Instance currently exists at this OID",
      ".1.3.6.1.4.1.9 (.1.3.6.1.4.1.9) Error: No more variables left in this MIB View (It is "
      "past the end of the MIB tree)",
  };
  EXPECT_EQ(describe(data), expected);
  // Without a library the names are the dotted numbers.
  EXPECT_EQ(k::test::load_snmprec(file).front().name(), ".1.3.6.1.2.1.1.1.0");

  // Written and read again, the data is the same.
  std::ostringstream written;
  k::test::write_snmprec(data, written);
  EXPECT_EQ(written.str().rfind("1.3.6.1.2.1.1.1.0|4|Linux box|with a pipe ~\n", 0), 0U);
  EXPECT_NE(written.str().find("1.3.6.1.4.1.2|4x|0a127962f940\n"), std::string::npos);
  EXPECT_EQ(describe(k::test::load_snmprec(recording(written.str()), lib)), expected);
  // Values without a recorded form are refused.
  for (const r& value : {k::helpers::make_response(lib, "sysName.0", r::int64_value{-1}),
                         k::helpers::make_error(lib, "sysName.0", "End Of Table")}) {
    EXPECT_THROW(k::test::write_snmprec({value}, written), std::invalid_argument);
  }
}

TEST_F(snmprec, ABadLineIsReportedWithFileAndLineNumber) {
  const std::string good = "1.3|4|text\n";
  const std::pair<std::string, std::string> cases[] = {
      {"1.4 4 text", "not of the form OID|TAG|VALUE"},
      {"1.4|99|1", "unknown tag 99"},
      {"1.4|2|12x", "bad Integer32 \"12x\""},
      {"1.4|2|2147483648", "bad Integer32 \"2147483648\""},
      {"1.4|4x|0g", "bad hex digits \"0g\""},
      {"1.4|4x|123", "odd number of hex digits"},
      {"1.4|2x|01", "hex encoding with tag 2"},
      {"1.4|6|1..3", "bad OID \"\""},
      {"1.4|4:numeric|1", "snmpsim variation modules (\"4:numeric\") are not supported"},
      {"1.3|4|again", "OID 1.3 is not after the one before it"},
  };
  for (const auto& [line, what] : cases) {
    SCOPED_TRACE(line);
    const fs::path file = recording(good + "\n" + line + "\n");
    EXPECT_EQ(k::helpers::runtime_error_text([&] { k::test::load_snmprec(file); }),
              file.string() + ":3: " + what);
  }
  EXPECT_EQ(k::helpers::runtime_error_text([] { k::test::load_snmprec("/nonexistent.snmprec"); }),
            "cannot open /nonexistent.snmprec");
}

}  // namespace
