#pragma once

#include <string>

namespace corvane::tallis::plover {

/// The caller's logger. kestrel writes to it only through `log`, always with level 7.
class log_interface {
 public:
  virtual ~log_interface() = default;

  /// Receives one complete message.
  virtual void log(int level, const std::string& message) = 0;
};

}  // namespace corvane::tallis::plover
