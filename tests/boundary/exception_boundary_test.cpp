// Links only the shared library: every error raised inside libkestrel.so must be catchable
// here by its group class, which needs the exception types' information exported.
#include <gtest/gtest.h>
#include <kestrel/kestrel.hpp>

#include <stdexcept>

namespace k = corvane::tallis::kestrel;

namespace {

TEST(ExceptionBoundary, LibraryErrorsAreCaughtByGroupAndStandardErrorsStayStandard) {
  const k::result empty_result({});
  EXPECT_THROW(empty_result.at(std::nullopt), k::exceptions::exception);
  try {
    empty_result.at(3);
    ADD_FAILURE() << "no exception";
  } catch (const k::exceptions::data_exception& e) {
    EXPECT_EQ(e.message().key, "#:kestrel.error.no_result_for_oid[]");
  }
  const k::response r(k::oid({1, 3}, "sysName.0"), k::response::string_value{"router1"});
  EXPECT_THROW((void)r.as_int32_t(), corvane::tallis::ortolan::i18n_exception);
  const k::oid table({1, 3, 6, 1, 2, 1, 2, 2}, "ifTable");
  const k::response foreign(k::oid({1, 3, 6, 1, 2, 1, 1, 1, 0}, "sysDescr.0"), r.value());
  EXPECT_THROW(k::table_response({foreign}, table, std::nullopt), k::exceptions::data_exception);
  std::ostringstream out;
  EXPECT_THROW(k::table_printer::print_table({}, out, table), std::runtime_error);
}

}  // namespace
