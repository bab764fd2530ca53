#include <kestrel/exceptions.hpp>

#include <utility>

#include "support/catalogue.hpp"

namespace corvane::tallis::kestrel {

namespace catalogue {

using ortolan::i18n_message;

const i18n_message authentication_password_invalid{
    "kestrel.error.authentication_password_invalid",
    "The authentication password is invalid. %0:s."};
const i18n_message communication_error{
    "kestrel.error.communication_error",
    "The sensor failed to communicate with the target system: Error %0:s/%1:s: %2:s."};
const i18n_message duplicate_row_index{
    "kestrel.error.duplicate_row_index",
    "The table contains a duplicate index. Please report this error to the Corvane support "
    "team. %0:s"};
const i18n_message encryption_key_invalid{"kestrel.error.encryption_key_invalid",
                                          "The encryption key is invalid. %0:s."};
const i18n_message index_not_found{
    "kestrel.error.index_not_found",
    "The requested index value (%1:s) was not found in the SNMP table column %0:s."};
const i18n_message initialization_failed{"kestrel.error.initialization_failed",
                                         "Initialization failed: Error %0:s/%1:s: %2:s."};
const i18n_message invalid_handle{
    "kestrel.error.invalid_handle",
    "The request handle is invalid. Please report this error to the Corvane support team."};
const i18n_message maximum_oid_size_exceeded{
    "kestrel.error.maximum_oid_size_exceeded",
    "The maximum OID buffer size was exceeded. Please report this error to the Corvane "
    "support team."};
const i18n_message missing_mib_for_oid{
    "kestrel.error.missing_mib_for_oid",
    "Halyard could not resolve the OID for '%0:s'. Either the required MIB file was not found "
    "or the name is invalid. %1:s"};
const i18n_message no_result_for_oid{
    "kestrel.error.no_result_for_oid",
    "The target system did not return a result for the requested OID."};
const i18n_message non_table_data{
    "kestrel.error.non_table_data",
    "The server result contains data that is not in a table. Please report this error to the "
    "Corvane support team. %0:s"};
const i18n_message oid_has_wrong_type{
    "kestrel.error.oid_has_wrong_type",
    "The returned result from OID '%0:s' is the wrong type ('%1:s'). The expected type is "
    "'%2:s'."};
const i18n_message parameter_invalid{"kestrel.error.parameter_invalid",
                                     "Invalid parameter: Error %0:s/%1:s: %2:s."};
const i18n_message response_limit_exceeded{
    "kestrel.error.response_limit_exceeded",
    "The target system returned more than %0:s values for one query. The query was stopped."};
const i18n_message timeout{
    "kestrel.error.timeout",
    "Timeout Error: The sensor failed to communicate with the target system. Please check "
    "that the SNMP Port, Context Name, Encryption Type, and Encryption Key are correct."};
const i18n_message ortolan_generic{
    "ortolan.error.generic",
    "An error occurred. For more information, check the \\Logs\\sensors subfolder of the "
    "Halyard data directory on the probe system. If you have not enabled debug options, "
    "activate Store result under Debug Options in the settings of the sensor, rescan, and "
    "check the \\Logs\\sensors subfolder of the Halyard data directory on the probe system. "
    "%0:s"};

}  // namespace catalogue

namespace exceptions {

using ortolan::_i18n_exception;

exception::exception(ortolan::i18n_message message)
    : _i18n_exception<ortolan::i18n_exception>(std::move(message)) {}
exception::~exception() = default;

invalid_handle::invalid_handle()
    : _i18n_exception<exceptions::exception>(catalogue::invalid_handle.format()) {}
invalid_handle::~invalid_handle() = default;

maximum_oid_size_exceeded::maximum_oid_size_exceeded()
    : _i18n_exception<exceptions::exception>(catalogue::maximum_oid_size_exceeded.format()) {}
maximum_oid_size_exceeded::~maximum_oid_size_exceeded() = default;

communication_error::communication_error(ortolan::i18n_message message)
    : _i18n_exception<exceptions::exception>(std::move(message)) {}
communication_error::communication_error(const std::string& system_error,
                                         const std::string& engine_error,
                                         const std::string& message)
    : _i18n_exception<exceptions::exception>(
          catalogue::communication_error.format(system_error, engine_error, message)) {}
communication_error::~communication_error() = default;

timeout::timeout() : _i18n_exception<communication_error>(catalogue::timeout.format()) {}
timeout::~timeout() = default;

settings_invalid::settings_invalid(ortolan::i18n_message message)
    : _i18n_exception<exceptions::exception>(std::move(message)) {}
settings_invalid::~settings_invalid() = default;

authentication_password_invalid::authentication_password_invalid(const std::string& detail)
    : _i18n_exception<settings_invalid>(catalogue::authentication_password_invalid.format(detail)) {
}
authentication_password_invalid::~authentication_password_invalid() = default;

encryption_key_invalid::encryption_key_invalid(const std::string& detail)
    : _i18n_exception<settings_invalid>(catalogue::encryption_key_invalid.format(detail)) {}
encryption_key_invalid::~encryption_key_invalid() = default;

initialization_failed::initialization_failed(const std::string& system_error,
                                             const std::string& engine_error,
                                             const std::string& message)
    : _i18n_exception<settings_invalid>(
          catalogue::initialization_failed.format(system_error, engine_error, message)) {}
initialization_failed::~initialization_failed() = default;

parameter_invalid::parameter_invalid(const std::string& system_error,
                                     const std::string& engine_error, const std::string& message)
    : _i18n_exception<settings_invalid>(
          catalogue::parameter_invalid.format(system_error, engine_error, message)) {}
parameter_invalid::~parameter_invalid() = default;

missing_mib_for_oid::missing_mib_for_oid(const std::string& name, const std::string& detail)
    : _i18n_exception<settings_invalid>(catalogue::missing_mib_for_oid.format(name, detail)) {}
missing_mib_for_oid::~missing_mib_for_oid() = default;

data_exception::data_exception(ortolan::i18n_message message)
    : _i18n_exception<exceptions::exception>(std::move(message)) {}
data_exception::~data_exception() = default;

no_result_for_oid::no_result_for_oid()
    : _i18n_exception<data_exception>(catalogue::no_result_for_oid.format()) {}
no_result_for_oid::~no_result_for_oid() = default;

index_not_found::index_not_found(const std::string& column, const std::string& value)
    : _i18n_exception<data_exception>(catalogue::index_not_found.format(column, value)) {}
index_not_found::~index_not_found() = default;

oid_has_wrong_type::oid_has_wrong_type(const std::string& name, const std::string& held_type,
                                       const std::string& expected_type)
    : _i18n_exception<data_exception>(
          catalogue::oid_has_wrong_type.format(name, held_type, expected_type)) {}
oid_has_wrong_type::oid_has_wrong_type(const std::string& name, const std::string& held_type,
                                       const char* expected_type)
    : oid_has_wrong_type(name, held_type, std::string(expected_type)) {}
oid_has_wrong_type::~oid_has_wrong_type() = default;

duplicate_row_index::duplicate_row_index(const std::string& description)
    : _i18n_exception<data_exception>(catalogue::duplicate_row_index.format(description)) {}
duplicate_row_index::~duplicate_row_index() = default;

non_table_data::non_table_data(const std::string& description)
    : _i18n_exception<data_exception>(catalogue::non_table_data.format(description)) {}
non_table_data::~non_table_data() = default;

response_limit_exceeded::response_limit_exceeded(const std::string& limit)
    : _i18n_exception<data_exception>(catalogue::response_limit_exceeded.format(limit)) {}
response_limit_exceeded::~response_limit_exceeded() = default;

}  // namespace exceptions
}  // namespace corvane::tallis::kestrel
