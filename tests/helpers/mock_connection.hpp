#pragma once

#include <gmock/gmock.h>

#include <kestrel/connection.hpp>
#include <vector>

namespace corvane::tallis::kestrel::helpers {

/// A connection whose calls gmock records and scripts.
class mock_connection : public connection {
 public:
  MOCK_METHOD(std::vector<response>, run,
              (const std::vector<oid_request>& requests, const execute_context& context),
              (override));
  MOCK_METHOD(unsigned int, get_hash, (), (override));
  MOCK_METHOD(bool, equals, (const connection& other), (override));
};

}  // namespace corvane::tallis::kestrel::helpers
