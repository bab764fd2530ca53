#pragma once

// Engine facade: the only header besides the engine binding's own sources that sees
// Net-SNMP's declarations. Its configuration header comes first.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/keytools.h>
#include <net-snmp/library/large_fd_set.h>
#include <net-snmp/library/snmpusm.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include <kestrel/pool.hpp>

#include "support/dynamic_library.hpp"

namespace corvane::tallis::kestrel {

class context_netsnmp;

/// A PDU freed by the engine that made it.
using pdu_ptr = std::unique_ptr<netsnmp_pdu, std::function<void(netsnmp_pdu*)>>;

/// A GETBULK sent before its exchange: the next pass of a whole-table read goes out as soon as
/// the answer before it is in, so that the agent works on it while that answer is converted.
/// One per session, read and written under the engine lock. Every exchange over the session
/// takes it over or gives it up before it waits, so that an answer to a read-ahead given up is
/// passed over as any stray answer is.
struct read_ahead {
  int request_id = 0;  // 0: none in flight
  std::vector<::oid> name;
  long max_repetitions = 0;
  unsigned long paging = 0;  // the whole-table read it was sent for (table_paging_scope)
};

/// One loaded and initialised engine instance, with one thin member per entry point the
/// library calls. Every call resolves its entry point by name through `engine()`.
class context_netsnmp : public std::enable_shared_from_this<context_netsnmp> {
 public:
  /// Loads `library_file` and initialises the engine; with `load_mibs` it gets the MIB
  /// directory list, otherwise an empty one.
  context_netsnmp(std::filesystem::path library_file, bool load_mibs);
  context_netsnmp(const context_netsnmp&) = delete;
  context_netsnmp& operator=(const context_netsnmp&) = delete;
  ~context_netsnmp();

  dynamic_library& engine();
  /// Held around one synchronous exchange with an agent, attempts and sleeps included.
  std::mutex& engine_lock();
  /// Held around each call of the engine's name services: a look-up may read MIB modules and
  /// so change the MIB tree that other look-ups read.
  std::mutex& mib_lock();

  // Set-up.
  void netsnmp_set_debug_log_level(int level);
  int netsnmp_ds_set_string(int store, int which, const std::string& value);
  int netsnmp_ds_set_boolean(int store, int which, int value);
  int netsnmp_ds_set_int(int store, int which, int value);
  int netsnmp_ds_get_int(int store, int which);
  void init_snmp(const std::string& application);
  void snmp_shutdown(const std::string& application);

  // Sessions and USM.
  /// Returns `session` itself; the engine's call returns nothing.
  netsnmp_session* snmp_sess_init(netsnmp_session* session);
  void* snmp_sess_open(netsnmp_session* session);
  int snmp_sess_close(void* handle);
  netsnmp_session* snmp_sess_session(void* handle);
  /// Sends `pdu` (which it takes) and waits for its answer as the engine's own synchronous call
  /// does, and with its result codes; the answer is the engine's PDU itself, not a copy. With
  /// `sent`, waits for the request of that ID sent earlier instead (`pdu` is then null).
  int synch_response(void* handle, netsnmp_pdu* pdu, netsnmp_pdu** response, int sent = 0);
  void snmp_sess_error(void* handle, int* system_error, int* engine_error, char** message);
  void snmp_error(netsnmp_session* session, int* system_error, int* engine_error, char** message);
  const char* snmp_api_errstring(int code);
  const char* snmp_errstring(int status);
  int generate_Ku(const ::oid* hash_type, u_int hash_type_len, const u_char* secret,
                  size_t secret_len, u_char* key, size_t* key_len);
  struct usmUser* usm_get_user(const u_char* engine_id, size_t engine_id_len, const char* name);
  struct usmUser* usm_remove_user(struct usmUser* user);
  struct usmUser* usm_free_user(struct usmUser* user);
  /// The address of a protocol OID array exported by the engine ("usmHMACMD5AuthProtocol").
  ::oid* protocol_oid(const std::string& symbol);

  // PDUs.
  netsnmp_pdu* snmp_pdu_create(int command);
  netsnmp_variable_list* snmp_add_null_var(netsnmp_pdu* pdu, const ::oid* name, size_t length);
  netsnmp_pdu* snmp_clone_pdu(netsnmp_pdu* pdu);
  void snmp_free_pdu(netsnmp_pdu* pdu);
  /// Wraps a PDU of this engine so that this engine frees it.
  pdu_ptr wrap(netsnmp_pdu* pdu);

  // MIB services. A look-up by name may read modules and so change the tree: it forgets the
  // column names learnt so far.
  int read_objid(const std::string& name, ::oid* buffer, size_t* count);
  int snprint_objid(char* buffer, size_t length, const ::oid* name, size_t count);
  struct tree* get_tree_head();
  struct tree* get_tree(const ::oid* name, size_t count, struct tree* subtree);
  struct tree* find_tree_node(const char* label);

  /// What the library learnt of a table column's cell names: whether the name of the cell in
  /// row N is the column's name, ".", N (then `text` is the column's name).
  struct column_name {
    bool derivable = false;
    std::string text;
  };
  /// Orders sub-identifier lists, so that a column is found by a view of the cell's numbers.
  struct sub_identifier_order {
    using is_transparent = void;
    bool operator()(std::span<const ::oid> a, std::span<const ::oid> b) const {
      return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
    }
  };
  /// The columns learnt, by their numbers, and the one of the cell named last (cells come
  /// column by column); and the last name the engine wrote whole, by its numbers (a column of
  /// OID values often holds one value throughout). Read and written under the MIB lock.
  struct column_memory {
    std::map<std::vector<::oid>, column_name, sub_identifier_order> columns;
    const decltype(columns)::value_type* last = nullptr;
    std::vector<::oid> last_whole_numbers;
    std::string last_whole_name;
    void forget() {
      columns.clear();
      last = nullptr;
      last_whole_numbers.clear();
      last_whole_name.clear();
    }
  };
  column_memory& column_names();

  /// Sends `pdu` (a clone per attempt) over the session `handle` under the engine lock: three
  /// attempts with `retry`, one without, sleeping `delay` after each failed one.
  /// The first attempt waits for the session's read-ahead `ahead` instead when that is the same
  /// request, sent for the whole-table read running on this thread; any other read-ahead is
  /// given up.
  pdu_ptr exchange(void* handle, netsnmp_pdu* pdu, bool retry, std::chrono::milliseconds delay,
                   read_ahead* ahead = nullptr);
  /// Sends `pdu` (which it takes) over the session `handle` under the engine lock, as the
  /// session's read-ahead `ahead`. A send the engine refuses leaves no read-ahead: the exchange
  /// that would use it sends the request itself and meets the error then.
  void send_ahead(void* handle, pdu_ptr pdu, read_ahead& ahead, unsigned long paging);

 private:
  initializers::winsock_initializer winsock_;
  dynamic_library engine_;
  std::mutex engine_lock_;
  std::mutex mib_lock_;
  column_memory column_names_;
};

/// The MIB directory list for the engine: "MIBDIRS", the registry's "Datapath" + "MIBs", the
/// module's "mibs", the registry's "exepath" + "MIB", each absolute, joined with the
/// platform's list separator.
std::string mib_directories(const std::filesystem::path& module_dir);

/// Removes white-space and control characters from both ends (the end first).
std::string trim_engine_text(const std::string& text);

}  // namespace corvane::tallis::kestrel
