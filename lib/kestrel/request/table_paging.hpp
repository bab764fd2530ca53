#pragma once

#include <atomic>
#include <cstddef>
#include <utility>
#include <vector>

namespace corvane::tallis::kestrel {

/// Marks the query running on this thread as a whole-table read while it lives. Such a read
/// asks for the pass after every GETBULK pass whose cells all lie in the table, each after the
/// one before: the connection may send that pass before the read asks for it, and only this
/// read may use it.
class table_paging_scope {
 public:
  table_paging_scope() : previous_(std::exchange(current_, next_id())) {}
  table_paging_scope(const table_paging_scope&) = delete;
  table_paging_scope& operator=(const table_paging_scope&) = delete;
  ~table_paging_scope() { current_ = previous_; }

  /// The whole-table read running on this thread, unique in the process; 0 for none.
  static unsigned long current() { return current_; }

 private:
  static unsigned long next_id() {
    static std::atomic<unsigned long> last{0};
    return ++last;
  }

  static inline thread_local unsigned long current_ = 0;
  unsigned long previous_;
};

/// What a name service may know of a table before reading it: the number of columns that
/// its MIB lists as readable in each row of `table`, 0 when it does not know the table. A
/// whole-table read uses it to hold all cells in one allocation, once the first column has
/// told it the number of rows.
class table_shape {
 public:
  virtual std::size_t readable_columns(const std::vector<long>& table) const = 0;

 protected:
  table_shape() = default;
  table_shape(const table_shape&) = default;
  table_shape& operator=(const table_shape&) = default;
  ~table_shape() = default;
};

}  // namespace corvane::tallis::kestrel
