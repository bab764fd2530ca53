#pragma once

#include <string>
#include <utility>
#include <vector>

#include <kestrel/export.hpp>

namespace corvane::tallis::ortolan {

/// A message key with its English default text.
///
/// In the catalogue the text holds placeholders ("%0:s", ...). `format` substitutes them and
/// folds the key and the escaped arguments into "#:" key "[" arg "," arg ... "]".
struct KESTREL_EXPORT i18n_message {
  std::string key;
  std::string text;

  template <class... Args>
  i18n_message format(const Args&... args) const {
    return format_arguments(std::vector<std::string>{std::string(args)...});
  }

  /// The same as `format`, with the arguments already converted to strings.
  i18n_message format_arguments(const std::vector<std::string>& arguments) const;
};

/// Puts a backslash before each of \ # [ ] , : in an argument of an encoded key.
KESTREL_EXPORT std::string escape_key_argument(const std::string& argument);

}  // namespace corvane::tallis::ortolan
