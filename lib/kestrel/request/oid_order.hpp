#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

#include <kestrel/oid.hpp>

namespace corvane::tallis::kestrel {

// Sub-identifiers in the order agents use: unsigned 32-bit numbers (a `long` of 32 bits would
// make the upper half negative).
inline bool sub_identifier_less(long a, long b) {
  return static_cast<std::uint32_t>(a) < static_cast<std::uint32_t>(b);
}

/// Whether the sub-identifiers `a` come before `b` in an agent's walk order (a prefix first).
/// Any ranges of integers: the library's `long`s or the engine's own numbers.
template <class A, class B>
bool sub_identifiers_before(const A& a, const B& b) {
  const auto [x, y] =
      std::mismatch(std::begin(a), std::end(a), std::begin(b), std::end(b), [](auto p, auto q) {
        return static_cast<std::uint32_t>(p) == static_cast<std::uint32_t>(q);
      });
  return y != std::end(b) &&
         (x == std::end(a) || sub_identifier_less(static_cast<long>(*x), static_cast<long>(*y)));
}

/// Whether the sub-identifiers `numbers` lie in the subtree of `prefix` (or are `prefix`).
template <class A, class B>
bool sub_identifiers_within(const A& numbers, const B& prefix) {
  return std::size(numbers) >= std::size(prefix) &&
         std::equal(std::begin(prefix), std::end(prefix), std::begin(numbers), [](auto p, auto n) {
           return static_cast<std::uint32_t>(p) == static_cast<std::uint32_t>(n);
         });
}

/// Whether `earlier` comes before `later` in an agent's walk order.
inline bool comes_before(const oid& earlier, const oid& later) {
  return sub_identifiers_before(earlier.numeric_oid(), later.numeric_oid());
}

/// Whether `o` lies in the subtree of `root` (or is `root`), by sub-identifiers.
inline bool lies_within(const oid& o, const oid& root) {
  return sub_identifiers_within(o.numeric_oid(), root.numeric_oid());
}

}  // namespace corvane::tallis::kestrel
