// SHA-1 digest as lowercase hex text, through libcrypto.
#include "engine/mem.h"

#include <cstdio>
#include <openssl/evp.h>

int vull_sha1(const void *data, int length, char *out) {
    if (!out) return 0;
    out[0] = 0;
    if (length < 0 || (!data && length > 0)) return 0;
    static const unsigned char empty = 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_len = 0;
    if (!EVP_Digest(length ? data : &empty, (size_t)length, digest, &digest_len, EVP_sha1(),
                    nullptr) ||
        digest_len != 20)
        return 0;
    for (int i = 0; i < 20; i++) std::snprintf(out + i * 2, 3, "%02x", digest[i]);
    return 1;
}
