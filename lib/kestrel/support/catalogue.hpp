#pragma once

#include <ortolan/i18n_message.hpp>

// The message catalogue: one constant entry per key, created during static initialisation.
namespace corvane::tallis::kestrel::catalogue {

extern const ortolan::i18n_message authentication_password_invalid;
extern const ortolan::i18n_message communication_error;
extern const ortolan::i18n_message duplicate_row_index;
extern const ortolan::i18n_message encryption_key_invalid;
extern const ortolan::i18n_message index_not_found;
extern const ortolan::i18n_message initialization_failed;
extern const ortolan::i18n_message invalid_handle;
extern const ortolan::i18n_message maximum_oid_size_exceeded;
extern const ortolan::i18n_message missing_mib_for_oid;
extern const ortolan::i18n_message no_result_for_oid;
extern const ortolan::i18n_message non_table_data;
extern const ortolan::i18n_message oid_has_wrong_type;
extern const ortolan::i18n_message parameter_invalid;
extern const ortolan::i18n_message response_limit_exceeded;
extern const ortolan::i18n_message timeout;
/// Belongs to the internationalisation layer; no class of this library raises it.
extern const ortolan::i18n_message ortolan_generic;

}  // namespace corvane::tallis::kestrel::catalogue
