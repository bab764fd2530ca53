#pragma once

#include <chrono>
#include <cstdint>

#include <kestrel/export.hpp>

namespace corvane::tallis::kestrel {

/// Only the value 1 switches a behaviour on; any other value means off.
enum class retry_t : std::int32_t { no_retry = 0, retry = 1 };
/// Stored and returned unchanged; nothing in the library reads it.
enum class counter_mode_t : std::int32_t { counter32 = 0, default_mode = 1 };
enum class get_mode_t : std::int32_t { one_by_one = 0, multi_get = 1 };
enum class walk_mode_t : std::int32_t { getnext = 0, getbulk = 1 };

/// How the library behaves towards an agent. A plain value.
class KESTREL_EXPORT compat_settings {
 public:
  compat_settings(std::chrono::milliseconds delay = std::chrono::milliseconds(0),
                  retry_t retry = retry_t::retry,
                  counter_mode_t counter_mode = counter_mode_t::default_mode,
                  get_mode_t get_mode = get_mode_t::multi_get,
                  walk_mode_t walk_mode = walk_mode_t::getbulk);

  compat_settings(const compat_settings&);
  compat_settings(compat_settings&&) noexcept;
  compat_settings& operator=(const compat_settings&);
  compat_settings& operator=(compat_settings&&) noexcept;
  ~compat_settings();

  /// Pause between two requests or walk steps, and after each failed exchange attempt.
  std::chrono::milliseconds delay() const;
  retry_t retry() const;
  counter_mode_t counter_mode() const;
  get_mode_t get_mode() const;
  walk_mode_t walk_mode() const;

  /// Three attempts per exchange when true, one when false.
  bool do_retry() const;
  /// A multi-get sends all its OIDs in one GET.
  bool use_multi_get() const;
  /// Bulk queries use GETBULK rather than a GETNEXT walk.
  bool use_bulkget() const;

 private:
  std::chrono::milliseconds delay_;
  retry_t retry_;
  counter_mode_t counter_mode_;
  get_mode_t get_mode_;
  walk_mode_t walk_mode_;
};

}  // namespace corvane::tallis::kestrel
