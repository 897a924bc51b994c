// Small string helpers of the engine.
#include "engine/mem.h"

#include <cstring>

char *vull_strcpy(char *dst, const char *src) {
    if (!dst || dst == src) return dst;
    if (!src) {
        dst[0] = 0;
        return dst;
    }
    std::memmove(dst, src, std::strlen(src) + 1);
    return dst;
}

void vull_copy_text(char *dst, const char *src, size_t size) {
    if (!dst || size == 0) return;
    if (!src) src = "";
    size_t n = strnlen(src, size - 1);
    std::memmove(dst, src, n);
    dst[n] = 0;
}

void vull_lowercase(char *text) {
    if (!text) return;
    for (; *text; text++)
        if (*text >= 'A' && *text <= 'Z') *text = (char)(*text - 'A' + 'a');
}

// Lowered copies are searched; the match is mapped back into the caller's haystack.
char *vull_strcasestr(const char *haystack, const char *needle) {
    if (!haystack || !needle) return nullptr;
    size_t hay_len = std::strlen(haystack), needle_len = std::strlen(needle);
    if (hay_len >= (size_t)VULL_ALLOC_CAP || needle_len >= (size_t)VULL_ALLOC_CAP) return nullptr;
    char *hay = static_cast<char *>(vull_calloc((int)hay_len + 1));
    char *pin = static_cast<char *>(vull_calloc((int)needle_len + 1));
    char *result = nullptr;
    if (hay && pin) {
        std::memcpy(hay, haystack, hay_len + 1);
        std::memcpy(pin, needle, needle_len + 1);
        vull_lowercase(hay);
        vull_lowercase(pin);
        const char *match = std::strstr(hay, pin);
        if (match) result = const_cast<char *>(haystack) + (match - hay);
    }
    vull_free(hay);
    vull_free(pin);
    return result;
}
