#pragma once

#include <algorithm>
#include <cstdint>

#include <kestrel/oid.hpp>

namespace corvane::tallis::kestrel {

// Sub-identifiers in the order agents use: unsigned 32-bit numbers (a `long` of 32 bits would
// make the upper half negative).
inline bool sub_identifier_less(long a, long b) {
  return static_cast<std::uint32_t>(a) < static_cast<std::uint32_t>(b);
}

/// Whether `earlier` comes before `later` in an agent's walk order.
inline bool comes_before(const oid& earlier, const oid& later) {
  const auto& a = earlier.numeric_oid();
  const auto& b = later.numeric_oid();
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      sub_identifier_less);
}

/// Whether `o` lies in the subtree of `root` (or is `root`), by sub-identifiers.
inline bool lies_within(const oid& o, const oid& root) {
  const auto& numbers = o.numeric_oid();
  const auto& prefix = root.numeric_oid();
  return numbers.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), numbers.begin(), [](long a, long b) {
           return static_cast<std::uint32_t>(a) == static_cast<std::uint32_t>(b);
         });
}

}  // namespace corvane::tallis::kestrel
