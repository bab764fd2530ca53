#pragma once

#include <ortolan/i18n_message.hpp>
#include <tern/exception.hpp>

namespace corvane::tallis::ortolan {

/// An exception that carries an internationalisation record besides its `what()` text.
class KESTREL_EXPORT i18n_exception : public tern::exception {
 public:
  explicit i18n_exception(i18n_message message);
  i18n_exception(const i18n_exception&) = default;
  i18n_exception& operator=(const i18n_exception&) = default;
  ~i18n_exception() override;

  /// The encoded key and the text with its arguments substituted.
  virtual i18n_message message() const;

 private:
  i18n_message message_;
};

/// Layer that follows every internationalised category; adds no data.
template <class Base>
class KESTREL_EXPORT _i18n_exception : public Base {
 public:
  using Base::Base;
};

}  // namespace corvane::tallis::ortolan
