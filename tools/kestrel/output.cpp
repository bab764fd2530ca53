#include "output.hpp"

#include "render.hpp"

#include <kestrel/library.hpp>
#include <kestrel/table_response.hpp>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>
#include <variant>

namespace k = corvane::tallis::kestrel;

namespace kestrel_cli {

void write_lines(const std::vector<k::response>& responses, std::ostream& out) {
  for (const auto& r : responses) out << r.str() << '\n';
  out.flush();
}

namespace {

nlohmann::json json_value(const k::response& r,
                          const std::function<std::string(const k::response&)>& string_text) {
  if (r.is_string() && string_text) return string_text(r);
  return std::visit(
      [&r](const auto& wrapped) -> nlohmann::json {
        using T = std::decay_t<decltype(wrapped.value)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, k::timeticks_t>) {
          return wrapped.value.count();
        } else if constexpr (std::is_arithmetic_v<T>) {
          return wrapped.value;
        } else {
          // Strings go out as text; bytes that are not UTF-8 are replaced, not dropped.
          return r.as_string();
        }
      },
      r.value());
}

}  // namespace

void write_json(const std::vector<k::response>& responses, const std::optional<table_origin>& table,
                std::ostream& out,
                const std::function<std::string(const k::response&)>& string_text) {
  // Row and column of each cell, by the cell's address in the table view's own copy.
  std::map<std::string, std::pair<std::string, std::string>> cells;
  if (table) {
    const k::table_response view(responses, table->table, table->column_prefix);
    for (const auto& [column_name, column] : view.columns()) {
      for (const auto& [row_index, cell] : column) {
        cells.emplace(cell.get().name(), std::make_pair(column_name, row_index));
      }
    }
  }

  nlohmann::json array = nlohmann::json::array();
  for (const auto& r : responses) {
    nlohmann::json entry = {{"name", r.name()},
                            {"oid", k::library::numeric_oid_to_string(r.numeric_oid())},
                            {"type", k::response::type_name(r.value())},
                            {"value", json_value(r, string_text)}};
    if (r.is_string()) {
      // The exact bytes, as plain hexadecimal digits.
      std::string hex = hex_text(r.as_string());
      hex.erase(std::remove(hex.begin(), hex.end(), ':'), hex.end());
      entry["hex"] = hex;
    }
    if (r.is_oid()) entry["value_oid"] = k::library::numeric_oid_to_string(r.as_oid().numeric_oid());
    if (const auto found = cells.find(r.name()); found != cells.end()) {
      entry["column"] = found->second.first;
      entry["row"] = found->second.second;
    }
    array.push_back(std::move(entry));
  }
  out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

}  // namespace kestrel_cli
