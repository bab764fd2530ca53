// Device recordings in snmpsim's ".snmprec" text form, read into and written from responses.
#include <charconv>
#include <cstdint>
#include <fstream>
#include <functional>
#include <kestrel/test_connections.hpp>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace corvane::tallis::kestrel::test {

namespace {

const char* const no_such_object = "No Such Object available on this agent at this OID";
const char* const no_such_instance = "No Such Instance currently exists at this OID";
const char* const end_of_view =
    "No more variables left in this MIB View (It is past the end of the MIB tree)";

using namer = std::function<std::string(const std::vector<long>&)>;

// One line's fault; the reader adds the file and line number.
struct bad_line : std::runtime_error {
  using std::runtime_error::runtime_error;
};

template <class T>
T number(std::string_view text, const char* what) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw bad_line("bad " + std::string(what) + " \"" + std::string(text) + "\"");
  }
  return value;
}

// Sub-identifiers as the exchange keeps them: unsigned 32-bit values in signed 32-bit form.
std::vector<std::uint32_t> parse_oid(std::string_view text) {
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  if (text.empty()) throw bad_line("empty OID");
  std::vector<std::uint32_t> numbers;
  for (std::size_t start = 0;;) {
    const std::size_t dot = text.find('.', start);
    const auto piece = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
    numbers.push_back(number<std::uint32_t>(piece, "OID"));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return numbers;
}

std::vector<long> as_numeric(const std::vector<std::uint32_t>& numbers) {
  std::vector<long> numeric;
  numeric.reserve(numbers.size());
  for (std::uint32_t n : numbers) numeric.push_back(static_cast<std::int32_t>(n));
  return numeric;
}

std::string from_hex(std::string_view text) {
  if (text.size() % 2 != 0) throw bad_line("odd number of hex digits");
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto pair = text.substr(i, 2);
    const auto [ptr, ec] = std::from_chars(pair.data(), pair.data() + 2, value, 16);
    if (ec != std::errc() || ptr != pair.data() + 2) {
      throw bad_line("bad hex digits \"" + std::string(pair) + "\"");
    }
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

// The value of one line, or none for the types that the exchange does not convert either.
std::optional<response::value_t> parse_value(int tag, bool hex, std::string_view text,
                                             const namer& name) {
  const bool byte_type = tag == 4 || tag == 64 || tag == 68;
  if (hex && !byte_type) throw bad_line("hex encoding with tag " + std::to_string(tag));
  const std::string bytes = hex ? from_hex(text) : std::string(text);
  switch (tag) {
    case 2:
      return response::int32_value{number<std::int32_t>(text, "Integer32")};
    case 4:
      return response::string_value{bytes};
    case 5:
      return response::null_value{};
    case 6: {
      const std::vector<long> numeric = as_numeric(parse_oid(text));
      return response::oid_value{oid(numeric, name(numeric))};
    }
    case 64:
    case 68:
      return std::nullopt;
    case 65:
    case 66:
      return response::uint32_value{number<std::uint32_t>(text, "unsigned 32-bit value")};
    case 67:
      return response::timeticks_value{timeticks_t(number<std::uint32_t>(text, "TimeTicks"))};
    case 70:
      return response::uint64_value{number<std::uint64_t>(text, "Counter64")};
    case 128:
      return response::error_value{no_such_object};
    case 129:
      return response::error_value{no_such_instance};
    case 130:
      return response::error_value{end_of_view};
    default:
      throw bad_line("unknown tag " + std::to_string(tag));
  }
}

std::vector<response> load(const std::filesystem::path& path, const namer& name) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path.string());

  std::vector<response> data;
  std::vector<std::uint32_t> previous;
  std::string line;
  for (unsigned long number_of_line = 1; std::getline(file, line); ++number_of_line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    try {
      const std::size_t first = line.find('|');
      const std::size_t second = first == std::string::npos ? first : line.find('|', first + 1);
      if (second == std::string::npos) throw bad_line("not of the form OID|TAG|VALUE");
      const std::string_view text(line);
      const std::vector<std::uint32_t> numbers = parse_oid(text.substr(0, first));
      if (!previous.empty() && !(previous < numbers)) {
        throw bad_line("OID " + std::string(text.substr(0, first)) +
                       " is not after the one before it");
      }
      std::string_view tag_text = text.substr(first + 1, second - first - 1);
      if (tag_text.find(':') != std::string_view::npos) {
        throw bad_line("snmpsim variation modules (\"" + std::string(tag_text) +
                       "\") are not supported");
      }
      const bool hex = !tag_text.empty() && tag_text.back() == 'x';
      if (hex) tag_text.remove_suffix(1);
      const int tag = number<int>(tag_text, "tag");
      if (auto value = parse_value(tag, hex, text.substr(second + 1), name)) {
        const std::vector<long> numeric = as_numeric(numbers);
        data.emplace_back(oid(numeric, name(numeric)), std::move(*value));
      }
      previous = numbers;
    } catch (const bad_line& e) {
      throw std::runtime_error(path.string() + ":" + std::to_string(number_of_line) + ": " +
                               e.what());
    }
  }
  if (file.bad()) throw std::runtime_error("cannot read " + path.string());
  return data;
}

void write_oid(const std::vector<long>& numeric, std::ostream& out) {
  for (std::size_t i = 0; i < numeric.size(); ++i) {
    out << (i == 0 ? "" : ".") << static_cast<std::uint32_t>(numeric[i]);
  }
}

// "TAG|VALUE" of one response.
std::string tag_and_value(const response& r) {
  return std::visit(
      [&r](const auto& wrapped) -> std::string {
        using T = std::decay_t<decltype(wrapped)>;
        if constexpr (std::is_same_v<T, response::null_value>) {
          return "5|";
        } else if constexpr (std::is_same_v<T, response::int32_value>) {
          return "2|" + std::to_string(wrapped.value);
        } else if constexpr (std::is_same_v<T, response::uint32_value>) {
          return "66|" + std::to_string(wrapped.value);
        } else if constexpr (std::is_same_v<T, response::timeticks_value>) {
          return "67|" + std::to_string(wrapped.value.count());
        } else if constexpr (std::is_same_v<T, response::uint64_value>) {
          return "70|" + std::to_string(wrapped.value);
        } else if constexpr (std::is_same_v<T, response::string_value>) {
          bool printable = true;
          for (unsigned char c : wrapped.value) printable = printable && c >= 32 && c <= 126;
          if (printable) return "4|" + wrapped.value;
          static const char digits[] = "0123456789abcdef";
          std::string hex = "4x|";
          for (unsigned char c : wrapped.value) {
            hex += digits[c >> 4];
            hex += digits[c & 15];
          }
          return hex;
        } else if constexpr (std::is_same_v<T, response::oid_value>) {
          std::ostringstream text;
          text << "6|";
          write_oid(wrapped.value.numeric_oid(), text);
          return text.str();
        } else if constexpr (std::is_same_v<T, response::error_value>) {
          if (wrapped.value == no_such_object) return "128|";
          if (wrapped.value == no_such_instance) return "129|";
          if (wrapped.value == end_of_view) return "130|";
          throw std::invalid_argument("cannot record the marker \"" + wrapped.value + "\" of " +
                                      r.name());
        } else {
          throw std::invalid_argument("cannot record the " + response::type_name(r.value()) +
                                      " value of " + r.name() + " in .snmprec form");
        }
      },
      r.value());
}

}  // namespace

std::vector<response> load_snmprec(const std::filesystem::path& path) {
  return load(path, [](const std::vector<long>& numeric) {
    return library::numeric_oid_to_string(numeric);
  });
}

std::vector<response> load_snmprec(const std::filesystem::path& path, const library& names) {
  return load(
      path, [&names](const std::vector<long>& numeric) { return names.numeric_to_name(numeric); });
}

void write_snmprec(const std::vector<response>& responses, std::ostream& out) {
  std::string text;
  for (const response& r : responses) {
    std::ostringstream line;
    write_oid(r.numeric_oid(), line);
    text += line.str() + "|" + tag_and_value(r) + "\n";
  }
  out << text;
}

}  // namespace corvane::tallis::kestrel::test
