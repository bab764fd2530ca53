#pragma once

#include <kestrel/response.hpp>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace kestrel_cli {

/// How string values are shown; the options of every reading command.
struct render_options {
  /// Bytes as they are, control characters and "\" escaped.
  bool raw = false;
  /// Names of objects whose 8- or 11-octet values are DateAndTime.
  std::vector<std::string> date_and_time;
};

void add_render_options(CLI::App& command, render_options& options);

/// "00:1a:2b": every byte as two lower-case hexadecimal digits, joined with ":".
std::string hex_text(const std::string& bytes);

/// ISO 8601 text of a DateAndTime ("2024-05-01T12:30:45.6+02:00"), or empty when `bytes` is
/// not 8 or 11 octets with fields in range.
std::string date_and_time_text(const std::string& bytes);

/// `bytes` with control characters (and "\") escaped: \n \r \t \\ and \xNN.
std::string escaped_text(const std::string& bytes);

/// The names of the string responses to be shown as DateAndTime: 8 or 11 octets, and below one
/// of `subtrees` or with the MIB's DateAndTime display hint (asked through `hint`).
std::set<std::string> date_and_time_cells(
    const std::vector<corvane::tallis::kestrel::response>& responses,
    const std::vector<std::vector<long>>& subtrees,
    const std::function<std::string(const std::vector<long>&)>& hint);

/// Shows string values readably: DateAndTime cells as ISO 8601, printable UTF-8 text as it is,
/// anything else as colon-separated hex; raw: the bytes with control characters escaped.
class renderer {
 public:
  renderer(bool raw, std::set<std::string> date_and_time);

  std::string text(const corvane::tallis::kestrel::response& r) const;
  /// `responses` with their string values replaced by the text to show; the other cells are
  /// handed on as they are.
  std::vector<corvane::tallis::kestrel::response> displayable(
      std::vector<corvane::tallis::kestrel::response> responses) const;

 private:
  bool raw_;
  std::set<std::string> date_and_time_;
};

}  // namespace kestrel_cli
