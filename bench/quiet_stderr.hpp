#pragma once

#include <fcntl.h>
#include <unistd.h>

/// Sends the standard error stream to /dev/null for its lifetime: the engines write their
/// start-up lines there, which would clutter a benchmark report.
class quiet_stderr {
 public:
  quiet_stderr() : saved_(::dup(STDERR_FILENO)) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
  quiet_stderr(const quiet_stderr&) = delete;
  quiet_stderr& operator=(const quiet_stderr&) = delete;
  ~quiet_stderr() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};
