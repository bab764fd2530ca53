// Links only the shared library: every error raised inside libkestrel.so must be catchable
// here by its group class, which needs the exception types' information exported.
#include <kestrel/kestrel.hpp>
#include <gtest/gtest.h>

#include <stdexcept>

namespace k = corvane::tallis::kestrel;

namespace {

TEST(ExceptionBoundary, ResultLookupsAreCaughtByGroup) {
  const k::result empty_result({});
  EXPECT_THROW(empty_result.at(std::nullopt), k::exceptions::exception);
  EXPECT_THROW(empty_result.at(3), k::exceptions::data_exception);
  try {
    empty_result.at(3);
  } catch (const corvane::tallis::ortolan::i18n_exception& e) {
    EXPECT_EQ(e.message().key, "#:kestrel.error.no_result_for_oid[]");
  }
}

TEST(ExceptionBoundary, ResponseTypeErrorsAreCaughtByGroup) {
  const k::response r(k::oid({1, 3}, "sysName.0"), k::response::string_value{"router1"});
  try {
    (void)r.as_int32_t();
    FAIL() << "no exception";
  } catch (const k::exceptions::data_exception& e) {
    EXPECT_STREQ(e.what(),
                 "The returned result from OID 'sysName.0' is the wrong type ('String'). The "
                 "expected type is 'Integer (32bit)'.");
  }
}

TEST(ExceptionBoundary, TableErrorsAreCaughtByGroupAndStandardErrorsStayStandard) {
  const k::oid table({1, 3, 6, 1, 2, 1, 2, 2}, ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable");
  std::vector<k::response> foreign = {
      k::response(k::oid({1, 3, 6, 1, 2, 1, 1, 1, 0}, ".iso.org.dod.internet.mgmt.mib-2.system.sysDescr.0"),
                  k::response::string_value{"x"})};
  EXPECT_THROW(k::table_response(foreign, table, std::nullopt), k::exceptions::data_exception);
  std::ostringstream out;
  EXPECT_THROW(k::table_printer::print_table({}, out, table), std::runtime_error);
}

}  // namespace
