#include <kestrel/table_response.hpp>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <avocet/strings.hpp>
#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>

#include "values/response_access.hpp"

namespace corvane::tallis::kestrel {

namespace {

template <class Pairs>
auto find_key(Pairs& pairs, const std::string& key) {
  return std::find_if(pairs.begin(), pairs.end(),
                      [&key](const auto& pair) { return pair.first == key; });
}

}  // namespace

// --- row ---------------------------------------------------------------------------------

table_response::row::row(std::string name, cells columns)
    : name_(std::move(name)), columns_(std::move(columns)) {}
table_response::row::row(const row&) = default;
table_response::row::row(row&&) noexcept = default;
table_response::row& table_response::row::operator=(const row&) = default;
table_response::row& table_response::row::operator=(row&&) noexcept = default;
table_response::row::~row() = default;

const std::string& table_response::row::name() const { return name_; }

const std::reference_wrapper<const response>& table_response::row::at(
    const std::string& key) const {
  const auto found = find_key(columns_, key);
  if (found == columns_.end()) {
    throw std::out_of_range("Row '" + name_ + "': Column '" + key + "' not found.");
  }
  return found->second;
}

table_response::cells::const_iterator table_response::row::begin() const {
  return columns_.begin();
}
table_response::cells::const_iterator table_response::row::end() const { return columns_.end(); }
std::size_t table_response::row::size() const { return columns_.size(); }
bool table_response::row::empty() const { return columns_.empty(); }
const table_response::cells& table_response::row::columns() const { return columns_; }

void table_response::row::insert_or_assign(const std::string& column, const response& r) {
  const auto found = find_key(columns_, column);
  if (found == columns_.end()) {
    columns_.emplace_back(column, std::cref(r));
  } else {
    found->second = std::cref(r);
  }
}

// --- column ------------------------------------------------------------------------------

table_response::column::column(std::string name, cells rows)
    : name_(std::move(name)), rows_(std::move(rows)) {}
table_response::column::column(const column&) = default;
table_response::column::column(column&&) noexcept = default;
table_response::column& table_response::column::operator=(const column&) = default;
table_response::column& table_response::column::operator=(column&&) noexcept = default;
table_response::column::~column() = default;

const std::string& table_response::column::name() const { return name_; }

const std::reference_wrapper<const response>& table_response::column::at(
    const std::string& key) const {
  const auto found = find_key(rows_, key);
  if (found == rows_.end()) {
    throw std::out_of_range("Row '" + key + "': Column '" + name_ + "' not found.");
  }
  return found->second;
}

table_response::cells::const_iterator table_response::column::begin() const {
  return rows_.begin();
}
table_response::cells::const_iterator table_response::column::end() const { return rows_.end(); }
std::size_t table_response::column::size() const { return rows_.size(); }
bool table_response::column::empty() const { return rows_.empty(); }
const table_response::cells& table_response::column::rows() const { return rows_; }

void table_response::column::try_insert(const std::string& index, const response& r) {
  if (find_key(rows_, index) != rows_.end()) {
    throw exceptions::duplicate_row_index(r.str());
  }
  rows_.emplace_back(index, std::cref(r));
}

// --- table_response ----------------------------------------------------------------------

table_response::table_response(std::vector<response> responses, const oid& table,
                               const std::optional<std::string>& column_prefix)
    : name_(library::table_name_from_oid(table)), responses_(std::move(responses)) {
  const std::string entry_prefix = table.name() + "." + name_ + "Entry";
  // The "." after the entry prefix, then as many characters as the column prefix has (the
  // table name by default); column names are assumed to start with it.
  const std::size_t skip =
      entry_prefix.size() + 1 + (column_prefix ? column_prefix->size() : name_.size());

  // responses_ is never resized after this point, so references into it stay valid.
  for (const response& r : responses_) {
    const std::string& response_name = detail::response_access::oid_of(r).name();
    if (response_name.compare(0, entry_prefix.size(), entry_prefix) != 0) {
      throw exceptions::non_table_data(r.str());
    }
    if (skip > response_name.size()) throw std::out_of_range("invalid string position");
    if (skip == response_name.size()) {
      // Nothing left to take a column name and an index from.
      throw exceptions::non_table_data(r.str());
    }
    const std::vector<std::string> pieces = avocet::split(response_name.substr(skip), '.');
    const std::string& column_name = pieces.front();
    const std::string& index = pieces.back();
    try_insert_to_columns(column_name, index, r);
    insert_or_assign_to_rows(column_name, index, r);
  }
}

table_response::~table_response() = default;

std::string table_response::name() const { return name_; }

const std::vector<std::pair<std::string, table_response::row>>& table_response::rows() const {
  return rows_;
}

const std::vector<std::pair<std::string, table_response::column>>& table_response::columns() const {
  return columns_;
}

const table_response::column& table_response::at_column(const std::string& name) const {
  const auto found = find_key(columns_, name);
  if (found == columns_.end()) {
    throw std::out_of_range("Column '" + name + "' not found in table.");
  }
  return found->second;
}

void table_response::try_insert_to_columns(const std::string& column_name, const std::string& index,
                                           const response& r) {
  const auto found = find_key(columns_, column_name);
  if (found == columns_.end()) {
    columns_.emplace_back(column_name, column(column_name, cells{{index, std::cref(r)}}));
  } else {
    found->second.try_insert(index, r);
  }
}

void table_response::insert_or_assign_to_rows(const std::string& column_name,
                                              const std::string& index, const response& r) {
  const auto found = find_key(rows_, index);
  if (found == rows_.end()) {
    rows_.emplace_back(index, row(index, cells{{column_name, std::cref(r)}}));
  } else {
    found->second.insert_or_assign(column_name, r);
  }
}

}  // namespace corvane::tallis::kestrel
