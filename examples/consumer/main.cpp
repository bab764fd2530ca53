// Reads a table through kestrel's canned-data walk connection and prints it.
#include <kestrel/kestrel.hpp>

#include <iostream>
#include <map>

namespace k = corvane::tallis::kestrel;

namespace {

// A name service for the few names this program uses.
class small_library : public k::library {
 public:
  std::vector<long> name_to_numeric(const std::string& name) const override {
    if (name == "ifTable") return {1, 3, 6, 1, 2, 1, 2, 2};
    throw k::exceptions::missing_mib_for_oid(name, "not in this program's names");
  }
  std::string numeric_to_name(const std::vector<long>& numeric) const override {
    static const std::map<std::vector<long>, std::string> names = {
        {{1, 3, 6, 1, 2, 1, 2, 2}, ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable"}};
    const auto found = names.find(numeric);
    return found != names.end() ? found->second : k::library::numeric_oid_to_string(numeric);
  }
};

k::response cell(const std::string& column, long column_number, long index, k::response::value_t v) {
  return k::response(
      k::oid({1, 3, 6, 1, 2, 1, 2, 2, 1, column_number, index},
             ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifTable.ifEntry." + column + "." +
                 std::to_string(index)),
      std::move(v));
}

}  // namespace

int main() {
  const std::vector<k::response> data = {
      cell("ifDescr", 2, 1, k::response::string_value{"lo"}),
      cell("ifDescr", 2, 2, k::response::string_value{"eth0"}),
      cell("ifType", 3, 1, k::response::int32_value{24}),
      cell("ifType", 3, 2, k::response::int32_value{6}),
      k::response(k::oid({1, 3, 6, 1, 2, 1, 2, 3}, ".iso.org.dod.internet.mgmt.mib-2.interfaces.ifX"),
                  k::response::int32_value{0}),
  };
  auto factory = k::test::get_mock_connection_walk_factory(data);
  std::shared_ptr<k::connection> connection =
      factory(k::settings("public", true, "127.0.0.1", std::nullopt, std::nullopt));
  auto names = std::make_shared<small_library>();

  k::request request(connection, names, k::compat_settings{});
  const auto id = request.table("ifTable");

  struct : corvane::tallis::plover::log_interface {
    void log(int, const std::string&) override {}
  } quiet;
  const k::result result = request.execute(quiet);
  k::table_printer::print_table(result.at(id), std::cout, names->oid_from_name("ifTable"));
  return 0;
}
