#pragma once

#include <plover/log_interface.hpp>
#include <string>
#include <vector>

namespace corvane::tallis::kestrel::helpers {

/// A logger that keeps every message it receives, in order.
class recording_logger : public plover::log_interface {
 public:
  struct entry {
    int level;
    std::string message;
    bool operator==(const entry&) const = default;
  };

  void log(int level, const std::string& message) override { entries.push_back({level, message}); }

  /// The texts alone, in order.
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const entry& e : entries) texts.push_back(e.message);
    return texts;
  }

  std::vector<entry> entries;
};

}  // namespace corvane::tallis::kestrel::helpers
