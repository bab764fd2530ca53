#include "netsnmp/context_netsnmp.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

#include "support/platform.hpp"

#if defined(KESTREL_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

namespace corvane::tallis::kestrel {

namespace fs = std::filesystem;

namespace {

constexpr const char* application_name = "halyard";
constexpr const char* registry_key = "SOFTWARE\\Corvane\\Halyard\\Server\\Core";

// Default-store numbering of the engine; the values are fixed by the engine's ABI.
constexpr int library_store = NETSNMP_DS_LIBRARY_ID;
constexpr int persistent_dir = NETSNMP_DS_LIB_PERSISTENT_DIR;
constexpr int configuration_dir = NETSNMP_DS_LIB_CONFIGURATION_DIR;
constexpr int mib_dirs = NETSNMP_DS_LIB_MIBDIRS;
constexpr int disable_persistent_load = NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD;
constexpr int disable_persistent_save = NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE;
constexpr int dont_load_host_files = NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES;
constexpr int oid_output_format = NETSNMP_DS_LIB_OID_OUTPUT_FORMAT;
constexpr int oid_output_full = NETSNMP_OID_OUTPUT_FULL;
static_assert(library_store == 0 && persistent_dir == 8 && configuration_dir == 9 &&
              mib_dirs == 11 && disable_persistent_load == 35 && disable_persistent_save == 36 &&
              dont_load_host_files == 40 && oid_output_format == 4 && oid_output_full == 3);

// The engine keeps a few start-up allocations in static variables for as long as it is loaded
// and never frees them. Once it is unloaded the leak checker no longer sees those references
// and would report them, so sanitizer builds exempt the engine's start-up from leak checking.
#if defined(KESTREL_LEAK_CHECK)
using engine_startup_scope = __lsan::ScopedDisabler;
#else
struct engine_startup_scope {};
#endif

bool is_blank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isspace(u) != 0 || std::iscntrl(u) != 0;
}

}  // namespace

context_netsnmp::context_netsnmp(fs::path library_file, bool load_mibs) : engine_(library_file) {
  const fs::path module_dir = module_directory();
  // Each line goes out in one write, whole, whatever other threads write to the stream.
  std::ostringstream loaded;
  loaded << "Using Net-SNMP DLL " << library_file << " with base dir " << module_dir << '\n';
  std::cerr << loaded.str() << std::flush;

  netsnmp_set_debug_log_level(4);
  netsnmp_ds_set_string(library_store, persistent_dir, (module_dir / "persist").string());
  if (load_mibs) {
    const std::string directories = mib_directories(module_dir);
    std::cerr << "Using MIB directories \"" + directories + "\"\n" << std::flush;
    netsnmp_ds_set_string(library_store, mib_dirs, directories);
  } else {
    netsnmp_ds_set_string(library_store, mib_dirs, "");
  }
  if (!platform::get_environment("MIBS")) platform::set_environment("MIBS", "ALL");

  // The configuration directory replaces the engine's whole search path (/etc/snmp, ...,
  // ~/.snmp), so system-wide files such as a "mibs :" line in /etc/snmp/snmp.conf never reach
  // these engines. The engine still prefers the environment variable SNMPCONFPATH when a
  // caller sets one; that is the engine's documented override and is left to the caller.
  netsnmp_ds_set_string(library_store, configuration_dir, (module_dir / "config").string());
  netsnmp_ds_set_boolean(library_store, disable_persistent_load, 1);
  netsnmp_ds_set_boolean(library_store, disable_persistent_save, 1);
  netsnmp_ds_set_boolean(library_store, dont_load_host_files, 1);
  netsnmp_ds_set_int(library_store, oid_output_format, oid_output_full);

  // Resolved before the engine starts, so that an engine without it fails here and the
  // destructor's call cannot fail.
  engine_.get_symbol("snmp_shutdown");
  [[maybe_unused]] engine_startup_scope startup;
  init_snmp(application_name);
}

context_netsnmp::~context_netsnmp() { snmp_shutdown(application_name); }

dynamic_library& context_netsnmp::engine() { return engine_; }

std::mutex& context_netsnmp::engine_lock() { return engine_lock_; }

std::mutex& context_netsnmp::mib_lock() { return mib_lock_; }

void context_netsnmp::netsnmp_set_debug_log_level(int level) {
  invoke<decltype(::netsnmp_set_debug_log_level)>(engine_, "netsnmp_set_debug_log_level", level);
}

int context_netsnmp::netsnmp_ds_set_string(int store, int which, const std::string& value) {
  return invoke<decltype(::netsnmp_ds_set_string)>(engine_, "netsnmp_ds_set_string", store, which,
                                                   value.c_str());
}

int context_netsnmp::netsnmp_ds_set_boolean(int store, int which, int value) {
  return invoke<decltype(::netsnmp_ds_set_boolean)>(engine_, "netsnmp_ds_set_boolean", store, which,
                                                    value);
}

int context_netsnmp::netsnmp_ds_set_int(int store, int which, int value) {
  return invoke<decltype(::netsnmp_ds_set_int)>(engine_, "netsnmp_ds_set_int", store, which, value);
}

int context_netsnmp::netsnmp_ds_get_int(int store, int which) {
  return invoke<decltype(::netsnmp_ds_get_int)>(engine_, "netsnmp_ds_get_int", store, which);
}

void context_netsnmp::init_snmp(const std::string& application) {
  invoke<decltype(::init_snmp)>(engine_, "init_snmp", application.c_str());
}

void context_netsnmp::snmp_shutdown(const std::string& application) {
  invoke<decltype(::snmp_shutdown)>(engine_, "snmp_shutdown", application.c_str());
}

netsnmp_session* context_netsnmp::snmp_sess_init(netsnmp_session* session) {
  invoke<decltype(::snmp_sess_init)>(engine_, "snmp_sess_init", session);
  return session;
}

void* context_netsnmp::snmp_sess_open(netsnmp_session* session) {
  return invoke<decltype(::snmp_sess_open)>(engine_, "snmp_sess_open", session);
}

int context_netsnmp::snmp_sess_close(void* handle) {
  return invoke<decltype(::snmp_sess_close)>(engine_, "snmp_sess_close", handle);
}

netsnmp_session* context_netsnmp::snmp_sess_session(void* handle) {
  return invoke<decltype(::snmp_sess_session)>(engine_, "snmp_sess_session", handle);
}

namespace {

template <class Function>
Function* entry_point(dynamic_library& engine, const char* name) {
  return reinterpret_cast<Function*>(engine.get_symbol(name));
}

// What one synchronous exchange shares with its callback. The engine calls the callback from
// its own C code, where no exception may pass: it finds every entry point it uses here.
struct synch_state {
  explicit synch_state(dynamic_library& engine)
      : report_type(
            entry_point<decltype(::snmpv3_get_report_type)>(engine, "snmpv3_get_report_type")),
        pdu_type(entry_point<decltype(::snmp_pdu_type)>(engine, "snmp_pdu_type")),
        set_detail(entry_point<decltype(::snmp_set_detail)>(engine, "snmp_set_detail")),
        engine_errno(static_cast<int*>(engine.get_symbol("snmp_errno"))) {}

  void fail(netsnmp_session& session, int error) const {
    session.s_snmp_errno = error;
    *engine_errno = error;
  }

  decltype(::snmpv3_get_report_type)* report_type;
  decltype(::snmp_pdu_type)* pdu_type;
  decltype(::snmp_set_detail)* set_detail;
  int* engine_errno;
  bool waiting = false;
  int request_id = 0;
  int status = STAT_SUCCESS;
  netsnmp_pdu* answer = nullptr;
};

// The engine's own callback for synchronous exchanges, except that an answer is taken over
// instead of copied: the engine frees the PDU it hands in once this returns, so its contents
// move to a PDU of ours and the engine frees an empty one. A table read copied every binding.
int synch_input(int operation, netsnmp_session* session, int request_id, netsnmp_pdu* pdu,
                void* magic) {
  auto& state = *static_cast<synch_state*>(magic);
  if (request_id != state.request_id && pdu != nullptr && pdu->command != SNMP_MSG_REPORT) {
    return 0;
  }
  state.waiting = false;
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu != nullptr) {
    if (pdu->command == SNMP_MSG_REPORT) {
      const int report = state.report_type(pdu);
      // The engine sends the request again itself after a time-window report.
      state.waiting = report == SNMPERR_NOT_IN_TIME_WINDOW;
      state.answer = nullptr;
      state.status = STAT_ERROR;
      state.fail(*session, report);
    } else if (pdu->command == SNMP_MSG_RESPONSE) {
      auto* taken = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
      if (taken != nullptr) std::swap(*taken, *pdu);
      state.answer = taken;
      state.status = STAT_SUCCESS;
      session->s_snmp_errno = SNMPERR_SUCCESS;
    } else {
      state.status = STAT_ERROR;
      state.fail(*session, SNMPERR_PROTOCOL);
      char detail[50];
      std::snprintf(detail, sizeof detail, "Expected RESPONSE-PDU but got %s-PDU",
                    state.pdu_type(pdu->command));
      state.set_detail(detail);
      return 0;
    }
  } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT) {
    state.answer = nullptr;
    state.status = STAT_TIMEOUT;
    state.fail(*session, SNMPERR_TIMEOUT);
  } else if (operation == NETSNMP_CALLBACK_OP_SEC_ERROR) {
    state.answer = nullptr;
    // An error already recorded stays.
    if (state.status == STAT_SUCCESS) {
      state.status = STAT_ERROR;
      state.fail(*session, SNMPERR_GENERR);
    }
  } else if (operation == NETSNMP_CALLBACK_OP_DISCONNECT) {
    state.answer = nullptr;
    state.status = STAT_ERROR;
    state.fail(*session, SNMPERR_ABORT);
  }
  return 1;
}

}  // namespace

int context_netsnmp::synch_response(void* handle, netsnmp_pdu* pdu, netsnmp_pdu** response,
                                    int sent) {
  *response = nullptr;
  netsnmp_session* session = snmp_sess_session(handle);
  if (session == nullptr) return STAT_ERROR;

  synch_state state(engine_);
  const auto cleanup = entry_point<decltype(::netsnmp_large_fd_set_cleanup)>(
      engine_, "netsnmp_large_fd_set_cleanup");
  // The session's own callback and the descriptor set are put back however this ends.
  struct scope {
    netsnmp_session& session;
    decltype(::netsnmp_large_fd_set_cleanup)* cleanup;
    snmp_callback callback = session.callback;
    void* magic = session.callback_magic;
    netsnmp_large_fd_set descriptors{};
    ~scope() {
      session.callback = callback;
      session.callback_magic = magic;
      cleanup(&descriptors);
    }
  } guard{*session, cleanup};
  invoke<decltype(::netsnmp_large_fd_set_init)>(engine_, "netsnmp_large_fd_set_init",
                                                &guard.descriptors, FD_SETSIZE);
  session->callback = &synch_input;
  session->callback_magic = &state;

  if (sent != 0) {
    state.waiting = true;
    state.request_id = sent;
  } else if (invoke<decltype(::snmp_sess_send)>(engine_, "snmp_sess_send", handle, pdu) == 0) {
    snmp_free_pdu(pdu);
    state.status = STAT_ERROR;
  } else {
    state.waiting = true;
    state.request_id = pdu->reqid;
  }
  while (state.waiting) {
    int count = 0;
    NETSNMP_LARGE_FD_ZERO(&guard.descriptors);
    int block = NETSNMP_SNMPBLOCK;
    struct timeval timeout {};
    struct timeval* wait = &timeout;
    invoke<decltype(::snmp_sess_select_info2_flags)>(engine_, "snmp_sess_select_info2_flags",
                                                     handle, &count, &guard.descriptors, wait,
                                                     &block, NETSNMP_SELECT_NOALARMS);
    if (block == 1) wait = nullptr;
    const int ready = invoke<decltype(::netsnmp_large_fd_set_select)>(
        engine_, "netsnmp_large_fd_set_select", count, &guard.descriptors, nullptr, nullptr, wait);
    const int select_error = errno;
    if (ready > 0) {
      invoke<decltype(::snmp_sess_read2)>(engine_, "snmp_sess_read2", handle, &guard.descriptors);
    } else if (ready == 0) {
      invoke<decltype(::snmp_sess_timeout)>(engine_, "snmp_sess_timeout", handle);
    } else if (select_error != EINTR) {
      state.fail(*session, SNMPERR_GENERR);
      state.set_detail(std::strerror(select_error));
      state.status = STAT_ERROR;
      state.waiting = false;
    }
  }
  *response = state.answer;
  return state.status;
}

void context_netsnmp::snmp_sess_error(void* handle, int* system_error, int* engine_error,
                                      char** message) {
  invoke<decltype(::snmp_sess_error)>(engine_, "snmp_sess_error", handle, system_error,
                                      engine_error, message);
}

void context_netsnmp::snmp_error(netsnmp_session* session, int* system_error, int* engine_error,
                                 char** message) {
  invoke<decltype(::snmp_error)>(engine_, "snmp_error", session, system_error, engine_error,
                                 message);
}

const char* context_netsnmp::snmp_api_errstring(int code) {
  return invoke<decltype(::snmp_api_errstring)>(engine_, "snmp_api_errstring", code);
}

const char* context_netsnmp::snmp_errstring(int status) {
  return invoke<decltype(::snmp_errstring)>(engine_, "snmp_errstring", status);
}

int context_netsnmp::generate_Ku(const ::oid* hash_type, u_int hash_type_len, const u_char* secret,
                                 size_t secret_len, u_char* key, size_t* key_len) {
  return invoke<decltype(::generate_Ku)>(engine_, "generate_Ku", hash_type, hash_type_len, secret,
                                         secret_len, key, key_len);
}

struct usmUser* context_netsnmp::usm_get_user(const u_char* engine_id, size_t engine_id_len,
                                              const char* name) {
  return invoke<decltype(::usm_get_user)>(engine_, "usm_get_user", engine_id, engine_id_len, name);
}

struct usmUser* context_netsnmp::usm_remove_user(struct usmUser* user) {
  return invoke<decltype(::usm_remove_user)>(engine_, "usm_remove_user", user);
}

struct usmUser* context_netsnmp::usm_free_user(struct usmUser* user) {
  return invoke<decltype(::usm_free_user)>(engine_, "usm_free_user", user);
}

::oid* context_netsnmp::protocol_oid(const std::string& symbol) {
  return static_cast<::oid*>(engine_.get_symbol(symbol));
}

netsnmp_pdu* context_netsnmp::snmp_pdu_create(int command) {
  return invoke<decltype(::snmp_pdu_create)>(engine_, "snmp_pdu_create", command);
}

netsnmp_variable_list* context_netsnmp::snmp_add_null_var(netsnmp_pdu* pdu, const ::oid* name,
                                                          size_t length) {
  return invoke<decltype(::snmp_add_null_var)>(engine_, "snmp_add_null_var", pdu, name, length);
}

netsnmp_pdu* context_netsnmp::snmp_clone_pdu(netsnmp_pdu* pdu) {
  return invoke<decltype(::snmp_clone_pdu)>(engine_, "snmp_clone_pdu", pdu);
}

void context_netsnmp::snmp_free_pdu(netsnmp_pdu* pdu) {
  invoke<decltype(::snmp_free_pdu)>(engine_, "snmp_free_pdu", pdu);
}

int context_netsnmp::read_objid(const std::string& name, ::oid* buffer, size_t* count) {
  column_names_.forget();
  return invoke<decltype(::read_objid)>(engine_, "read_objid", name.c_str(), buffer, count);
}

int context_netsnmp::snprint_objid(char* buffer, size_t length, const ::oid* name, size_t count) {
  return invoke<decltype(::snprint_objid)>(engine_, "snprint_objid", buffer, length, name, count);
}

struct tree* context_netsnmp::get_tree_head() {
  return invoke<decltype(::get_tree_head)>(engine_, "get_tree_head");
}

struct tree* context_netsnmp::get_tree(const ::oid* name, size_t count, struct tree* subtree) {
  return invoke<decltype(::get_tree)>(engine_, "get_tree", name, count, subtree);
}

struct tree* context_netsnmp::find_tree_node(const char* label) {
  return invoke<decltype(::find_tree_node)>(engine_, "find_tree_node", label, -1);
}

context_netsnmp::column_memory& context_netsnmp::column_names() { return column_names_; }

std::string mib_directories(const fs::path& module_dir) {
  std::vector<fs::path> entries;
  if (auto from_environment = platform::get_environment("MIBDIRS")) {
    entries.emplace_back(*from_environment);
  }
  const auto root = platform::registry_root::local_machine;
  if (auto data_path = platform::read_registry_string(root, registry_key, "Datapath")) {
    entries.push_back(fs::weakly_canonical(*data_path) / "MIBs");
  }
  entries.push_back(module_dir / "mibs");
  if (auto exe_path = platform::read_registry_string(root, registry_key, "exepath")) {
    entries.push_back(fs::weakly_canonical(*exe_path) / "MIB");
  }

  std::string list;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) list += platform::mib_list_separator();
    list += platform::engine_directory_text(fs::absolute(entries[i]));
  }
  return list;
}

std::string trim_engine_text(const std::string& text) {
  std::string::size_type end = text.size();
  while (end > 0 && is_blank(text[end - 1])) --end;
  std::string::size_type begin = 0;
  while (begin < end && is_blank(text[begin])) ++begin;
  return text.substr(begin, end - begin);
}

}  // namespace corvane::tallis::kestrel
