#include <kestrel/connection.hpp>

#include <utility>

#include "netsnmp/connection_with_settings.hpp"

namespace corvane::tallis::kestrel {

connection::~connection() = default;

std::size_t connection::response_limit() const { return connection_options::default_max_responses; }

connection_with_settings::connection_with_settings(settings s) : settings_(std::move(s)) {}

connection_with_settings::~connection_with_settings() = default;

unsigned int connection_with_settings::get_hash() { return settings_.get_hash(); }

bool connection_with_settings::equals(const connection& other) {
  const auto* with_settings = dynamic_cast<const connection_with_settings*>(&other);
  return with_settings != nullptr && settings_ == with_settings->settings_;
}

const settings& connection_with_settings::connection_settings() const { return settings_; }

}  // namespace corvane::tallis::kestrel
