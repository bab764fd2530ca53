#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include <kestrel/export.hpp>
#include <tern/exception.hpp>

namespace corvane::tallis::avocet {

/// Base of the placeholder formatter's errors.
class KESTREL_EXPORT exception : public tern::_exception<tern::exception> {
 public:
  using tern::_exception<tern::exception>::_exception;
  ~exception() override;
};

/// A "%" that starts neither a placeholder nor "%%".
class KESTREL_EXPORT format_string_error : public tern::_exception<avocet::exception> {
 public:
  explicit format_string_error(const std::string& message);
  ~format_string_error() override;
};

/// A placeholder whose index is not smaller than the number of arguments.
class KESTREL_EXPORT placeholder_index_not_in_arguments
    : public tern::_exception<avocet::exception> {
 public:
  explicit placeholder_index_not_in_arguments(const std::string& message);
  ~placeholder_index_not_in_arguments() override;
};

/// Replaces "%N:s" by argument N and "%%" by "%" in `format`; see format_placeholders_list.
template <class... Args>
std::string format_placeholders(std::string format, const Args&... args);

/// Substitutes `arguments` into `format`. Throws format_string_error for a lone "%",
/// placeholder_index_not_in_arguments for an index beyond the arguments, and
/// std::out_of_range("stol argument out of range") for an index beyond a signed 32-bit number.
KESTREL_EXPORT std::string format_placeholders_list(const std::string& format,
                                                    const std::vector<std::string>& arguments);

template <class... Args>
std::string format_placeholders(std::string format, const Args&... args) {
  return format_placeholders_list(format, std::vector<std::string>{std::string(args)...});
}

/// Splits `text` at each `delimiter`, at most `max_splits` times. Empty pieces are kept and the
/// rest after the last split is the final piece; an empty text gives no pieces at all.
KESTREL_EXPORT std::vector<std::string> split(
    const std::string& text, char delimiter,
    std::size_t max_splits = std::numeric_limits<std::size_t>::max());

}  // namespace corvane::tallis::avocet
