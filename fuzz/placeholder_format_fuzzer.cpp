// Feeds arbitrary format strings and arguments to the placeholder formatter and to the
// catalogue's key encoding. Every input either formats or fails with one of the three
// documented errors; a formatted text without "%" in its format is the format itself.
#include <avocet/strings.hpp>
#include <ortolan/i18n_message.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace avocet = corvane::tallis::avocet;
  // The input is split at NUL bytes: the first piece is the format, the rest are arguments.
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= input.size(); ++i) {
    if (i == input.size() || input[i] == '\0') {
      pieces.push_back(input.substr(start, i - start));
      start = i + 1;
    }
  }
  const std::string format = pieces.front();
  const std::vector<std::string> arguments(pieces.begin() + 1, pieces.end());

  try {
    const std::string text = avocet::format_placeholders_list(format, arguments);
    if (format.find('%') == std::string::npos && text != format) std::abort();
    const corvane::tallis::ortolan::i18n_message entry{"fuzz.key", format};
    const auto formatted = entry.format_arguments(arguments);
    if (formatted.text != text) std::abort();
    if (formatted.key.rfind("#:fuzz.key[", 0) != 0 || formatted.key.back() != ']') std::abort();
  } catch (const avocet::format_string_error&) {
  } catch (const avocet::placeholder_index_not_in_arguments&) {
  } catch (const std::out_of_range& e) {
    if (std::string(e.what()) != "stol argument out of range") std::abort();
  }
  return 0;
}
