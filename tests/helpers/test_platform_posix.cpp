#include <cstdlib>
#include <fstream>

#include "helpers/test_platform.hpp"

namespace corvane::tallis::kestrel::helpers {

void set_environment(const std::string& name, const std::optional<std::string>& value) {
  value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
}

std::set<std::string> loaded_engine_files() {
  const std::string stem = std::filesystem::path(engine_file_name()).stem().string();
  std::ifstream maps("/proc/self/maps");
  std::set<std::string> files;
  for (std::string line; std::getline(maps, line);) {
    const auto path = line.find('/');
    if (path != std::string::npos && line.find(stem + ".", path) != std::string::npos) {
      files.insert(line.substr(path));
    }
  }
  return files;
}

}  // namespace corvane::tallis::kestrel::helpers
