#pragma once

#include <exception>
#include <string>

#include <kestrel/export.hpp>

namespace corvane::tallis::tern {

/// Plain exception base: one message, returned by `what()`.
class KESTREL_EXPORT exception : public std::exception {
 public:
  explicit exception(std::string message);
  exception(const exception&) = default;
  exception& operator=(const exception&) = default;
  ~exception() override;

  const char* what() const noexcept override;

 private:
  std::string message_;
};

/// Layer that follows every exception category; adds neither data nor virtual operations.
template <class Base>
class KESTREL_EXPORT _exception : public Base {
 public:
  using Base::Base;
};

}  // namespace corvane::tallis::tern
