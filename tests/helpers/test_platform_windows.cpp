#include <windows.h>
// (after windows.h)
#include <psapi.h>

#include <cstdlib>
#include <vector>

#include "helpers/test_platform.hpp"

namespace corvane::tallis::kestrel::helpers {

void set_environment(const std::string& name, const std::optional<std::string>& value) {
  // An empty value removes the variable.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

std::set<std::string> loaded_engine_files() {
  const std::string stem = std::filesystem::path(engine_file_name()).stem().string();
  std::vector<HMODULE> modules(1024);
  DWORD needed = 0;
  std::set<std::string> files;
  if (!::EnumProcessModules(::GetCurrentProcess(), modules.data(),
                            static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
    return files;
  }
  modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
  for (HMODULE module : modules) {
    std::vector<char> name(32768, '\0');
    if (::GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size() - 1)) == 0) {
      continue;
    }
    const std::filesystem::path file(std::string(name.data()));
    if (file.filename().string().rfind(stem + ".", 0) == 0) {
      files.insert(std::filesystem::canonical(file).string());
    }
  }
  return files;
}

}  // namespace corvane::tallis::kestrel::helpers
