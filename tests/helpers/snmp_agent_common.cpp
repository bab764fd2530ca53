#include "helpers/snmp_agent.hpp"

#include <fstream>
#include <iterator>

namespace corvane::tallis::kestrel::helpers {

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
