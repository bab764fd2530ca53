#pragma once

#include <string>

#include <kestrel/export.hpp>
#include <ortolan/i18n_exception.hpp>

/// The library's own errors. `what()` is the English text with the arguments substituted;
/// `message()` carries the encoded key "#:kestrel.error.<class>[args]" for translation.
/// Catch `exceptions::exception` for all of them, or a group: `settings_invalid`,
/// `data_exception`, `communication_error` (which includes `timeout`).
namespace corvane::tallis::kestrel::exceptions {

class KESTREL_EXPORT exception : public ortolan::_i18n_exception<ortolan::i18n_exception> {
 public:
  explicit exception(ortolan::i18n_message message);
  ~exception() override;
};

class KESTREL_EXPORT invalid_handle : public ortolan::_i18n_exception<exceptions::exception> {
 public:
  invalid_handle();
  ~invalid_handle() override;
};

class KESTREL_EXPORT maximum_oid_size_exceeded
    : public ortolan::_i18n_exception<exceptions::exception> {
 public:
  maximum_oid_size_exceeded();
  ~maximum_oid_size_exceeded() override;
};

class KESTREL_EXPORT communication_error
    : public ortolan::_i18n_exception<exceptions::exception> {
 public:
  explicit communication_error(ortolan::i18n_message message);
  communication_error(const std::string& system_error, const std::string& engine_error,
                      const std::string& message);
  ~communication_error() override;
};

class KESTREL_EXPORT timeout : public ortolan::_i18n_exception<communication_error> {
 public:
  timeout();
  ~timeout() override;
};

/// Group: the settings of a connection or a name are unusable.
class KESTREL_EXPORT settings_invalid : public ortolan::_i18n_exception<exceptions::exception> {
 public:
  explicit settings_invalid(ortolan::i18n_message message);
  ~settings_invalid() override;
};

class KESTREL_EXPORT authentication_password_invalid
    : public ortolan::_i18n_exception<settings_invalid> {
 public:
  explicit authentication_password_invalid(const std::string& detail);
  ~authentication_password_invalid() override;
};

class KESTREL_EXPORT encryption_key_invalid : public ortolan::_i18n_exception<settings_invalid> {
 public:
  explicit encryption_key_invalid(const std::string& detail);
  ~encryption_key_invalid() override;
};

class KESTREL_EXPORT initialization_failed : public ortolan::_i18n_exception<settings_invalid> {
 public:
  initialization_failed(const std::string& system_error, const std::string& engine_error,
                        const std::string& message);
  ~initialization_failed() override;
};

class KESTREL_EXPORT parameter_invalid : public ortolan::_i18n_exception<settings_invalid> {
 public:
  parameter_invalid(const std::string& system_error, const std::string& engine_error,
                    const std::string& message);
  ~parameter_invalid() override;
};

class KESTREL_EXPORT missing_mib_for_oid : public ortolan::_i18n_exception<settings_invalid> {
 public:
  missing_mib_for_oid(const std::string& name, const std::string& detail);
  ~missing_mib_for_oid() override;
};

/// Group: the agent's data cannot be read the way it was asked for.
class KESTREL_EXPORT data_exception : public ortolan::_i18n_exception<exceptions::exception> {
 public:
  explicit data_exception(ortolan::i18n_message message);
  ~data_exception() override;
};

class KESTREL_EXPORT no_result_for_oid : public ortolan::_i18n_exception<data_exception> {
 public:
  no_result_for_oid();
  ~no_result_for_oid() override;
};

class KESTREL_EXPORT index_not_found : public ortolan::_i18n_exception<data_exception> {
 public:
  index_not_found(const std::string& column, const std::string& value);
  ~index_not_found() override;
};

class KESTREL_EXPORT oid_has_wrong_type : public ortolan::_i18n_exception<data_exception> {
 public:
  oid_has_wrong_type(const std::string& name, const std::string& held_type,
                     const std::string& expected_type);
  oid_has_wrong_type(const std::string& name, const std::string& held_type,
                     const char* expected_type);
  ~oid_has_wrong_type() override;
};

class KESTREL_EXPORT duplicate_row_index : public ortolan::_i18n_exception<data_exception> {
 public:
  explicit duplicate_row_index(const std::string& description);
  ~duplicate_row_index() override;
};

/// An agent sent more values for one query than the connection's response limit.
class KESTREL_EXPORT response_limit_exceeded : public ortolan::_i18n_exception<data_exception> {
 public:
  explicit response_limit_exceeded(const std::string& limit);
  ~response_limit_exceeded() override;
};

class KESTREL_EXPORT non_table_data : public ortolan::_i18n_exception<data_exception> {
 public:
  explicit non_table_data(const std::string& description);
  ~non_table_data() override;
};

}  // namespace corvane::tallis::kestrel::exceptions
