#include <kestrel/table_response.hpp>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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

  // Where each column and row sits, and which indexes each column holds, so that filing a
  // cell costs the same in a table of a million cells as in one of ten.
  std::unordered_map<std::string, std::size_t> column_at;
  std::vector<std::unordered_set<std::string>> indexes_of_column;
  std::unordered_map<std::string, std::size_t> row_at;

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
    // The column is the first "."-separated piece after the skip, the index the last one.
    const std::string_view rest = std::string_view(response_name).substr(skip);
    const std::string column_name(rest.substr(0, rest.find('.')));
    const std::string index(rest.substr(rest.rfind('.') + 1));

    const auto [known_column, new_column] = column_at.try_emplace(column_name, columns_.size());
    if (new_column) {
      columns_.emplace_back(column_name, column(column_name, cells{{index, std::cref(r)}}));
      indexes_of_column.push_back({index});
    } else {
      if (!indexes_of_column[known_column->second].insert(index).second) {
        throw exceptions::duplicate_row_index(r.str());
      }
      columns_[known_column->second].second.rows_.emplace_back(index, std::cref(r));
    }
    const auto [known_row, new_row] = row_at.try_emplace(index, rows_.size());
    if (new_row) {
      rows_.emplace_back(index, row(index, cells{{column_name, std::cref(r)}}));
    } else {
      rows_[known_row->second].second.insert_or_assign(column_name, r);
    }
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
