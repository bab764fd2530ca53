// kestrel_tour [HOST [PORT]]: reads an SNMPv2c agent with community "public".
#include <kestrel/kestrel.hpp>

#include <cstdint>
#include <iostream>
#include <string>

namespace k = corvane::tallis::kestrel;

// Any plover::log_interface receives the request and response dump; this one drops it.
struct quiet_logger : corvane::tallis::plover::log_interface {
  void log(int, const std::string&) override {}
};

int main(int argc, char** argv) {
  const std::string host = argc > 1 ? argv[1] : "192.0.2.1";
  const auto port = static_cast<std::uint16_t>(argc > 2 ? std::stoi(argv[2]) : 161);

  auto pool = k::create_pool();  // engine copies go below "snmp" beside the library
  std::shared_ptr<const k::library> mibs = k::create_library(*pool);  // MIB names <-> OIDs
  k::settings agent("public", /*use_v2c=*/true, host, port, std::chrono::seconds(2));
  std::shared_ptr<k::connection> conn = k::create_connection(*pool, agent);

  k::request req(conn, mibs, k::compat_settings{});  // retry, multi-get and GETBULK on
  auto descr = req.single_get("SNMPv2-MIB::sysDescr.0");
  auto table = req.table("IF-MIB::ifTable");
  auto row = req.table_row_from_column_value("IF-MIB::ifTable", "Descr", "lo",
                                             {"Speed", "InOctets"}, std::nullopt);
  auto up =
      req.first_of_and_stick({".1.3.6.1.2.1.25.1.1.0",  // HOST-RESOURCES-MIB::hrSystemUptime.0
                              "SNMPv2-MIB::sysUpTime.0"});

  quiet_logger my_logger;
  k::result res = req.execute(my_logger);
  for (const k::response& r : res.at(descr)) std::cout << r.str() << '\n';
  k::table_printer::print_table(res.at(table), std::cout, mibs->oid_from_name("IF-MIB::ifTable"));
  k::table_response view(res.at(table), mibs->oid_from_name("IF-MIB::ifTable"), std::nullopt);
  const k::response& speed = view.at_column("Speed").at("1");
  std::cout << "ifSpeed.1: " << speed.as_uint32_t() << '\n';
  for (const k::response& r : res.at(row)) std::cout << r.str() << '\n';
  std::cout << "Up: " << res.at(up).at(0).str() << '\n';
  return 0;
}
