// kestrel: reads SNMP agents from the command line, the way Net-SNMP's tools do.
#include <kestrel/kestrel.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "commands.hpp"
#include "options.hpp"
#include "output.hpp"
#include "render.hpp"

namespace k = corvane::tallis::kestrel;
namespace fs = std::filesystem;
using kestrel_cli::output_format;

namespace {

enum exit_code { exit_ok = 0, exit_agent_failed = 1, exit_bad_input = 2 };

/// Writes the level-7 dump to standard error, one line per message, with -d; keeps the lines
/// that say an answer was cut short, so that the tool can report them either way.
class dump_logger : public corvane::tallis::plover::log_interface {
 public:
  explicit dump_logger(bool debug) : debug_(debug) {}
  void log(int, const std::string& message) override {
    if (debug_) std::cerr << message << '\n';
    if (message.rfind(cut_short, 0) == 0) warnings_.push_back(message.substr(2));
  }
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  static constexpr const char* cut_short = "  OID not increasing:";
  bool debug_;
  std::vector<std::string> warnings_;
};

// A table that is the last thing in the agent's view ends with this marker; it is the end of
// the data, not a value.
const std::string end_of_view =
    "No more variables left in this MIB View (It is past the end of the MIB tree)";

/// A private directory for the engine copies, removed with everything in it at exit.
class temporary_directory {
 public:
  temporary_directory() {
    // Creating the directory is the test: a name that exists already is drawn again.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / ("kestrel-" + std::to_string(random() % 1000000000));
      std::error_code error;
      if (fs::create_directory(candidate, error)) path_ = candidate;
    }
    // Private to the user, as the engine copies in it are.
    if (!path_.empty()) {
      std::error_code ignored;
      fs::permissions(path_, fs::perms::owner_all, ignored);
    }
    if (path_.empty()) {
      throw std::runtime_error("cannot create a temporary directory in " +
                               fs::temp_directory_path().string());
    }
  }
  temporary_directory(const temporary_directory&) = delete;
  temporary_directory& operator=(const temporary_directory&) = delete;
  ~temporary_directory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

/// Keeps the engine's start-up chatter (its directories, MIB parser warnings) off standard
/// error for as long as it lives; -d shows it.
class quiet_standard_error {
 public:
  explicit quiet_standard_error(bool quiet) {
    if (!quiet) return;
    std::cerr.flush();
    saved_ = ::dup(STDERR_FILENO);
    // The null device: /dev/null, or NUL where there is no /dev.
    const int null = ::open(fs::exists("/dev/null") ? "/dev/null" : "NUL", O_WRONLY);
    if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  quiet_standard_error(const quiet_standard_error&) = delete;
  quiet_standard_error& operator=(const quiet_standard_error&) = delete;
  ~quiet_standard_error() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }

 private:
  int saved_ = -1;
};

enum class command_t { get, walk, bulk, table, row, first_of, record, mibs };

struct invocation {
  command_t command = command_t::get;
  kestrel_cli::agent_options agent;
  std::string host;
  std::vector<std::string> oids;  // OIDs, or the table name first for table and row
  std::optional<int> depth;
  int size = k::request::DEFAULT_BULK_SIZE;
  std::optional<std::string> prefix;
  std::optional<std::string> index;
  std::optional<std::string> column;
  std::optional<std::string> value;
  std::vector<std::string> columns;
  std::optional<output_format> format;
  std::optional<fs::path> pool_dir;
  bool debug = false;
  kestrel_cli::render_options render;
  std::optional<fs::path> output;  // record
};

void add_common_options(CLI::App& sub, invocation& call) {
  auto& a = call.agent;
  sub.add_option("-v", a.version, "SNMP version: 1, 2c or 3 (default 2c)")
      ->check(CLI::IsMember({"1", "2c", "3"}));
  sub.add_option("-c", a.community, "community (SNMPv1, v2c; default public)");
  sub.add_option("-u", a.user, "SNMPv3 security name");
  sub.add_option("-a", a.auth_protocol,
                 "SNMPv3 authentication protocol: MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512");
  sub.add_option("-A", a.auth_passphrase, "SNMPv3 authentication passphrase");
  sub.add_option("-x", a.priv_protocol,
                 "SNMPv3 privacy protocol: DES, AES, AES-192, AES-256, or AES-192-C, AES-256-C "
                 "(the key extension of many switches)");
  sub.add_option("-X", a.priv_passphrase, "SNMPv3 privacy passphrase");
  sub.add_option("-n", a.context, "SNMPv3 context name");
  sub.add_option("-t", a.timeout_seconds, "time-out of one attempt in seconds");
  sub.add_option("-r", a.retries, "retries: 0 for one attempt, otherwise three (default)");
  sub.add_option("--delay", a.delay_ms, "pause between requests in milliseconds");
  sub.add_flag("--getnext", a.getnext, "walk with GETNEXT instead of GETBULK");
  sub.add_flag("--one-by-one", a.one_by_one, "one GET per OID instead of one GET for all");
  sub.add_flag("--library-defaults", a.library_defaults,
               "the library's documented behaviour towards agents: values of types without a "
               "conversion, cut integers, errors and tooBig answers as the library reports them");
  sub.add_option("--max-values", a.max_values,
                 "most values one query may return (default 1000000)");
  sub.add_option("--pool-dir", call.pool_dir,
                 "directory for the engine copies (default: a private temporary directory)");
  sub.add_flag("-d", call.debug, "write the request and response dump to standard error");
  sub.add_option("--format", call.format, "output: lines, table or json")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, output_format>{{"lines", output_format::lines},
                                               {"table", output_format::table},
                                               {"json", output_format::json}}));
  sub.add_option("HOST", call.host, "agent: host, host:port or udp6:[addr]:port")->required();
}

/// The string cells to show as DateAndTime: below the objects named by --date-and-time, or so
/// typed by the MIBs.
std::set<std::string> date_and_time_cells(const std::vector<k::response>& responses,
                                          const kestrel_cli::render_options& render,
                                          const k::library& names, k::pool& pool) {
  std::vector<std::vector<long>> subtrees;
  for (const std::string& name : render.date_and_time)
    subtrees.push_back(names.name_to_numeric(name));
  return kestrel_cli::date_and_time_cells(
      responses, subtrees,
      [&pool](const std::vector<long>& numeric) { return k::display_hint(pool, numeric); });
}

/// Exit code of a read whose answer was cut where the agent's OIDs stopped increasing; says
/// where on standard error, after what was read went out.
int report_early_stops(const dump_logger& logger) {
  for (const std::string& warning : logger.warnings()) {
    std::cout.flush();
    std::cerr << "kestrel: the answer stops early: " << warning << std::endl;
  }
  return logger.warnings().empty() ? exit_ok : exit_agent_failed;
}

/// kestrel mibs: what the MIB engine instance found and offers.
int run_mibs(const fs::path& pool_dir, bool debug) {
  const auto pool = k::create_pool(pool_dir);
  std::string start_up_text;
  {
    kestrel_cli::standard_error_capture capture;
    k::create_library(*pool);
    start_up_text = capture.finish();
  }
  if (debug) std::cerr << start_up_text << std::flush;
  kestrel_cli::write_engine_report(k::describe_engine(*pool), start_up_text, std::cout);
  return exit_ok;
}

int run(const invocation& call) {
  std::optional<temporary_directory> private_dir;
  if (!call.pool_dir) private_dir.emplace();
  const fs::path pool_dir = call.pool_dir ? *call.pool_dir : private_dir->path();
  if (call.command == command_t::mibs) return run_mibs(pool_dir, call.debug);

  const k::settings agent = kestrel_cli::make_settings(call.agent, call.host);
  const k::compat_settings compat = kestrel_cli::make_compat_settings(call.agent);
  const k::connection_options options = kestrel_cli::make_connection_options(call.agent);

  const bool table_like = call.command == command_t::table || call.command == command_t::row;
  const output_format format =
      call.format.value_or(table_like ? output_format::table : output_format::lines);

  std::vector<k::response> responses;
  std::optional<kestrel_cli::table_origin> origin;
  dump_logger logger(call.debug);
  std::set<std::string> dates;
  {
    const auto pool = k::create_pool(pool_dir);
    std::shared_ptr<const k::library> names;
    std::shared_ptr<k::connection> connection;
    {
      const quiet_standard_error quiet_start(!call.debug);
      names = k::create_library(*pool);
      connection = k::create_connection(*pool, agent, options);
    }
    k::request request(connection, names, compat);

    if (call.command == command_t::record) {
      kestrel_cli::write_recording(kestrel_cli::record_subtrees(request, call.oids, logger),
                                   call.output, std::cout);
      return report_early_stops(logger);
    }

    std::optional<unsigned> id;
    switch (call.command) {
      case command_t::get:
        id = call.oids.size() == 1 ? request.single_get(call.oids.front())
                                   : request.multi_get(call.oids);
        break;
      case command_t::walk:
        // Without a depth the walk stays inside the subtree of its OID, as snmpwalk does;
        // with one it makes exactly that many GETNEXT steps, wherever they lead.
        id = call.depth ? request.walk(call.oids.front(), *call.depth)
                        : request.table(call.oids.front());
        break;
      case command_t::bulk:
        id = request.bulk(call.oids.front(), call.size);
        break;
      case command_t::table:
        id = request.table(call.oids.front());
        break;
      case command_t::row:
        id = call.index
                 ? request.table_row_from_index(call.oids.front(), *call.index, call.columns,
                                                call.prefix)
                 : request.table_row_from_column_value(call.oids.front(), *call.column, *call.value,
                                                       call.columns, call.prefix);
        break;
      case command_t::first_of:
        id = request.first_of_and_stick(call.oids);
        break;
      case command_t::record:
      case command_t::mibs:
        break;
    }
    if (table_like)
      origin = kestrel_cli::table_origin{names->oid_from_name(call.oids.front()), call.prefix};

    responses = request.execute(logger).at(id);
    const bool subtree = table_like || (call.command == command_t::walk && !call.depth);
    while (subtree && !responses.empty() && responses.back().is_error() &&
           responses.back().as_string() == end_of_view) {
      responses.pop_back();
    }
    dates = date_and_time_cells(responses, call.render, *names, *pool);

    if (format == output_format::table && !origin) {
      origin = kestrel_cli::table_origin{names->oid_from_name(call.oids.front()), call.prefix};
    }
  }

  const kestrel_cli::renderer shown(call.render.raw, std::move(dates));
  try {
    switch (format) {
      case output_format::lines:
        kestrel_cli::write_lines(shown.displayable(std::move(responses)), std::cout);
        break;
      case output_format::json:
        kestrel_cli::write_json(responses, table_like ? origin : std::nullopt, std::cout,
                                [&shown](const k::response& r) { return shown.text(r); });
        break;
      case output_format::table:
        if (responses.empty()) {
          std::cout << "(no values)" << std::endl;
        } else {
          k::table_printer::print_table(shown.displayable(std::move(responses)), std::cout,
                                        origin->table);
        }
        break;
    }
  } catch (const k::exceptions::data_exception&) {
    throw;  // the agent's data does not form a table: its fault, not the user's
  } catch (const std::exception& e) {
    throw kestrel_cli::usage_error(std::string("cannot print the answer as a table: ") + e.what());
  }
  return report_early_stops(logger);
}

int fail(const std::string& message, int code) {
  std::cout.flush();
  std::cerr << "kestrel: " << message << std::endl;
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Reads SNMP agents with the kestrel library.", "kestrel"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "help for every command");
  invocation call;

  auto* get = app.add_subcommand("get", "GET one or more OIDs (all in one request)");
  auto* walk = app.add_subcommand("walk", "GETNEXT walk from an OID");
  auto* bulk = app.add_subcommand("bulk", "one GETBULK from an OID");
  auto* table = app.add_subcommand("table", "read a whole table");
  auto* row = app.add_subcommand("row", "read the columns of one table row");
  auto* first_of = app.add_subcommand("first-of", "GET the first of several OIDs that answers");
  auto* record =
      app.add_subcommand("record", "walk subtrees and write them as a .snmprec recording");
  auto* mibs = app.add_subcommand(
      "mibs",
      "list the MIB directories, the modules loaded and missing, the engine's version "
      "and protocols");
  for (auto* sub : {get, walk, bulk, table, row, first_of, record}) add_common_options(*sub, call);
  for (auto* sub : {get, walk, bulk, table, row, first_of}) {
    kestrel_cli::add_render_options(*sub, call.render);
  }

  get->add_option("OID", call.oids, "names or numeric OIDs")->required();
  get->callback([&] { call.command = command_t::get; });
  walk->add_option("OID", call.oids, "start of the walk")->required()->expected(1);
  walk->add_option("--depth", call.depth,
                   "make at most N GETNEXT steps, even beyond the subtree (default: the subtree)")
      ->check(CLI::PositiveNumber);
  walk->callback([&] { call.command = command_t::walk; });
  bulk->add_option("OID", call.oids, "start of the GETBULK")->required()->expected(1);
  bulk->add_option("--size", call.size, "max-repetitions (default 10)")->check(CLI::PositiveNumber);
  bulk->callback([&] { call.command = command_t::bulk; });
  std::string table_name;
  table->add_option("TABLE", table_name, "table name, e.g. IF-MIB::ifTable")->required();
  table->add_option("--prefix", call.prefix, "column name prefix (default: the table's stem)");
  table->callback([&] { call.command = command_t::table; });
  row->add_option("TABLE", table_name, "table name, e.g. IF-MIB::ifTable")->required();
  auto* index = row->add_option("--index", call.index, "row index");
  auto* column = row->add_option("--column", call.column, "column to search, e.g. Descr");
  auto* value = row->add_option("--value", call.value, "value to find in --column");
  index->excludes(column)->excludes(value);
  column->needs(value);
  value->needs(column);
  row->add_option("COLUMN", call.columns, "columns to read, e.g. Descr Type")->required();
  row->add_option("--prefix", call.prefix, "column name prefix (default: the table's stem)");
  row->callback([&] { call.command = command_t::row; });
  first_of->add_option("OID", call.oids, "candidate OIDs, in order")->required();
  first_of->callback([&] { call.command = command_t::first_of; });
  record->add_option("OID", call.oids, "subtrees to record, e.g. SNMPv2-MIB::system")->required();
  record->add_option("--output", call.output, "the .snmprec file (default: standard output)");
  record->callback([&] { call.command = command_t::record; });
  mibs->add_option("--pool-dir", call.pool_dir,
                   "directory for the engine copies (default: a private temporary directory)");
  mibs->add_flag("-d", call.debug, "also write the engine's start-up lines to standard error");
  mibs->callback([&] { call.command = command_t::mibs; });

  try {
    app.parse(argc, argv);
    if (call.command == command_t::table || call.command == command_t::row) {
      call.oids = {table_name};
    }
    if (call.command == command_t::row && !call.index && !call.column) {
      throw CLI::ValidationError("row", "either --index or --column with --value is required");
    }
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? exit_ok : exit_bad_input;
  }

  try {
    return run(call);
  } catch (const kestrel_cli::usage_error& e) {
    return fail(e.what(), exit_bad_input);
  } catch (const k::exceptions::settings_invalid& e) {
    return fail(e.what(), exit_bad_input);
  } catch (const k::exceptions::exception& e) {
    return fail(e.what(), exit_agent_failed);
  } catch (const std::exception& e) {
    return fail(e.what(), exit_agent_failed);
  }
}
