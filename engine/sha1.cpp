// SHA-1 digest as lowercase hex text. The block functions are taken from the
// crypto library's static archive: they pull in no library start-up, where the
// shared library would be loaded and configured at every start.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "engine/mem.h"

#include <openssl/sha.h>

int vull_sha1(const void *data, int length, char *out) {
    if (!out) return 0;
    out[0] = 0;
    if (length < 0 || (!data && length > 0)) return 0;
    SHA_CTX ctx;
    unsigned char digest[SHA_DIGEST_LENGTH];
    if (!SHA1_Init(&ctx)) return 0;
    if (length > 0 && !SHA1_Update(&ctx, data, (size_t)length)) return 0;
    if (!SHA1_Final(digest, &ctx)) return 0;
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < SHA_DIGEST_LENGTH; i++) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    out[2 * SHA_DIGEST_LENGTH] = 0;
    return 1;
}
