#include "render.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <utility>

namespace k = corvane::tallis::kestrel;

namespace kestrel_cli {

namespace {

// DateAndTime's DISPLAY-HINT in SNMPv2-TC.
const std::string date_and_time_hint = "2d-1d-1d,1d:1d:1d.1d,1a1d:1d";

// Valid UTF-8 without control characters.
bool printable(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x20 || c == 0x7f) return false;
    std::size_t length = c < 0x80           ? 1
                         : (c >> 5) == 0x6  ? 2
                         : (c >> 4) == 0xe  ? 3
                         : (c >> 3) == 0x1e ? 4
                                            : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (std::size_t j = 1; j < length; ++j) {
      if ((static_cast<unsigned char>(bytes[i + j]) & 0xc0) != 0x80) return false;
    }
    // C1 control characters (U+0080..U+009F) are control characters too.
    if (length == 2 && c == 0xc2 && static_cast<unsigned char>(bytes[i + 1]) < 0xa0) return false;
    i += length;
  }
  return true;
}

bool below(const std::vector<long>& numeric, const std::vector<long>& subtree) {
  return numeric.size() >= subtree.size() &&
         std::equal(subtree.begin(), subtree.end(), numeric.begin());
}

}  // namespace

void add_render_options(CLI::App& command, render_options& options) {
  command.add_flag("--raw", options.raw,
                   "show string values as their bytes, with control characters and \\ escaped "
                   "(\\n \\r \\t \\\\ \\xNN), instead of hex for binary values");
  command.add_option("--date-and-time", options.date_and_time,
                     "show 8- and 11-octet values below these objects as ISO 8601 dates "
                     "(besides those whose MIB says DateAndTime)");
}

std::string hex_text(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    if (!text.empty()) text += ':';
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

std::string date_and_time_text(const std::string& bytes) {
  if (bytes.size() != 8 && bytes.size() != 11) return {};
  auto at = [&bytes](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[i]));
  };
  const unsigned year = at(0) * 256 + at(1);
  const unsigned month = at(2), day = at(3), hour = at(4), minute = at(5), second = at(6),
                 deci = at(7);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
      deci > 9) {
    return {};
  }
  char text[40];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%u", year, month, day, hour,
                minute, second, deci);
  std::string result = text;
  if (bytes.size() == 11) {
    const char direction = bytes[8];
    if ((direction != '+' && direction != '-') || at(9) > 14 || at(10) > 59) return {};
    std::snprintf(text, sizeof(text), "%c%02u:%02u", direction, at(9), at(10));
    result += text;
  }
  return result;
}

std::string escaped_text(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      case '\\':
        text += "\\\\";
        break;
      default:
        if (u < 0x20 || u == 0x7f) {
          char code[5];
          std::snprintf(code, sizeof(code), "\\x%02x", u);
          text += code;
        } else {
          text += c;
        }
    }
  }
  return text;
}

std::set<std::string> date_and_time_cells(
    const std::vector<k::response>& responses, const std::vector<std::vector<long>>& subtrees,
    const std::function<std::string(const std::vector<long>&)>& hint) {
  std::set<std::string> names;
  for (const k::response& r : responses) {
    if (!r.is_string()) continue;
    const std::size_t size = r.as_string().size();
    if (size != 8 && size != 11) continue;
    const std::vector<long> numeric = r.numeric_oid();
    const bool named = std::any_of(subtrees.begin(), subtrees.end(),
                                   [&numeric](const auto& s) { return below(numeric, s); });
    if (named || hint(numeric) == date_and_time_hint) names.insert(r.name());
  }
  return names;
}

renderer::renderer(bool raw, std::set<std::string> date_and_time)
    : raw_(raw), date_and_time_(std::move(date_and_time)) {}

std::string renderer::text(const k::response& r) const {
  const std::string bytes = r.as_string();
  if (!r.is_string()) return bytes;
  if (raw_) return escaped_text(bytes);
  if (date_and_time_.count(r.name()) != 0) {
    if (std::string date = date_and_time_text(bytes); !date.empty()) return date;
  }
  return printable(bytes) ? bytes : hex_text(bytes);
}

std::vector<k::response> renderer::displayable(std::vector<k::response> responses) const {
  for (k::response& r : responses) {
    if (r.is_string()) r = k::response(r.oid(), k::response::string_value{text(r)});
  }
  return responses;
}

}  // namespace kestrel_cli
