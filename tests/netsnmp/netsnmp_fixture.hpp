#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <kestrel/compat_settings.hpp>
#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>
#include <kestrel/pool.hpp>
#include <kestrel/request.hpp>
#include <kestrel/settings.hpp>

#include "helpers/recording_logger.hpp"
#include "helpers/snmp_agent.hpp"
#include "helpers/test_platform.hpp"

namespace corvane::tallis::kestrel::helpers {

/// The number of engine copies anywhere below `directory`.
inline std::size_t engine_copies(const std::filesystem::path& directory) {
  const std::string stem = std::filesystem::path(engine_file_name()).stem().string() + ".";
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    if (entry.path().filename().string().starts_with(stem)) ++count;
  }
  return count;
}

/// One text of each response, by default its value as a string.
inline std::vector<std::string> texts(const std::vector<response>& responses,
                                      std::string (response::*text)()
                                          const = &response::as_string) {
  std::vector<std::string> all;
  for (const response& r : responses) all.push_back((r.*text)());
  return all;
}

/// A pool of its own (engine copies in a private directory, so that test processes running
/// side by side never share a copy) with its MIB name service.
class netsnmp_test : public ::testing::Test {
 protected:
  netsnmp_test() {
    base_ = make_temporary_directory("kestrel-pool-");
    pool_ = create_pool(base_);
    names_ = create_library(*pool_);
  }

  ~netsnmp_test() override {
    names_.reset();
    pool_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
  }

  static settings community_settings(version_t version, std::uint16_t port,
                                     std::optional<std::chrono::seconds> timeout = std::nullopt) {
    return settings(snmp_agent::community, version == version_t::snmp_v2c, "127.0.0.1", port,
                    timeout);
  }

  /// A request over a new connection with `s`.
  std::unique_ptr<request> make_request(const settings& s,
                                        const compat_settings& compat = compat_settings()) {
    return std::make_unique<request>(create_connection(*pool_, s), names_, compat);
  }

  std::filesystem::path base_;
  std::shared_ptr<pool> pool_;
  std::shared_ptr<const library> names_;
  recording_logger logger_;
};

}  // namespace corvane::tallis::kestrel::helpers
