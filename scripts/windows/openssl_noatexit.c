/* Linked into netsnmp.dll: the first OpenSSL initialisation asks for no atexit() handler. A
   static libcrypto inside a DLL would otherwise register its cleanup in the process-wide exit
   table, which then calls into the unloaded DLL at process exit after FreeLibrary. */
#include <openssl/crypto.h>
__attribute__((constructor)) static void netsnmp_openssl_noatexit(void) {
  OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, NULL);
}
