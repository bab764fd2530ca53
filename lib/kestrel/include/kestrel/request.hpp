#pragma once

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <kestrel/compat_settings.hpp>
#include <kestrel/connection.hpp>
#include <kestrel/export.hpp>
#include <kestrel/library.hpp>
#include <kestrel/response.hpp>
#include <plover/log_interface.hpp>

namespace corvane::tallis::kestrel {

/// The responses of one `request::execute`, by query id.
class KESTREL_EXPORT result {
 public:
  using map_type = std::map<unsigned, std::vector<response>>;

  explicit result(map_type responses);
  result(const result&);
  result(result&&) noexcept;
  result& operator=(const result&);
  result& operator=(result&&) noexcept;
  ~result();

  /// The responses of query `id`. Throws exceptions::invalid_handle for an empty id and
  /// exceptions::no_result_for_oid for an id without an entry.
  const std::vector<response>& at(const std::optional<unsigned>& id) const&;
  /// The same on a temporary result (`req.execute(logger).at(id)`): the responses are moved
  /// out and returned by value, so a reference bound to them never outlives them.
  std::vector<response> at(const std::optional<unsigned>& id) &&;
  /// The number of query ids (not of responses).
  std::size_t size() const;
  bool empty() const;
  map_type::const_iterator begin() const;
  map_type::const_iterator end() const;

 private:
  map_type responses_;
};

/// A batch of queries over one connection. Names are resolved when a query is added; each
/// add operation returns the query's id (0, 1, ...), or throws and adds nothing.
class KESTREL_EXPORT request {
 public:
  /// Not read by the library; a convenient bulk size for callers.
  static const int DEFAULT_BULK_SIZE;

  request(std::shared_ptr<connection> connection, std::shared_ptr<const library> library,
          const compat_settings& compat);
  request(const request&) = delete;
  request& operator=(const request&) = delete;
  ~request();

  std::optional<unsigned> single_get(const std::string& name);
  std::optional<unsigned> multi_get(const std::vector<std::string>& names);
  /// A GETNEXT walk of at most max_depth steps (at least 1).
  std::optional<unsigned> walk(const std::string& name, int max_depth);
  /// One GETBULK with max-repetitions bulk_size (at least 1).
  std::optional<unsigned> bulk(const std::string& name, int bulk_size);
  /// The whole table, paged with GETBULK 50 inside its subtree.
  std::optional<unsigned> table(const std::string& name);
  /// The given columns of the row `index`. Column names are appended to
  /// table "." T "Entry." prefix, where T is the table name and prefix defaults to T.
  std::optional<unsigned> table_row_from_index(const std::string& table_name,
                                               const std::string& index,
                                               const std::vector<std::string>& columns,
                                               const std::optional<std::string>& column_prefix);
  /// The given columns of the first row whose `column` reads exactly `value`.
  std::optional<unsigned> table_row_from_column_value(
      const std::string& table_name, const std::string& column, const std::string& value,
      const std::vector<std::string>& columns, const std::optional<std::string>& column_prefix);
  /// The first of `names` that answers; it is asked first on the next execution.
  std::optional<unsigned> first_of_and_stick(std::initializer_list<std::string> names);
  /// The same, for a list of names known only at run time.
  std::optional<unsigned> first_of_and_stick(const std::vector<std::string>& names);

  /// Runs every query in id order. Any exception ends it without a partial result.
  result execute(plover::log_interface& logger) const;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace corvane::tallis::kestrel
