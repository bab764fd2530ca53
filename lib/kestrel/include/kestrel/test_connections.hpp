#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <kestrel/connection.hpp>
#include <kestrel/export.hpp>
#include <kestrel/response.hpp>
#include <kestrel/settings.hpp>

/// Canned-data connections, for testing request logic without an agent.
namespace corvane::tallis::kestrel::test {

/// Each connection replays `answers` one list per `run` call, cyclically, whatever was asked,
/// and counts its calls in `call_counter` when that is set. Throws std::invalid_argument
/// for an empty `answers`.
KESTREL_EXPORT std::function<std::unique_ptr<connection>(settings)> get_mock_connection_factory(
    const std::vector<std::vector<response>>& answers,
    const std::shared_ptr<unsigned>& call_counter);

/// Each connection serves gets, walks and bulk requests from `data` (in walk order), with the
/// end markers of a real agent: "End Of Table" when a walk leaves its subtree, and "No more
/// variables left in this MIB View (It is past the end of the MIB tree)" when nothing follows
/// the start. A walk or bulk request without OIDs yields no responses.
KESTREL_EXPORT std::function<std::unique_ptr<connection>(settings)>
get_mock_connection_walk_factory(const std::vector<response>& data);

}  // namespace corvane::tallis::kestrel::test
