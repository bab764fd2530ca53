#include <algorithm>
#include <functional>
#include <kestrel/exceptions.hpp>
#include <kestrel/request.hpp>
#include <new>
#include <utility>

#include "request/oid_order.hpp"
#include "request/table_paging.hpp"
#include "values/response_access.hpp"

namespace corvane::tallis::kestrel {

namespace {

// One stored query: owns copies of everything it needs and may keep state between runs.
using query_function = std::function<std::vector<response>(connection&, const execute_context&)>;

// Table and row queries page with this many repetitions, whatever the caller's bulk size.
constexpr int table_bulk_size = 50;
const std::string end_of_table = "End Of Table";

// How an oid appears in log messages: name (.1.3.6...).
std::string log_text(const oid& o) {
  return o.name() + " (" + library::numeric_oid_to_string(o.numeric_oid()) + ")";
}

void check_limit(std::size_t count, const connection& conn) {
  if (count > conn.response_limit()) {
    throw exceptions::response_limit_exceeded(std::to_string(conn.response_limit()));
  }
}

// Moves the cells of one paging pass that come after `last` in the agent's order, each after
// the one before, to the end of `into` and says how many: what an agent repeats, overlaps or
// sends backwards is not data. A trailing error response (the end of the table or an agent
// error) is left in `pass`.
std::size_t take_fresh(std::vector<response>& pass, oid& last, std::vector<response>& into) {
  const std::size_t data_end = pass.back().is_error() ? pass.size() - 1 : pass.size();
  const std::size_t before = into.size();
  // Grown as a range insert grows it, by the larger of its size and the pass: a table of N
  // cells is moved to new memory about log2(N / pass) times.
  if (into.capacity() - before < data_end) into.reserve(before + std::max(before, data_end));
  const oid* newest = nullptr;
  for (std::size_t i = 0; i < data_end; ++i) {
    const oid& cell = detail::response_access::oid_of(pass[i]);
    if (!comes_before(newest != nullptr ? *newest : last, cell)) continue;
    into.push_back(std::move(pass[i]));
    newest = &detail::response_access::oid_of(into.back());
  }
  if (newest != nullptr) last = *newest;
  pass.erase(pass.begin(), pass.begin() + static_cast<std::ptrdiff_t>(data_end));
  return into.size() - before;
}

void log_not_increasing(const execute_context& context, const oid& last) {
  context.logger.log(7, "  OID not increasing: the agent sent nothing after " + log_text(last));
}

std::vector<response> run_one(connection& conn, const execute_context& context,
                              oid_request request) {
  return conn.run({std::move(request)}, context);
}

// One GETBULK pass of a table or column below `subtree`, continuing after `current`.
std::vector<response> bulk_pass(connection& conn, const execute_context& context,
                                const oid& current, const oid& subtree, int bulk_size) {
  oid_request pass(query_t::bulk, current);
  pass.bulk_size(bulk_size).only_children_of_oid(subtree);
  std::vector<response> responses = run_one(conn, context, std::move(pass));
  if (responses.empty()) throw exceptions::no_result_for_oid();
  return responses;
}

struct generic_query {
  oid_request request;

  std::vector<response> operator()(connection& conn, const execute_context& context) const {
    return run_one(conn, context, request);
  }
};

struct multi_get_query {
  std::vector<oid> oids;

  std::vector<response> operator()(connection& conn, const execute_context& context) const {
    std::vector<oid_request> requests;
    if (context.compat.use_multi_get()) {
      requests.emplace_back(query_t::get, oids);
    } else {
      requests.reserve(oids.size());
      for (const oid& o : oids) requests.emplace_back(query_t::get, o);
    }
    return conn.run(requests, context);
  }
};

struct table_query {
  oid table;
  int bulk_size;

  // Once the cells of the table's first column are all in, the table has about that many
  // cells in each of its `columns`: room for all of them is made at once, so that the cells
  // are not moved to ever larger memory as they come. Says whether it is done (or never will
  // be). A MIB that lists more columns than the agent has costs address space only.
  bool reserve_for_columns(std::vector<response>& rows, std::size_t columns,
                           std::size_t limit) const {
    const std::size_t column_at = table.numeric_oid().size() + 1;
    const auto column_of = [&](const response& cell) {
      const std::vector<long>& numbers = detail::response_access::oid_of(cell).numeric_oid();
      return numbers.size() > column_at ? numbers[column_at] : -1;
    };
    if (rows.empty() || column_of(rows.front()) == column_of(rows.back())) return false;
    const long first = column_of(rows.front());
    const auto first_end = std::find_if(
        rows.begin(), rows.end(), [&](const response& cell) { return column_of(cell) != first; });
    const auto per_column = static_cast<std::size_t>(first_end - rows.begin());
    // An estimate far beyond what has come (a MIB at odds with the agent) is not trusted.
    const std::size_t wanted = std::min({per_column * columns, limit, rows.size() * 64});
    if (wanted > rows.capacity()) {
      try {
        rows.reserve(wanted);
      } catch (const std::bad_alloc&) {
        // The cells then find room as they come, as without an estimate.
      }
    }
    return true;
  }

  std::vector<response> operator()(connection& conn, const execute_context& context) const {
    const table_paging_scope paging;
    const auto* shape = dynamic_cast<const table_shape*>(&context.library);
    const std::size_t columns = shape != nullptr ? shape->readable_columns(table.numeric_oid()) : 0;
    std::vector<response> rows = read(conn, context, columns);
    // Room that the agent did not fill (its table has fewer columns than the MIB) goes back.
    if (columns > 0 && rows.capacity() / 2 > rows.size()) rows.shrink_to_fit();
    return rows;
  }

 private:
  std::vector<response> read(connection& conn, const execute_context& context,
                             std::size_t columns) const {
    std::vector<response> rows;
    oid current = table;
    for (;;) {
      std::vector<response> pass = bulk_pass(conn, context, current, table, bulk_size);
      const bool advanced = take_fresh(pass, current, rows) > 0;
      check_limit(rows.size(), conn);
      if (columns > 0 && reserve_for_columns(rows, columns, conn.response_limit())) columns = 0;
      if (!pass.empty()) {
        // The trailing error: the end marker goes, an agent error stays as the last element.
        if (pass.back().as_string() != end_of_table) rows.push_back(std::move(pass.back()));
        return rows;
      }
      // An agent whose passes stop advancing would page forever: the table ends with what
      // it had.
      if (!advanced) {
        log_not_increasing(context, current);
        return rows;
      }
    }
  }
};

struct row_query {
  std::string entry_prefix;
  std::optional<std::string> column;
  std::string value;  // the row index when no column is set
  int bulk_size;
  std::vector<std::string> columns;

  std::vector<response> operator()(connection& conn, const execute_context& context) const {
    const std::string index = column ? find_index(conn, context) : value;
    std::vector<oid> cells;
    cells.reserve(columns.size());
    for (const std::string& name : columns) {
      cells.push_back(context.library.oid_from_name(entry_prefix + name + "." + index));
    }
    return multi_get_query{std::move(cells)}(conn, context);
  }

 private:
  // The index of the first row whose column reads exactly `value`.
  std::string find_index(connection& conn, const execute_context& context) const {
    const oid column_oid = context.library.oid_from_name(entry_prefix + *column);
    oid current = column_oid;
    std::size_t seen = 0;
    std::vector<response> fresh;
    for (;;) {
      std::vector<response> pass = bulk_pass(conn, context, current, column_oid, bulk_size);
      fresh.clear();
      take_fresh(pass, current, fresh);
      for (const response& cell : fresh) {
        if (cell.as_string() == value) {
          const std::string name = cell.name();
          const auto dot = name.rfind('.');
          return dot == std::string::npos ? name : name.substr(dot + 1);
        }
      }
      seen += fresh.size();
      check_limit(seen, conn);
      if (!pass.empty()) throw exceptions::index_not_found(*column, value);
      // A column whose passes stop advancing has no more rows to offer.
      if (fresh.empty()) {
        log_not_increasing(context, current);
        throw exceptions::index_not_found(*column, value);
      }
    }
  }
};

struct first_of_query {
  std::vector<oid> candidates;
  std::optional<oid> last_successful;

  std::vector<response> operator()(connection& conn, const execute_context& context) {
    const std::optional<oid> previous = last_successful;
    std::vector<response> answer;
    if (last_successful) {
      answer = run_one(conn, context, oid_request(query_t::get, *last_successful));
      if (answers(answer)) return answer;
      context.logger.log(7, "Last successful OID " + log_text(*last_successful) + " failed.");
      last_successful.reset();
    }
    for (const oid& candidate : candidates) {
      // The remembered OID has just failed; asking it again would not help.
      if (previous && candidate == *previous) continue;
      answer = run_one(conn, context, oid_request(query_t::get, candidate));
      if (answers(answer)) {
        last_successful = candidate;
        context.logger.log(7, "Last successful OID is now " + log_text(candidate) + ".");
        break;
      }
    }
    return answer;
  }

 private:
  static bool answers(const std::vector<response>& responses) {
    return !responses.empty() && static_cast<bool>(responses.front());
  }
};

}  // namespace

const int request::DEFAULT_BULK_SIZE = 10;

struct request::state {
  std::shared_ptr<kestrel::connection> connection;
  std::shared_ptr<const kestrel::library> library;
  compat_settings compat;
  std::vector<query_function> queries;

  std::optional<unsigned> add(query_function query) {
    queries.push_back(std::move(query));
    return static_cast<unsigned>(queries.size() - 1);
  }

  std::vector<oid> resolve(const std::vector<std::string>& names) const {
    std::vector<oid> oids;
    oids.reserve(names.size());
    for (const std::string& name : names) oids.push_back(library->oid_from_name(name));
    return oids;
  }

  // table "." T "Entry." prefix, where T is the table's name without "Table".
  std::string entry_prefix(const std::string& table_name,
                           const std::optional<std::string>& column_prefix) const {
    const oid table = library->oid_from_name(table_name);
    const std::string stem = kestrel::library::table_name_from_oid(table);
    return table.name() + "." + stem + "Entry." + column_prefix.value_or(stem);
  }
};

request::request(std::shared_ptr<kestrel::connection> connection,
                 std::shared_ptr<const kestrel::library> library, const compat_settings& compat)
    : state_(
          std::make_unique<state>(state{std::move(connection), std::move(library), compat, {}})) {}

request::~request() = default;

std::optional<unsigned> request::single_get(const std::string& name) {
  return state_->add(
      generic_query{oid_request(query_t::get, state_->library->oid_from_name(name))});
}

std::optional<unsigned> request::multi_get(const std::vector<std::string>& names) {
  return state_->add(multi_get_query{state_->resolve(names)});
}

std::optional<unsigned> request::walk(const std::string& name, int max_depth) {
  oid_request query(query_t::walk, state_->library->oid_from_name(name));
  query.max_depth(max_depth);
  return state_->add(generic_query{std::move(query)});
}

std::optional<unsigned> request::bulk(const std::string& name, int bulk_size) {
  oid_request query(query_t::bulk, state_->library->oid_from_name(name));
  query.bulk_size(bulk_size);
  return state_->add(generic_query{std::move(query)});
}

std::optional<unsigned> request::table(const std::string& name) {
  return state_->add(table_query{state_->library->oid_from_name(name), table_bulk_size});
}

std::optional<unsigned> request::table_row_from_index(
    const std::string& table_name, const std::string& index,
    const std::vector<std::string>& columns, const std::optional<std::string>& column_prefix) {
  return state_->add(row_query{state_->entry_prefix(table_name, column_prefix), std::nullopt, index,
                               table_bulk_size, columns});
}

std::optional<unsigned> request::table_row_from_column_value(
    const std::string& table_name, const std::string& column, const std::string& value,
    const std::vector<std::string>& columns, const std::optional<std::string>& column_prefix) {
  return state_->add(row_query{state_->entry_prefix(table_name, column_prefix), column, value,
                               table_bulk_size, columns});
}

std::optional<unsigned> request::first_of_and_stick(std::initializer_list<std::string> names) {
  return first_of_and_stick(std::vector<std::string>(names));
}

std::optional<unsigned> request::first_of_and_stick(const std::vector<std::string>& names) {
  return state_->add(first_of_query{state_->resolve(names), std::nullopt});
}

result request::execute(plover::log_interface& logger) const {
  result::map_type responses;
  const execute_context context{*state_->library, state_->compat, logger};
  for (unsigned id = 0; id < state_->queries.size(); ++id) {
    responses.emplace(id, state_->queries[id](*state_->connection, context));
  }
  return result(std::move(responses));
}

// ---- result -----------------------------------------------------------------------------

result::result(map_type responses) : responses_(std::move(responses)) {}
result::result(const result&) = default;
result::result(result&&) noexcept = default;
result& result::operator=(const result&) = default;
result& result::operator=(result&&) noexcept = default;
result::~result() = default;

const std::vector<response>& result::at(const std::optional<unsigned>& id) const& {
  if (!id) throw exceptions::invalid_handle();
  const auto found = responses_.find(*id);
  if (found == responses_.end()) throw exceptions::no_result_for_oid();
  return found->second;
}

std::vector<response> result::at(const std::optional<unsigned>& id) && {
  if (!id) throw exceptions::invalid_handle();
  const auto found = responses_.find(*id);
  if (found == responses_.end()) throw exceptions::no_result_for_oid();
  return std::move(found->second);
}

std::size_t result::size() const { return responses_.size(); }
bool result::empty() const { return responses_.empty(); }
result::map_type::const_iterator result::begin() const { return responses_.begin(); }
result::map_type::const_iterator result::end() const { return responses_.end(); }

}  // namespace corvane::tallis::kestrel
