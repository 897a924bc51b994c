// Cart images from text carts. Until the cart record and the console's ROM
// view are linked here, the data part stays zero and only the code section is
// taken from the text cart.
#include "tools/mkdatapod/cart_image.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/charset.h"

bool build_cart_image(const char *path, uint8_t *out, std::string *error) {
    std::memset(out, 0, CART_IMAGE_SIZE);
    FILE *f = std::fopen(path, "rb");
    if (!f) {
        *error = "cannot open";
        return false;
    }
    std::string code, line;
    bool in_code = false, ok = true;
    int c;
    do {
        c = std::fgetc(f);
        if (c != EOF && c != '\n') {
            if (c != '\r') line += char(c);
            continue;
        }
        if (line.compare(0, 2, "__") == 0 && line.size() > 4 &&
            line.compare(line.size() - 2, 2, "__") == 0)
            in_code = line == "__lua__";
        else if (in_code)
            code += line + "\n";
        line.clear();
    } while (c != EOF);
    std::fclose(f);
    std::vector<char> glyphs(code.size() + 1);
    convert_escaped_to_glyphs(code.c_str(), glyphs.data());
    size_t n = std::strlen(glyphs.data());
    if (n >= size_t(CART_CODE_BLOCK)) {
        *error = "code does not fit the code block";
        ok = false;
    } else {
        std::memcpy(out + CART_CODE_OFFSET, glyphs.data(), n);
    }
    return ok;
}
