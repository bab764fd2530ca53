#pragma once

#include <kestrel/oid.hpp>
#include <kestrel/response.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrel_cli {

enum class output_format { lines, table, json };

/// Where a table's cells came from, so that JSON output can name their row and column.
struct table_origin {
  corvane::tallis::kestrel::oid table;
  std::optional<std::string> column_prefix;
};

/// One `response::str` per line.
void write_lines(const std::vector<corvane::tallis::kestrel::response>& responses,
                 std::ostream& out);

/// A JSON array of {"name", "oid", "type", "value"} objects; numeric values are JSON numbers,
/// NULL is null. Cells of a table also carry "column" and "row". String values are shown by
/// `string_text` (their bytes when it is empty) and also carry their exact bytes in "hex".
void write_json(
    const std::vector<corvane::tallis::kestrel::response>& responses,
    const std::optional<table_origin>& table, std::ostream& out,
    const std::function<std::string(const corvane::tallis::kestrel::response&)>& string_text = {});

}  // namespace kestrel_cli
