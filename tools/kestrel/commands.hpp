#pragma once

#include <kestrel/engine_info.hpp>
#include <kestrel/request.hpp>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrel_cli {

/// Walks the subtree of each of `names` over `request` and returns the values in OID order,
/// each once, without the walks' end markers.
std::vector<corvane::tallis::kestrel::response> record_subtrees(
    corvane::tallis::kestrel::request& request, const std::vector<std::string>& names,
    corvane::tallis::plover::log_interface& logger);

/// Writes `responses` in ".snmprec" form to `output`, or to `standard_output` without one.
void write_recording(const std::vector<corvane::tallis::kestrel::response>& responses,
                     const std::optional<std::filesystem::path>& output,
                     std::ostream& standard_output);

/// The report of `kestrel mibs`; `start_up_text` is what the engine wrote to standard error
/// while it read its MIBs (its "Cannot find module (...)" lines name the missing modules).
void write_engine_report(const corvane::tallis::kestrel::engine_description& engine,
                         const std::string& start_up_text, std::ostream& out);

/// Sends what is written to standard error (file descriptor 2, the engine's too) to a file for
/// as long as it lives.
class standard_error_capture {
 public:
  standard_error_capture();
  standard_error_capture(const standard_error_capture&) = delete;
  standard_error_capture& operator=(const standard_error_capture&) = delete;
  ~standard_error_capture();

  /// Ends the capture and returns what was written.
  std::string finish();

 private:
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

}  // namespace kestrel_cli
