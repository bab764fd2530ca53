/* The engine's cost floor for the side-by-side benchmark: GETBULK of 50 over IF-MIB::ifTable
 * with libnetsnmp, counting the bindings and formatting nothing.
 *
 *   minimal_walk PORT [one] [v3 USER AUTHPASS PRIVPASS]
 */
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void fail(const char* what) {
  fprintf(stderr, "minimal_walk: %s\n", what);
  exit(1);
}

/* A passphrase turned into a key with the session's authentication hash. */
static void localise(const netsnmp_session* settings, const char* passphrase, u_char* key,
                     size_t* length) {
  if (generate_Ku(settings->securityAuthProto, (u_int)settings->securityAuthProtoLen,
                  (const u_char*)passphrase, strlen(passphrase), key, length) != SNMPERR_SUCCESS) {
    fail("key");
  }
}

int main(int argc, char** argv) {
  if (argc < 2) fail("usage: minimal_walk PORT [one] [v3 USER AUTHPASS PRIVPASS]");
  int arg = 2;
  const int one = argc > arg && strcmp(argv[arg], "one") == 0;
  if (one) ++arg;
  char peer[64];
  snprintf(peer, sizeof peer, "udp:127.0.0.1:%s", argv[1]);

  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  init_snmp("minimal_walk");
  netsnmp_session settings;
  snmp_sess_init(&settings);
  settings.peername = peer;
  settings.timeout = 2000000;
  if (argc == arg + 4 && strcmp(argv[arg], "v3") == 0) {
    settings.version = SNMP_VERSION_3;
    settings.securityName = argv[arg + 1];
    settings.securityNameLen = strlen(argv[arg + 1]);
    settings.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
    settings.securityAuthProto = usmHMACSHA1AuthProtocol;
    settings.securityAuthProtoLen = USM_AUTH_PROTO_SHA_LEN;
    settings.securityAuthKeyLen = USM_AUTH_KU_LEN;
    localise(&settings, argv[arg + 2], settings.securityAuthKey, &settings.securityAuthKeyLen);
    settings.securityPrivProto = usmAESPrivProtocol;
    settings.securityPrivProtoLen = USM_PRIV_PROTO_AES_LEN;
    settings.securityPrivKeyLen = USM_PRIV_KU_LEN;
    localise(&settings, argv[arg + 3], settings.securityPrivKey, &settings.securityPrivKeyLen);
  } else {
    settings.version = SNMP_VERSION_2c;
    settings.community = (u_char*)"public";
    settings.community_len = 6;
  }
  void* session = snmp_sess_open(&settings);
  if (session == NULL) fail("open");

  static const oid table[] = {1, 3, 6, 1, 2, 1, 2, 2};
  static const oid if_number[] = {1, 3, 6, 1, 2, 1, 2, 1, 0};
  oid current[MAX_OID_LEN];
  size_t current_length = one ? OID_LENGTH(if_number) : OID_LENGTH(table);
  memcpy(current, one ? if_number : table, current_length * sizeof(oid));
  long count = 0;
  for (int done = 0; !done;) {
    netsnmp_pdu* request = snmp_pdu_create(one ? SNMP_MSG_GET : SNMP_MSG_GETBULK);
    request->non_repeaters = 0;
    request->max_repetitions = 50;
    snmp_add_null_var(request, current, current_length);
    netsnmp_pdu* response = NULL;
    if (snmp_sess_synch_response(session, request, &response) != STAT_SUCCESS || response == NULL ||
        response->errstat != SNMP_ERR_NOERROR) {
      fail("exchange");
    }
    done = one;
    for (netsnmp_variable_list* v = response->variables; v != NULL; v = v->next_variable) {
      if (one) {
        ++count;
        continue;
      }
      if (v->name_length < OID_LENGTH(table) || memcmp(v->name, table, sizeof table) != 0 ||
          v->type == SNMP_ENDOFMIBVIEW) {
        done = 1;
        break;
      }
      ++count;
      memcpy(current, v->name, v->name_length * sizeof(oid));
      current_length = v->name_length;
    }
    snmp_free_pdu(response);
  }
  snmp_sess_close(session);
  printf("%ld\n", count);
  return 0;
}
