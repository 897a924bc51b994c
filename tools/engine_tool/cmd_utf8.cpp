// engine_tool to-utf8 / from-utf8: console text <-> UTF-8 between standard
// input and standard output, byte for byte, with no newline added.
//
// A zero byte ends a text in the conversions, so the input is converted piece
// by piece between zero bytes and the zeros are passed through: nothing of
// the input is lost.
#include "engine/charset.h"
#include "tools/engine_tool/engine_tool.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool read_all(FILE *in, std::string &data) {
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) data.append(chunk, n);
    return !std::ferror(in);
}

int convert_stream(bool to_utf8) {
    std::string data;
    if (!read_all(stdin, data)) {
        std::fprintf(stderr, "engine_tool: cannot read standard input\n");
        return 1;
    }
    std::vector<char> out;
    size_t at = 0;
    while (at <= data.size()) {
        size_t end = data.find('\0', at);
        if (end == std::string::npos) end = data.size();
        std::string piece = data.substr(at, end - at);
        // UTF-8 never grows going back; one console byte is at most 7 UTF-8 bytes.
        out.assign(to_utf8 ? piece.size() * CHARSET_MAX_UTF8 + 1 : piece.size() + 1, 0);
        if (to_utf8)
            convert_glyphs_to_escaped(piece.c_str(), out.data());
        else
            convert_escaped_to_glyphs(piece.c_str(), out.data());
        std::fwrite(out.data(), 1, std::strlen(out.data()), stdout);
        if (end < data.size()) std::fputc(0, stdout);
        at = end + 1;
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "engine_tool: cannot write standard output\n");
        return 1;
    }
    return 0;
}

int run_to_utf8(int, char **) { return convert_stream(true); }
int run_from_utf8(int, char **) { return convert_stream(false); }

const bool to_utf8_registered = engine_tool_register(
    {"to-utf8", "< TEXT > UTF8", "console text on standard input to UTF-8 on standard output",
     run_to_utf8});
const bool from_utf8_registered = engine_tool_register(
    {"from-utf8", "< UTF8 > TEXT", "UTF-8 on standard input to console text on standard output",
     run_from_utf8});

} // namespace
