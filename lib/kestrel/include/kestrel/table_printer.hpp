#pragma once

#include <ostream>
#include <vector>

#include <kestrel/export.hpp>
#include <kestrel/oid.hpp>
#include <kestrel/response.hpp>

namespace corvane::tallis::kestrel::table_printer {

/// Prints a table query's responses as a fixed-width text table: "Index" (5 wide), then one
/// column per cell of the first row, 24 wide and left-aligned for strings, errors and OIDs,
/// 12 wide and right-aligned otherwise. Over-long cells are shortened around a "~".
/// Throws std::runtime_error for an empty list or a row wider than the first; whatever was
/// written before stays in the stream.
KESTREL_EXPORT void print_table(const std::vector<response>& responses, std::ostream& stream,
                                const oid& table);

}  // namespace corvane::tallis::kestrel::table_printer
