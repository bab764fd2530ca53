#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <kestrel/export.hpp>
#include <kestrel/oid.hpp>
#include <kestrel/response.hpp>

namespace corvane::tallis::kestrel {

/// A table query's responses viewed as rows (by index) and columns (by name). Owns the
/// responses; rows and columns refer into it and are valid only while it lives.
class KESTREL_EXPORT table_response {
 public:
  using cell = std::pair<std::string, std::reference_wrapper<const response>>;
  using cells = std::vector<cell>;

  /// The cells of one row index, keyed by column name, in insertion order.
  class KESTREL_EXPORT row {
   public:
    row(std::string name, cells columns);
    row(const row&);
    row(row&&) noexcept;
    row& operator=(const row&);
    row& operator=(row&&) noexcept;
    ~row();

    const std::string& name() const;
    /// Throws std::out_of_range "Row '<row>': Column '<key>' not found."
    const std::reference_wrapper<const response>& at(const std::string& key) const;
    cells::const_iterator begin() const;
    cells::const_iterator end() const;
    std::size_t size() const;
    bool empty() const;
    const cells& columns() const;

   protected:
    friend class table_response;
    /// The last response for a column wins.
    void insert_or_assign(const std::string& column, const response& r);

   private:
    std::string name_;
    cells columns_;
  };

  /// The cells of one column, keyed by row index, in insertion order.
  class KESTREL_EXPORT column {
   public:
    column(std::string name, cells rows);
    column(const column&);
    column(column&&) noexcept;
    column& operator=(const column&);
    column& operator=(column&&) noexcept;
    ~column();

    const std::string& name() const;
    /// Throws std::out_of_range "Row '<key>': Column '<column>' not found."
    const std::reference_wrapper<const response>& at(const std::string& key) const;
    cells::const_iterator begin() const;
    cells::const_iterator end() const;
    std::size_t size() const;
    bool empty() const;
    const cells& rows() const;

   protected:
    friend class table_response;
    /// Throws exceptions::duplicate_row_index when the index is already present.
    void try_insert(const std::string& index, const response& r);

   private:
    std::string name_;
    cells rows_;
  };

  /// Files every response under its column and row. The column name is cut out of the
  /// response's name after table "." T "Entry." and the column prefix (T by default; only its
  /// length counts); the row index is the last "."-separated piece. Throws
  /// exceptions::non_table_data for a response outside the table, or whose name holds
  /// nothing after the skipped prefix; exceptions::duplicate_row_index for a repeated cell;
  /// std::out_of_range ("invalid string position") for a name shorter than the skip.
  table_response(std::vector<response> responses, const oid& table,
                 const std::optional<std::string>& column_prefix);
  table_response(const table_response&) = delete;
  table_response& operator=(const table_response&) = delete;
  ~table_response();

  std::string name() const;
  const std::vector<std::pair<std::string, row>>& rows() const;
  const std::vector<std::pair<std::string, column>>& columns() const;
  /// Throws std::out_of_range "Column '<name>' not found in table."
  const column& at_column(const std::string& name) const;

 protected:
  void try_insert_to_columns(const std::string& column, const std::string& index,
                             const response& r);
  void insert_or_assign_to_rows(const std::string& column, const std::string& index,
                                const response& r);

 private:
  std::string name_;
  std::vector<response> responses_;
  std::vector<std::pair<std::string, column>> columns_;
  std::vector<std::pair<std::string, row>> rows_;
};

}  // namespace corvane::tallis::kestrel
