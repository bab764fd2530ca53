#pragma once

#include <kestrel/connection.hpp>
#include <kestrel/settings.hpp>

namespace corvane::tallis::kestrel {

/// A connection identified by its settings: equal settings compare equal whatever the
/// concrete class; a connection without settings never does.
class connection_with_settings : public connection {
 public:
  explicit connection_with_settings(settings s);
  ~connection_with_settings() override;

  unsigned int get_hash() override;
  bool equals(const connection& other) override;

  const settings& connection_settings() const;

 private:
  settings settings_;
};

}  // namespace corvane::tallis::kestrel
