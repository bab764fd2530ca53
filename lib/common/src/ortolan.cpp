#include <avocet/strings.hpp>
#include <ortolan/i18n_exception.hpp>

#include <utility>

namespace corvane::tallis::ortolan {

std::string escape_key_argument(const std::string& argument) {
  std::string escaped;
  escaped.reserve(argument.size());
  for (char c : argument) {
    switch (c) {
      case '\\':
      case '#':
      case '[':
      case ']':
      case ',':
      case ':':
        escaped += '\\';
        break;
      default:
        break;
    }
    escaped += c;
  }
  return escaped;
}

i18n_message i18n_message::format_arguments(const std::vector<std::string>& arguments) const {
  std::string encoded = "#:" + key + "[";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i != 0) encoded += ',';
    encoded += escape_key_argument(arguments[i]);
  }
  encoded += ']';
  return i18n_message{std::move(encoded), avocet::format_placeholders_list(text, arguments)};
}

i18n_exception::i18n_exception(i18n_message message)
    : tern::exception(message.text), message_(std::move(message)) {}

i18n_exception::~i18n_exception() = default;

i18n_message i18n_exception::message() const { return message_; }

}  // namespace corvane::tallis::ortolan
