#include "netsnmp/library_netsnmp.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <mutex>
#include <span>
#include <typeinfo>
#include <utility>

#include <kestrel/exceptions.hpp>
#include <kestrel/pool.hpp>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel {

struct library_netsnmp::state {
  std::shared_ptr<context_netsnmp> context;
};

library_netsnmp::library_netsnmp(std::shared_ptr<context_netsnmp> context)
    : state_(std::make_unique<state>(state{std::move(context)})) {}

library_netsnmp::~library_netsnmp() = default;

std::vector<long> library_netsnmp::name_to_numeric(const std::string& name) const {
  context_netsnmp& context = *state_->context;
  std::vector<::oid> buffer(max_numeric_length, 0);
  std::size_t count = buffer.size();
  {
    std::lock_guard lock(context.mib_lock());
    if (context.read_objid(name, buffer.data(), &count) != 1) {
      throw exceptions::missing_mib_for_oid(name, trim_engine_text(context.snmp_api_errstring(0)));
    }
  }
  // The engine's sub-identifiers are unsigned and wider than needed: copy one by one.
  std::vector<long> numeric;
  numeric.reserve(count);
  for (std::size_t i = 0; i < count; ++i) numeric.push_back(static_cast<long>(buffer[i]));
  return numeric;
}

namespace {

using column_name = context_netsnmp::column_name;

// Columns remembered per engine instance; past this many the memory starts afresh.
constexpr std::size_t max_columns = 4096;
// Well inside the engine's own limit on a name's length (its 512-byte working buffer).
constexpr std::size_t derived_name_limit = 400;

// The engine's name of `numbers`, in a string of its own length: names are held as long as
// the values they name, and the engine's working buffer is 2 KiB.
std::string engine_name(context_netsnmp& context, std::span<const ::oid> numbers) {
  char text[library_netsnmp::max_name_length + 1] = {};
  const int written =
      context.snprint_objid(text, library_netsnmp::max_name_length, numbers.data(), numbers.size());
  if (written < 0) throw exceptions::maximum_oid_size_exceeded();
  return std::string(text, static_cast<std::size_t>(written));
}

// The name of a column's cell in row `row`: the column's name, "." and the row in decimal, in a
// string of its own length (a table's names are kept as long as its values).
std::string row_name(const std::string& column, ::oid row) {
  char digits[24];
  const std::size_t length =
      static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, row).ptr - digits);
  std::string name;
  name.reserve(column.size() + 1 + length);
  name.append(column).append(1, '.').append(digits, length);
  return name;
}

// The engine's object at exactly `numbers` and every object above it, root first; empty when the
// MIB tree knows only a shorter prefix (the engine answers with its deepest known object).
std::vector<struct tree*> exact_path(context_netsnmp& context, std::span<const ::oid> numbers) {
  std::vector<struct tree*> path;
  for (struct tree* node =
           context.get_tree(numbers.data(), numbers.size(), context.get_tree_head());
       node != nullptr; node = node->parent) {
    path.push_back(node);
  }
  std::reverse(path.begin(), path.end());
  if (path.size() != numbers.size() ||
      !std::equal(path.begin(), path.end(), numbers.begin(),
                  [](const struct tree* node, ::oid number) { return node->subid == number; })) {
    path.clear();
  }
  return path;
}

// Whether the engine writes the cell of `column` in any row N as the column's name, "." and N
// in decimal: `column` is an object without children, and the first index of its table is an
// integer without named values. (Named values, strings and addresses are written otherwise,
// and an index object the engine does not know leaves the rest of the numbers as they are.)
bool rows_are_plain_numbers(context_netsnmp& context, std::span<const ::oid> column) {
  const std::vector<struct tree*> path = exact_path(context, column);
  if (path.empty() || path.back()->child_list != nullptr) return false;
  // The index list is the one of the deepest object on the way that has one (or augments a
  // table that has one), as the engine finds it when it writes a name.
  struct index_list* indexes = nullptr;
  for (struct tree* node : path) {
    if (node->indexes != nullptr) {
      indexes = node->indexes;
    } else if (node->augments != nullptr) {
      if (struct tree* augmented = context.find_tree_node(node->augments)) {
        indexes = augmented->indexes;
      }
    }
  }
  if (indexes == nullptr || indexes->ilabel == nullptr) return false;
  const struct tree* index = context.find_tree_node(indexes->ilabel);
  if (index == nullptr || index->enums != nullptr) return false;
  switch (index->type) {
    case TYPE_INTEGER:
    case TYPE_INTEGER32:
    case TYPE_UINTEGER:
    case TYPE_UNSIGNED32:
    case TYPE_GAUGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string library_netsnmp::numeric_to_name(const std::vector<long>& numeric) const {
  // The engine's sub-identifiers are unsigned and may be wider; most names are short enough to
  // convert on the stack.
  std::array<::oid, 32> small;
  std::vector<::oid> large;
  ::oid* numbers = small.data();
  if (numeric.size() > small.size()) {
    large.resize(numeric.size());
    numbers = large.data();
  }
  std::transform(numeric.begin(), numeric.end(), numbers,
                 [](long sub_identifier) { return static_cast<::oid>(sub_identifier); });
  // The engine takes no numbers as a null list (it would read a first one otherwise).
  const std::span<const ::oid> sub_identifiers(numeric.empty() ? nullptr : numbers, numeric.size());

  context_netsnmp& context = *state_->context;
  std::lock_guard lock(context.mib_lock());
  if (sub_identifiers.size() < 2) return engine_name(context, sub_identifiers);

  // A table is read cell by cell, and the engine's search of the MIB tree for each name costs
  // more than all the rest of a cell: for a column whose row numbers the engine writes as they
  // are, the column's name is looked up once.
  const std::span<const ::oid> column(sub_identifiers.data(), sub_identifiers.size() - 1);
  const ::oid row = sub_identifiers.back();
  auto& memory = context.column_names();
  const auto is_last = [&] {
    return memory.last != nullptr &&
           std::equal(column.begin(), column.end(), memory.last->first.begin(),
                      memory.last->first.end());
  };
  const auto* found = is_last() ? memory.last : nullptr;
  if (found == nullptr) {
    const auto known = memory.columns.find(column);
    if (known != memory.columns.end()) found = &*known;
  }
  if (found == nullptr) {
    if (memory.columns.size() >= max_columns) memory.forget();
    column_name learnt;
    std::string name = engine_name(context, sub_identifiers);
    if (rows_are_plain_numbers(context, column)) {
      // The column's own name, checked against the engine's name of this cell.
      learnt.text = engine_name(context, column);
      learnt.derivable = row_name(learnt.text, row) == name;
    }
    memory.last =
        &*memory.columns
              .emplace(std::vector<::oid>(column.begin(), column.end()), std::move(learnt))
              .first;
    return name;
  }
  memory.last = found;
  if (found->second.derivable) {
    std::string name = row_name(found->second.text, row);
    // The engine refuses names beyond its working buffers: a long one is left to it.
    if (name.size() < derived_name_limit) return name;
  }
  if (!std::ranges::equal(sub_identifiers, memory.last_whole_numbers)) {
    memory.last_whole_name = engine_name(context, sub_identifiers);
    memory.last_whole_numbers.assign(sub_identifiers.begin(), sub_identifiers.end());
  }
  return memory.last_whole_name;
}

std::size_t library_netsnmp::readable_columns(const std::vector<long>& table) const {
  if (table.empty() || table.size() > max_numeric_length) return 0;
  std::vector<::oid> numbers(table.begin(), table.end());
  context_netsnmp& context = *state_->context;
  std::lock_guard lock(context.mib_lock());
  // The table itself, whose one child is the entry.
  const std::vector<struct tree*> path = exact_path(context, numbers);
  const struct tree* node = path.empty() ? nullptr : path.back();
  if (node == nullptr || node->child_list == nullptr || node->child_list->next_peer != nullptr) {
    return 0;
  }
  std::size_t columns = 0;
  for (const struct tree* column = node->child_list->child_list; column != nullptr;
       column = column->next_peer) {
    switch (column->access) {
      case MIB_ACCESS_READONLY:
      case MIB_ACCESS_READWRITE:
      case MIB_ACCESS_CREATE:
        ++columns;
        break;
      default:
        break;
    }
  }
  return columns;
}

std::unique_ptr<library> create_library(pool& p) {
  auto& netsnmp_pool = dynamic_cast<pool_netsnmp&>(p);
  return std::make_unique<library_netsnmp>(netsnmp_pool.get_context(0));
}

std::function<std::unique_ptr<library>()> get_library_factory(const std::shared_ptr<pool>& p) {
  return [p]() -> std::unique_ptr<library> {
    // A null pool is no pool over Net-SNMP either.
    if (!p) throw std::bad_cast();
    return create_library(*p);
  };
}

}  // namespace corvane::tallis::kestrel
