// Builds table views and printed tables from arbitrary responses and checks that every value
// conversion agrees with its convertibility predicate. Only the documented exceptions may
// leave the library; anything else, or a crash, is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>
#include <kestrel/response.hpp>
#include <kestrel/table_printer.hpp>
#include <kestrel/table_response.hpp>

namespace kestrel = corvane::tallis::kestrel;
using kestrel::response;

namespace {

// Close to real names, so that most inputs get past the entry-prefix check.
const char* const table_names[] = {
    ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable", "ifXTable", "Table", "", "a.b", "T"};

void require(bool condition) {
  if (!condition) std::abort();
}

response::value_t make_value(FuzzedDataProvider& data) {
  switch (data.ConsumeIntegralInRange<int>(0, 10)) {
    case 0:
      return response::null_value{};
    case 1:
      return response::int32_value{data.ConsumeIntegral<int>()};
    case 2:
      return response::uint32_value{data.ConsumeIntegral<unsigned>()};
    case 3:
      return response::timeticks_value{kestrel::timeticks_t(data.ConsumeIntegral<std::int64_t>())};
    case 4:
      return response::int64_value{data.ConsumeIntegral<std::int64_t>()};
    case 5:
      return response::uint64_value{data.ConsumeIntegral<std::uint64_t>()};
    case 6:  // any bit pattern, NaN and infinities included
      return response::float_value{std::bit_cast<float>(data.ConsumeIntegral<std::uint32_t>())};
    case 7:
      return response::double_value{std::bit_cast<double>(data.ConsumeIntegral<std::uint64_t>())};
    case 8:
      return response::string_value{data.ConsumeRandomLengthString(64)};
    case 9:
      return response::oid_value{kestrel::oid({1, 3}, data.ConsumeRandomLengthString(32))};
    default:
      return response::error_value{data.ConsumeRandomLengthString(32)};
  }
}

template <class Call>
bool throws_wrong_type(Call call) {
  try {
    call();
    return false;
  } catch (const kestrel::exceptions::oid_has_wrong_type&) {
    return true;
  }
}

void check_conversions(const response& r) {
  r.as_string();
  r.str();
  static_cast<void>(static_cast<bool>(r));
  require(r.is_convertible_to_double() != throws_wrong_type([&] { r.as_converted_to_double(); }));
  require(r.is_convertible_to_int64_t() != throws_wrong_type([&] { r.as_converted_to_int64_t(); }));
  require(r.is_convertible_to_uint64_t() !=
          throws_wrong_type([&] { r.as_converted_to_uint64_t(); }));
}

void check_view(const kestrel::table_response& table) {
  std::size_t cells = 0;
  for (const auto& [index, row] : table.rows()) {
    require(row.name() == index && !row.empty());
    for (const auto& [column, cell] : row) {
      // A row keeps the last response of a cell, its column the first; in a finished view
      // both are the same one.
      require(&table.at_column(column).at(index).get() == &cell.get());
      ++cells;
    }
  }
  std::size_t column_cells = 0;
  for (const auto& [name, column] : table.columns()) column_cells += column.size();
  require(cells == column_cells);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::string table_name =
      table_names[data.ConsumeIntegralInRange<std::size_t>(0, std::size(table_names) - 1)];
  const kestrel::oid table({1, 3, 6, 1}, table_name);
  std::optional<std::string> prefix;
  if (data.ConsumeBool()) prefix = data.ConsumeRandomLengthString(4);

  const std::string entry =
      table_name + "." + kestrel::library::table_name_from_oid(table) + "Entry.";
  std::vector<response> responses;
  const std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, 16);
  for (std::size_t i = 0; i < count && data.remaining_bytes() > 0; ++i) {
    const std::string name =
        (data.ConsumeBool() ? entry : std::string()) + data.ConsumeRandomLengthString(24);
    responses.emplace_back(kestrel::oid({1, 3, 6, 1, static_cast<long>(i)}, name),
                           make_value(data));
    check_conversions(responses.back());
  }

  try {
    const kestrel::table_response view(responses, table, prefix);
    check_view(view);
  } catch (const kestrel::exceptions::data_exception&) {
  } catch (const std::out_of_range&) {
  }

  std::ostringstream out;
  try {
    kestrel::table_printer::print_table(responses, out, table);
  } catch (const kestrel::exceptions::data_exception&) {
  } catch (const std::out_of_range&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}
