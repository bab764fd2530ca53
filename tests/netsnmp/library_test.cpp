#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "helpers/test_platform.hpp"

namespace k = corvane::tallis::kestrel;

namespace {

TEST(LibraryStatics, NumericOidToString) {
  EXPECT_EQ(k::library::numeric_oid_to_string({}), "");
  EXPECT_EQ(k::library::numeric_oid_to_string({0}), ".0");
  EXPECT_EQ(k::library::numeric_oid_to_string({-1}), ".-1");
  EXPECT_EQ(k::library::numeric_oid_to_string({1, 3, 6, 1, 2, 1}), ".1.3.6.1.2.1");
  EXPECT_EQ(k::library::numeric_oid_to_string({k::helpers::largest_sub_identifier}),
            "." + k::helpers::largest_sub_identifier_text());
}

TEST(LibraryStatics, TableNameFromOid) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable", "if"},
      {".iso.org.dod.internet.mgmt.mib-2.ifMIB.ifMIBObjects.ifXTable", "ifX"},
      {"x.Table", ""},
      {"Table", ""},
      {".iso.sysDescr", "sysDescr"},
      {"a.myTABLE", "myTABLE"},
      {"ifTable", "if"},
      {"a.b.", ""},
      {"", ""},
      {"a.Tabl", "Tabl"},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(k::library::table_name_from_oid(k::oid({1}, name)), expected) << name;
  }
}

// A name service that answers from fixed maps and fails like a real one.
class fixed_library : public k::library {
 public:
  std::vector<long> name_to_numeric(const std::string& name) const override {
    if (name == "sysDescr") return {1, 3, 6, 1, 2, 1, 1, 1};
    throw k::exceptions::missing_mib_for_oid(name, "Unknown Object Identifier");
  }
  std::string numeric_to_name(const std::vector<long>& numeric) const override {
    if (numeric.size() > 8) throw k::exceptions::maximum_oid_size_exceeded();
    return ".iso.org.dod.internet.mgmt.mib-2.system.sysDescr";
  }
};

TEST(LibraryNames, OidFromNameCombinesBothLookups) {
  const fixed_library lib;
  const auto o = lib.oid_from_name("sysDescr");
  EXPECT_EQ(o.numeric_oid(), (std::vector<long>{1, 3, 6, 1, 2, 1, 1, 1}));
  EXPECT_EQ(o.name(), ".iso.org.dod.internet.mgmt.mib-2.system.sysDescr");
  EXPECT_EQ(lib.oid_string_from_name("sysDescr"), ".1.3.6.1.2.1.1.1");
  EXPECT_THROW(lib.oid_from_name("nope"), k::exceptions::missing_mib_for_oid);
  EXPECT_THROW(lib.oid_string_from_name("nope"), k::exceptions::missing_mib_for_oid);
}

}  // namespace
