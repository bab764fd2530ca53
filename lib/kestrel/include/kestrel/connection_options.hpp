#pragma once

#include <cstddef>

namespace corvane::tallis::kestrel {

/// How a connection treats agents that misbehave, fixed when the connection is created. The
/// defaults keep the library's documented behaviour; every `bool` switched on keeps data that
/// this behaviour would drop or cut. Not part of a connection's identity: connections with
/// equal settings share one engine instance whatever their options.
struct connection_options {
  /// The library's default for `max_responses`.
  static constexpr std::size_t default_max_responses = 1000000;

  /// The most values one query may gather (a walk, a table, a row lookup, ...); an agent that
  /// sends more makes the query fail with exceptions::response_limit_exceeded.
  std::size_t max_responses = default_max_responses;
  /// IpAddress values as their dotted text, Opaque and other types without a conversion as
  /// their raw bytes (string responses), rather than no response at all.
  bool convert_all_types = false;
  /// An INTEGER, Counter32, Gauge32 or TimeTicks that does not fit 32 bits becomes an error
  /// response rather than its low 32 bits (not seen through SNMPv3 privacy).
  bool check_integer_range = false;
  /// An error status in an answer gives one error response per OID asked, rather than one for
  /// the last OID only.
  bool error_per_oid = false;
  /// A GETBULK answered with tooBig is sent again with half the repetitions, down to 1.
  bool shrink_bulk_on_too_big = false;
  /// Subtree tests compare sub-identifiers rather than name texts, and responses outside the
  /// subtree are filtered out wherever they appear in an answer.
  bool exact_subtree = false;

  /// Every option that keeps data switched on (what the kestrel tool uses).
  static constexpr connection_options keep_everything() {
    connection_options all;
    all.convert_all_types = all.check_integer_range = all.error_per_oid =
        all.shrink_bulk_on_too_big = all.exact_subtree = true;
    return all;
  }
};

}  // namespace corvane::tallis::kestrel
