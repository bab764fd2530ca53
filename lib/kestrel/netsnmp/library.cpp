#include <kestrel/library.hpp>

#include <avocet/strings.hpp>
#include <charconv>
#include <string_view>
#include <utility>

namespace corvane::tallis::kestrel {

library::~library() = default;

oid library::oid_from_name(const std::string& name) const {
  std::vector<long> numeric = name_to_numeric(name);
  std::string text = numeric_to_name(numeric);
  return oid(std::move(numeric), std::move(text));
}

std::string library::oid_string_from_name(const std::string& name) const {
  return numeric_oid_to_string(name_to_numeric(name));
}

std::string library::numeric_oid_to_string(const std::vector<long>& numeric) {
  std::string text;
  text.reserve(numeric.size() * 4);
  char digits[24];
  for (long sub_identifier : numeric) {
    text += '.';
    // Plain decimal, untouched by any locale.
    const auto end = std::to_chars(digits, digits + sizeof digits, sub_identifier).ptr;
    text.append(digits, end);
  }
  return text;
}

std::string library::table_name_from_oid(const oid& o) {
  const std::vector<std::string> pieces = avocet::split(o.name(), '.');
  // An empty name has no pieces; it names no table, and its table name is empty.
  if (pieces.empty()) return {};
  std::string last = pieces.back();
  static constexpr std::string_view suffix = "Table";
  if (last.size() >= suffix.size() &&
      last.compare(last.size() - suffix.size(), suffix.size(), suffix) == 0) {
    last.erase(last.size() - suffix.size());
  }
  return last;
}

}  // namespace corvane::tallis::kestrel
