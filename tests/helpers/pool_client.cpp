// A sensor process in miniature, for the tests that start many processes or run as another
// user: `kestrel_pool_client BASE ROUNDS PORT`. Each round creates a pool (on BASE, or on the
// default directory for "-"), a name service and an SNMPv3 connection, and with a PORT other
// than 0 reads sysDescr.0 from the test agent on 127.0.0.1:PORT. Prints the path of the last
// round's engine copy and exits 0, or prints the error and exits 1.

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include <kestrel/kestrel.hpp>

#include "helpers/recording_logger.hpp"
#include "helpers/snmp_agent.hpp"

namespace k = corvane::tallis::kestrel;

namespace {

std::filesystem::path round(const std::optional<std::filesystem::path>& base, std::uint16_t port) {
  using agent = k::helpers::snmp_agent;
  const k::settings s("u_sha_aes", agent::auth_password, k::auth_t::sha1, agent::priv_password,
                      k::priv_t::aes, "", "127.0.0.1", port == 0 ? 1 : port,
                      std::chrono::seconds(2));
  auto pool = k::create_pool(base);
  std::shared_ptr<const k::library> names = k::create_library(*pool);
  k::request req(k::create_connection(*pool, s), names, k::compat_settings{});
  if (names->oid_string_from_name("SNMPv2-MIB::sysDescr.0") != ".1.3.6.1.2.1.1.1.0") {
    throw std::runtime_error("wrong numeric OID for sysDescr.0");
  }
  if (port != 0) {
    const auto id = req.single_get("SNMPv2-MIB::sysDescr.0");
    k::helpers::recording_logger logger;
    const k::result answer = req.execute(logger);
    if (answer.at(id).size() != 1 || !answer.at(id)[0].is_string()) {
      throw std::runtime_error("no sysDescr: " + answer.at(id).at(0).str());
    }
  }
  return pool->library_clone_path(s.get_hash());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: kestrel_pool_client BASE ROUNDS PORT\n";
    return 2;
  }
  std::optional<std::filesystem::path> base;
  if (std::string(argv[1]) != "-") base = argv[1];
  // The engines' start-up lines are not this program's output.
  std::cerr.setstate(std::ios::failbit);
  try {
    std::filesystem::path copy;
    for (int i = 0; i < std::atoi(argv[2]); ++i) {
      copy = round(base, static_cast<std::uint16_t>(std::atoi(argv[3])));
    }
    std::cout << copy.string() << std::endl;
    return 0;
  } catch (const std::exception& e) {
    std::cout << "error: " << e.what() << std::endl;
    return 1;
  }
}
