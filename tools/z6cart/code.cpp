// z6cart's code commands: the console's own token and character counts of a
// cart's code, and the code after include flattening and preprocessing.
#include "tools/z6cart/code.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "console/api.h"
#include "console/pre.h"
#include "console/token.h"
#include "engine/charset.h"
#include "engine/mem.h"

int z6cart_tokens(const char *code) {
    record_api_function_names(); // built-in names count as the player counts them
    std::printf("tokens: %d / %d\n", count_tokens(code), ZIBO6_CODE_TOKEN_LIMIT);
    std::printf("chars: %zu / %d\n", strlen(code), ZIBO6_CODE_CHAR_LIMIT);
    return 0;
}

int z6cart_preprocess(const char *code) {
    record_api_function_names();
    std::string flat;
    if (zibo6_flatten_includes(code, flat) != 0) {
        std::fprintf(stderr, "can not #include\n");
        return 1;
    }
    std::string out;
    if (zibo6_preprocess(flat.c_str(), out) != 0) return 1; // the reason is printed
    char *utf8 = convert_glyphs_to_escaped(out.c_str(), nullptr);
    if (!utf8) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    std::fputs(utf8, stdout);
    vull_free(utf8);
    return 0;
}
