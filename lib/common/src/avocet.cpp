#include <avocet/strings.hpp>

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace corvane::tallis::avocet {

exception::~exception() = default;

format_string_error::format_string_error(const std::string& message)
    : tern::_exception<avocet::exception>(message) {}
format_string_error::~format_string_error() = default;

placeholder_index_not_in_arguments::placeholder_index_not_in_arguments(
    const std::string& message)
    : tern::_exception<avocet::exception>(message) {}
placeholder_index_not_in_arguments::~placeholder_index_not_in_arguments() = default;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of decimal digits as an index. Leading zeros are allowed; a value beyond a
// signed 32-bit number fails the way the standard decimal conversion words it.
std::size_t parse_index(std::string_view digits) {
  std::uint64_t value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > INT32_MAX) throw std::out_of_range("stol argument out of range");
  }
  return static_cast<std::size_t>(value);
}

}  // namespace

// A hand-written scanner for the tokens "%<digits>:s", "%%" and a lone "%", tried in that
// order at each "%": the same tokens, in the same order, as the regular expression
// "%([0-9]+):s|%%|%" finds them, without the cost of std::regex.
std::string format_placeholders_list(const std::string& format,
                                     const std::vector<std::string>& arguments) {
  std::string result;
  result.reserve(format.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t percent = format.find('%', pos);
    if (percent == std::string::npos) {
      result.append(format, pos, std::string::npos);
      return result;
    }
    result.append(format, pos, percent - pos);

    std::size_t digits_end = percent + 1;
    while (digits_end < format.size() && is_digit(format[digits_end])) ++digits_end;
    const bool placeholder =
        digits_end > percent + 1 && format.compare(digits_end, 2, ":s") == 0;
    if (placeholder) {
      const std::string_view digits(format.data() + percent + 1, digits_end - percent - 1);
      const std::size_t index = parse_index(digits);
      if (index >= arguments.size()) {
        throw placeholder_index_not_in_arguments("Index " + std::string(digits) +
                                                 " is too high for argument list.");
      }
      result += arguments[index];
      pos = digits_end + 2;
    } else if (percent + 1 < format.size() && format[percent + 1] == '%') {
      result += '%';
      pos = percent + 2;
    } else {
      throw format_string_error("Malformed placeholder in format string.");
    }
  }
}

std::vector<std::string> split(const std::string& text, char delimiter, std::size_t max_splits) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  std::size_t splits = 0;
  while (splits < max_splits) {
    const std::size_t found = text.find(delimiter, start);
    if (found == std::string::npos) break;
    pieces.emplace_back(text, start, found - start);
    start = found + 1;
    ++splits;
  }
  pieces.emplace_back(text, start, std::string::npos);
  return pieces;
}

}  // namespace corvane::tallis::avocet
