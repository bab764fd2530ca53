#include "netsnmp/library_netsnmp.hpp"

#include <mutex>
#include <typeinfo>
#include <utility>

#include <kestrel/exceptions.hpp>
#include <kestrel/pool.hpp>

#include "netsnmp/context_netsnmp.hpp"
#include "netsnmp/pool_netsnmp.hpp"

namespace corvane::tallis::kestrel {

struct library_netsnmp::state {
  std::shared_ptr<context_netsnmp> context;
};

library_netsnmp::library_netsnmp(std::shared_ptr<context_netsnmp> context)
    : state_(std::make_unique<state>(state{std::move(context)})) {}

library_netsnmp::~library_netsnmp() = default;

std::vector<long> library_netsnmp::name_to_numeric(const std::string& name) const {
  context_netsnmp& context = *state_->context;
  std::vector<::oid> buffer(max_numeric_length, 0);
  std::size_t count = buffer.size();
  {
    std::lock_guard lock(context.mib_lock());
    if (context.read_objid(name, buffer.data(), &count) != 1) {
      throw exceptions::missing_mib_for_oid(name, trim_engine_text(context.snmp_api_errstring(0)));
    }
  }
  // The engine's sub-identifiers are unsigned and wider than needed: copy one by one.
  std::vector<long> numeric;
  numeric.reserve(count);
  for (std::size_t i = 0; i < count; ++i) numeric.push_back(static_cast<long>(buffer[i]));
  return numeric;
}

std::string library_netsnmp::numeric_to_name(const std::vector<long>& numeric) const {
  std::vector<::oid> sub_identifiers;
  sub_identifiers.reserve(numeric.size());
  for (long sub_identifier : numeric) sub_identifiers.push_back(static_cast<::oid>(sub_identifier));

  std::string text(max_name_length + 1, '\0');
  context_netsnmp& context = *state_->context;
  int written = 0;
  {
    std::lock_guard lock(context.mib_lock());
    written = context.snprint_objid(text.data(), max_name_length, sub_identifiers.data(),
                                    sub_identifiers.size());
  }
  if (written < 0) throw exceptions::maximum_oid_size_exceeded();
  text.resize(static_cast<std::size_t>(written));
  return text;
}

std::unique_ptr<library> create_library(pool& p) {
  auto& netsnmp_pool = dynamic_cast<pool_netsnmp&>(p);
  return std::make_unique<library_netsnmp>(netsnmp_pool.get_context(0));
}

std::function<std::unique_ptr<library>()> get_library_factory(const std::shared_ptr<pool>& p) {
  return [p]() -> std::unique_ptr<library> {
    // A null pool is no pool over Net-SNMP either.
    if (!p) throw std::bad_cast();
    return create_library(*p);
  };
}

}  // namespace corvane::tallis::kestrel
