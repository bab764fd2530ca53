#include <kestrel/table_printer.hpp>

#include <optional>
#include <stdexcept>
#include <string>

#include <kestrel/table_response.hpp>

namespace corvane::tallis::kestrel::table_printer {

namespace {

struct column_format {
  std::string header;
  std::size_t width;
  bool right_aligned;
};

constexpr std::size_t index_width = 5;
constexpr std::size_t text_width = 24;
constexpr std::size_t number_width = 12;

// One piece for the widest column; narrower columns take its tail. A function-local static
// is initialised exactly once, also under concurrent first calls.
const std::string& separator_piece() {
  static const std::string piece = std::string(text_width, '-') + "+";
  return piece;
}

// Pads `text` to exactly `width` characters, or shortens it to its head, "~" and its tail.
std::string fit_cell(const std::string& text, std::size_t width, bool right_aligned) {
  if (text.size() == width) return text;
  if (text.size() < width) {
    const std::string padding(width - text.size(), ' ');
    return right_aligned ? padding + text : text + padding;
  }
  const std::size_t tail = width / 2;
  const std::size_t head = width % 2 == 1 ? width / 2 : width / 2 - 1;
  return text.substr(0, head) + "~" + text.substr(text.size() - tail);
}

// The column label of a cell's OID name: the piece before the index (...ifEntry.ifDescr.1
// gives ifDescr), or the whole name when it has fewer than two ".".
std::string header_of(const std::string& name) {
  const std::size_t last = name.rfind('.');
  if (last == std::string::npos || last == 0) return name;
  const std::size_t before = name.rfind('.', last - 1);
  if (before == std::string::npos) return name;
  return name.substr(before + 1, last - before - 1);
}

}  // namespace

void print_table(const std::vector<response>& responses, std::ostream& stream, const oid& table) {
  if (responses.empty()) throw std::runtime_error("Empty table response.");
  const table_response view(responses, table, std::nullopt);

  std::vector<column_format> formats{{"Index", index_width, true}};
  if (!view.rows().empty()) {
    for (const auto& [column_name, cell] : view.rows().front().second) {
      const response& r = cell.get();
      const bool text = r.is_string() || r.is_error() || r.is_oid();
      formats.push_back({header_of(r.name()), text ? text_width : number_width, !text});
    }
  }

  for (const column_format& format : formats) {
    stream << fit_cell(format.header, format.width, format.right_aligned) << ' ';
  }
  stream << std::endl;

  const std::string& piece = separator_piece();
  for (const column_format& format : formats) {
    stream << piece.substr(piece.size() - (format.width + 1));
  }
  stream << std::endl;

  for (const auto& [index, row] : view.rows()) {
    stream << fit_cell(index, index_width, true) << ' ';
    std::size_t position = 1;
    for (const auto& [column_name, cell] : row) {
      if (position >= formats.size()) {
        throw std::runtime_error("Too many columns in row " + index);
      }
      const column_format& format = formats[position++];
      stream << fit_cell(cell.get().as_string(), format.width, format.right_aligned) << ' ';
    }
    stream << std::endl;
  }
}

}  // namespace corvane::tallis::kestrel::table_printer
