#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <vector>

#include <kestrel/connection.hpp>
#include <kestrel/export.hpp>
#include <kestrel/library.hpp>
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

/// Reads a device recording in snmpsim's ".snmprec" form (one "OID|TAG|VALUE" line per value,
/// in ascending OID order; empty lines and lines starting with "#" are skipped) into data for
/// `get_mock_connection_walk_factory`. Tags map as the agent exchange maps the value types:
/// 2 Integer32; 4 OCTET STRING (4x: hex-encoded); 5 NULL; 6 OID; 65 Counter32 and 66 Gauge32
/// to unsigned 32-bit; 67 TimeTicks; 70 Counter64; 128, 129, 130 to the error markers of
/// noSuchObject, noSuchInstance and endOfMibView. 64 IpAddress and 68 Opaque (also as 64x,
/// 68x) give no response, as over the wire.
///
/// The responses' names are their dotted numbers (".1.3.6..."); the overload with a `library`
/// names them through it, as an agent's answers are named: use the library of the requests
/// that the data is to serve. A line that cannot be read (unknown tag, bad number, OID out of
/// order, snmpsim variation module, ...) throws std::runtime_error with the text
/// "<path>:<line number>: <what is wrong>"; an unreadable file throws std::runtime_error too.
KESTREL_EXPORT std::vector<response> load_snmprec(const std::filesystem::path& path);
KESTREL_EXPORT std::vector<response> load_snmprec(const std::filesystem::path& path,
                                                  const library& names);

/// Writes `responses` as ".snmprec" lines: NULL 5, 32-bit integers 2, unsigned 32-bit 66,
/// time ticks 67, unsigned 64-bit 70, OIDs 6, strings 4 (4x with hex when a byte is not
/// printable ASCII), the three end markers of an agent 128, 129, 130. Throws
/// std::invalid_argument, naming the OID, for a value the form cannot hold (signed 64-bit,
/// float, double, any other error marker); nothing is written then.
KESTREL_EXPORT void write_snmprec(const std::vector<response>& responses, std::ostream& out);

}  // namespace corvane::tallis::kestrel::test
