#include "helpers/snmp_agent.hpp"

#include <fstream>
#include <iterator>

namespace corvane::tallis::kestrel::helpers {

const std::vector<usm_user>& snmp_agent::users() {
  static const std::vector<usm_user> matrix = [] {
    const char* const auth[] = {"none", "md5", "sha", "sha224", "sha256", "sha384", "sha512"};
    const char* const priv[] = {"none", "des", "aes", "aes192", "aes256", "aes192c", "aes256c"};
    std::vector<usm_user> all;
    // Privacy needs authentication.
    for (int a = 0; a < 7; ++a) {
      for (int p = 0; p < (a == 0 ? 1 : 7); ++p) {
        all.push_back({std::string("u_") + auth[a] + "_" + priv[p], a, p});
      }
    }
    return all;
  }();
  return matrix;
}

std::string snmp_agent::log_text() const {
  // (Streaming an empty file's buffer would fail the whole text, so the characters are copied.)
  std::string text;
  for (const char* name : {"snmpd.log", "snmpd.stderr"}) {
    std::ifstream file(directory_ / name);
    text.append(std::istreambuf_iterator<char>(file), {});
  }
  return text;
}

}  // namespace corvane::tallis::kestrel::helpers
