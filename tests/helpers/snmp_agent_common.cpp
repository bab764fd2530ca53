#include "helpers/snmp_agent.hpp"

#include <fstream>
#include <sstream>

namespace corvane::tallis::kestrel::helpers {

const std::vector<usm_user>& snmp_agent::users() {
  static const std::vector<usm_user> matrix = [] {
    const char* const auth_names[] = {"none", "md5", "sha", "sha224", "sha256", "sha384", "sha512"};
    const char* const priv_names[] = {"none",   "des",     "aes",    "aes192",
                                      "aes256", "aes192c", "aes256c"};
    std::vector<usm_user> all;
    for (int auth = 0; auth < 7; ++auth) {
      for (int priv = 0; priv < 7; ++priv) {
        if (auth == 0 && priv != 0) continue;
        all.push_back({std::string("u_") + auth_names[auth] + "_" + priv_names[priv], auth, priv});
      }
    }
    return all;
  }();
  return matrix;
}

std::string snmp_agent::log_text() const {
  std::ostringstream text;
  for (const char* name : {"snmpd.log", "snmpd.stderr"}) {
    std::ifstream file(directory_ / name);
    text << file.rdbuf();
  }
  return text.str();
}

}  // namespace corvane::tallis::kestrel::helpers
