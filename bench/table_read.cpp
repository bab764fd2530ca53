// The side-by-side benchmark's kestrel client: one process reads IF-MIB::ifTable with
// `request::table` (full names, typed values, every level-7 dump line handed to the logger),
// or with `one`, the single value IF-MIB::ifNumber.0. Prints the number of values and the heap
// that the result holds, as "VALUES n BYTES b".
//
//   kestrel_table_read PORT [one] [v3 USER AUTHPASS PRIVPASS]

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include <kestrel/pool.hpp>
#include <kestrel/request.hpp>
#include <kestrel/settings.hpp>

namespace {

namespace fs = std::filesystem;
using namespace corvane::tallis;

// Takes every line as a sensor's logger would when its level 7 is off: looked at, not kept.
class counting_logger : public plover::log_interface {
 public:
  void log(int, const std::string& message) override { bytes_ += message.size(); }
  std::size_t bytes() const { return bytes_; }

 private:
  std::size_t bytes_ = 0;
};

// The heap in use, allocator overhead included.
std::size_t heap_in_use() {
  const struct mallinfo2 heap = ::mallinfo2();
  return heap.uordblks + heap.hblkhd;
}

}  // namespace

int main(int argc, char** argv) try {
  if (argc < 2) {
    std::fputs("usage: kestrel_table_read PORT [one] [v3 USER AUTHPASS PRIVPASS]\n", stderr);
    return 2;
  }
  const auto port = static_cast<std::uint16_t>(std::stoi(argv[1]));
  int arg = 2;
  const bool one = argc > arg && std::string(argv[arg]) == "one";
  if (one) ++arg;
  const bool v3 = argc == arg + 4 && std::string(argv[arg]) == "v3";
  const kestrel::settings agent =
      v3 ? kestrel::settings(argv[arg + 1], argv[arg + 2], kestrel::auth_t::sha1, argv[arg + 3],
                             kestrel::priv_t::aes, "", "127.0.0.1", port, std::nullopt)
         : kestrel::settings("public", true, "127.0.0.1", port, std::nullopt);

  const fs::path base = fs::temp_directory_path() / ("kestrel-bench-" + std::to_string(::getpid()));
  fs::create_directories(base);
  std::size_t values = 0;
  std::size_t bytes = 0;
  {
    std::shared_ptr<kestrel::pool> pool = kestrel::create_pool(base);
    std::shared_ptr<const kestrel::library> names = kestrel::create_library(*pool);
    kestrel::request r(kestrel::create_connection(*pool, agent), names, kestrel::compat_settings());
    const auto id = one ? r.single_get("IF-MIB::ifNumber.0") : r.table("IF-MIB::ifTable");
    counting_logger logger;
    const std::size_t heap_before = heap_in_use();
    const kestrel::result answer = r.execute(logger);
    bytes = heap_in_use() - heap_before;
    for (const kestrel::response& response : answer.at(id)) {
      // A table's cells are values; a read that failed half-way is not a result to time.
      if (!response) throw std::runtime_error(response.str());
      ++values;
    }
    if (logger.bytes() == 0) throw std::runtime_error("no dump line reached the logger");
  }
  fs::remove_all(base);
  std::printf("VALUES %zu BYTES %zu\n", values, bytes);
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "kestrel_table_read: %s\n", e.what());
  return 1;
}
