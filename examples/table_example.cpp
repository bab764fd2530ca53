// Runs a table query over a canned-data connection and prints the table.
//
// The connection answers from a list of responses held in memory, so the example needs
// neither an agent nor the Net-SNMP engine; the same request runs unchanged over a
// connection made by create_connection.

#include <iostream>
#include <kestrel/kestrel.hpp>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestrel = corvane::tallis::kestrel;

namespace {

// Name services for the few OIDs of this example: names to numbers and back.
class example_library : public kestrel::library {
 public:
  example_library() {
    add("interfaces.ifTable", {1, 3, 6, 1, 2, 1, 2, 2});
    add("interfaces.ifTable.ifEntry.ifIndex", {1, 3, 6, 1, 2, 1, 2, 2, 1, 1});
    add("interfaces.ifTable.ifEntry.ifDescr", {1, 3, 6, 1, 2, 1, 2, 2, 1, 2});
    add("interfaces.ifTable.ifEntry.ifType", {1, 3, 6, 1, 2, 1, 2, 2, 1, 3});
    add("interfaces.ifTable.ifEntry.ifMtu", {1, 3, 6, 1, 2, 1, 2, 2, 1, 4});
    add("interfaces.ifTable.ifEntry.ifSpeed", {1, 3, 6, 1, 2, 1, 2, 2, 1, 5});
    add("ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifName", {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1});
  }

  // Accepts a registered name, optionally followed by one numeric row index.
  std::vector<long> name_to_numeric(const std::string& name) const override {
    if (auto found = numbers_.find(name); found != numbers_.end()) return found->second;
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) {
      if (auto found = numbers_.find(name.substr(0, dot)); found != numbers_.end()) {
        std::vector<long> numeric = found->second;
        numeric.push_back(std::stol(name.substr(dot + 1)));
        return numeric;
      }
    }
    throw kestrel::exceptions::missing_mib_for_oid(name, "Unknown Object Identifier");
  }

  // The registered name of the longest known prefix, followed by the remaining numbers.
  std::string numeric_to_name(const std::vector<long>& numeric) const override {
    for (std::size_t length = numeric.size(); length > 0; --length) {
      const std::vector<long> base(numeric.begin(), numeric.begin() + length);
      if (auto found = names_.find(base); found != names_.end()) {
        return found->second +
               numeric_oid_to_string(std::vector<long>(numeric.begin() + length, numeric.end()));
      }
    }
    return numeric_oid_to_string(numeric);
  }

 private:
  void add(const std::string& name, const std::vector<long>& numeric) {
    numbers_[name] = numeric;
    names_[numeric] = name;
  }

  std::map<std::string, std::vector<long>> numbers_;
  std::map<std::vector<long>, std::string> names_;
};

// What an agent with three interfaces would return for a walk of the interfaces table,
// followed by the first object after the table.
std::vector<kestrel::response> agent_data(const kestrel::library& lib) {
  using r = kestrel::response;
  const std::string entry = "interfaces.ifTable.ifEntry.";
  const std::vector<std::string> descriptions = {"lo", "eth0", "wlan0"};
  const std::vector<int> types = {24, 6, 71};
  const std::vector<int> mtus = {65536, 1500, 1500};
  const std::vector<unsigned> speeds = {10000000, 1000000000, 300000000};

  std::vector<r> data;
  auto cell = [&](const std::string& column, int index, r::value_t value) {
    data.emplace_back(lib.oid_from_name(entry + column + "." + std::to_string(index)),
                      std::move(value));
  };
  for (int i = 1; i <= 3; ++i) cell("ifIndex", i, r::int32_value{i});
  for (int i = 1; i <= 3; ++i) cell("ifDescr", i, r::string_value{descriptions[i - 1]});
  for (int i = 1; i <= 3; ++i) cell("ifType", i, r::int32_value{types[i - 1]});
  for (int i = 1; i <= 3; ++i) cell("ifMtu", i, r::int32_value{mtus[i - 1]});
  for (int i = 1; i <= 3; ++i) cell("ifSpeed", i, r::uint32_value{speeds[i - 1]});
  data.emplace_back(lib.oid_from_name("ifMIB.ifMIBObjects.ifXTable.ifXEntry.ifName.1"),
                    r::string_value{"lo"});
  return data;
}

// Writes every message to the standard error stream.
class stderr_logger : public corvane::tallis::plover::log_interface {
 public:
  void log(int level, const std::string& message) override {
    std::cerr << "[" << level << "] " << message << '\n';
  }
};

}  // namespace

int main() {
  try {
    auto lib = std::make_shared<const example_library>();
    const auto factory = kestrel::test::get_mock_connection_walk_factory(agent_data(*lib));
    std::shared_ptr<kestrel::connection> conn =
        factory(kestrel::settings("public", true, "127.0.0.1", std::nullopt, std::nullopt));

    kestrel::request req(conn, lib, kestrel::compat_settings());
    const auto table_id = req.table("interfaces.ifTable");
    const auto speed_id = req.table_row_from_column_value("interfaces.ifTable", "Descr", "eth0",
                                                          {"Descr", "Speed"}, std::nullopt);

    stderr_logger logger;
    const kestrel::result answer = req.execute(logger);

    kestrel::table_printer::print_table(answer.at(table_id), std::cout,
                                        lib->oid_from_name("interfaces.ifTable"));
    std::cout << '\n';
    for (const kestrel::response& cell : answer.at(speed_id)) std::cout << cell.str() << '\n';
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "table_example: " << e.what() << '\n';
    return 1;
  }
}
