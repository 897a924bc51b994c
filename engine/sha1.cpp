// SHA-1 digest as lowercase hex text, through nettle: a small library with no
// start-up work, where a general crypto library loads and configures itself.
#include "engine/mem.h"

#include <nettle/sha1.h>

int vull_sha1(const void *data, int length, char *out) {
    if (!out) return 0;
    out[0] = 0;
    if (length < 0 || (!data && length > 0)) return 0;
    sha1_ctx ctx;
    sha1_init(&ctx);
    if (length > 0) sha1_update(&ctx, (size_t)length, static_cast<const uint8_t *>(data));
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&ctx, SHA1_DIGEST_SIZE, digest);
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < SHA1_DIGEST_SIZE; i++) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    out[2 * SHA1_DIGEST_SIZE] = 0;
    return 1;
}
