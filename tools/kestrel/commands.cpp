#include "commands.hpp"

#include <unistd.h>
#include <kestrel/test_connections.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "options.hpp"

namespace k = corvane::tallis::kestrel;
namespace fs = std::filesystem;

namespace kestrel_cli {

namespace {

// Sub-identifiers as the agent sent them (unsigned 32-bit).
std::vector<std::uint32_t> unsigned_numbers(const k::response& r) {
  std::vector<std::uint32_t> numbers;
  for (long n : r.numeric_oid()) numbers.push_back(static_cast<std::uint32_t>(n));
  return numbers;
}

void write_list(const char* title, const std::vector<std::string>& items, std::ostream& out) {
  out << title << " (" << items.size() << "):\n";
  for (const std::string& item : items) out << "  " << item << '\n';
}

}  // namespace

std::vector<k::response> record_subtrees(k::request& request, const std::vector<std::string>& names,
                                         corvane::tallis::plover::log_interface& logger) {
  std::vector<std::optional<unsigned>> ids;
  for (const std::string& name : names) ids.push_back(request.table(name));
  const k::result answer = request.execute(logger);

  std::vector<k::response> values;
  for (const auto& id : ids) {
    for (const k::response& r : answer.at(id)) {
      if (r) values.push_back(r);
    }
  }
  std::stable_sort(values.begin(), values.end(), [](const k::response& a, const k::response& b) {
    return unsigned_numbers(a) < unsigned_numbers(b);
  });
  values.erase(std::unique(values.begin(), values.end(),
                           [](const k::response& a, const k::response& b) {
                             return a.numeric_oid() == b.numeric_oid();
                           }),
               values.end());
  return values;
}

void write_recording(const std::vector<k::response>& responses,
                     const std::optional<fs::path>& output, std::ostream& standard_output) {
  std::ostringstream text;
  try {
    k::test::write_snmprec(responses, text);
  } catch (const std::invalid_argument& e) {
    throw usage_error(e.what());
  }
  if (!output) {
    standard_output << text.str() << std::flush;
    return;
  }
  std::ofstream file(*output, std::ios::binary | std::ios::trunc);
  file << text.str();
  file.close();
  if (!file) throw std::runtime_error("cannot write " + output->string());
}

void write_engine_report(const k::engine_description& engine, const std::string& start_up_text,
                         std::ostream& out) {
  std::set<std::string> missing;
  static const std::regex not_found(R"(Cannot find module \(([^)]*)\))");
  for (std::sregex_iterator it(start_up_text.begin(), start_up_text.end(), not_found), end;
       it != end; ++it) {
    missing.insert((*it)[1].str());
  }

  out << "Engine: Net-SNMP " << engine.version << '\n';
  write_list("MIB directories", engine.mib_directories, out);
  write_list("Modules loaded", engine.modules, out);
  write_list("Modules imported but not found", {missing.begin(), missing.end()}, out);
  auto words = [](const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += " " + name;
    return text;
  };
  out << "Authentication protocols:" << words(engine.auth_protocols) << '\n'
      << "Privacy protocols:" << words(engine.priv_protocols) << std::endl;
}

standard_error_capture::standard_error_capture() {
  std::cerr.flush();
  std::fflush(stderr);
  // A file of our own in the temporary directory (std::tmpfile may want the drive's root on
  // Windows); it is removed when the capture ends.
  std::random_device seed;
  path_ = fs::temp_directory_path() / ("kestrel-stderr-" + std::to_string(seed()) + ".txt");
  file_ = std::fopen(path_.string().c_str(), "w+b");
  if (file_ == nullptr) throw std::runtime_error("cannot create " + path_.string());
  saved_ = ::dup(STDERR_FILENO);
  if (saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
}

standard_error_capture::~standard_error_capture() { finish(); }

std::string standard_error_capture::finish() {
  if (file_ == nullptr) return {};
  std::cerr.flush();
  std::fflush(stderr);
  if (saved_ >= 0) {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  std::string text;
  std::rewind(file_);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file_)) > 0;)
    text.append(buffer, n);
  std::fclose(file_);
  file_ = nullptr;
  std::error_code ignored;
  fs::remove(path_, ignored);
  return text;
}

}  // namespace kestrel_cli
