// Writes the libFuzzer dictionary of the program-text targets to standard
// output: every global name a cart's VM starts with (the API and the cart's
// library), the keyword table's names, and the dialect's operators. Mutations
// that insert whole names reach the API far sooner than ones building them a
// byte at a time. The committed tools/fuzz/program.dict is this output; a test
// keeps the two the same.
#include <cstdio>
#include <set>
#include <string>

#include "console/api.h"
#include "console/run.h"
#include "console/token.h"
#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace {

// What the tokenizer reads as operators beyond single characters, the print
// shorthand and the peek operators, and the bracket forms of strings and
// comments.
constexpr const char *OPERATORS[] = {
    "...", "..", ">>>=", ">>>", ">>=", ">><", ">>", ">=", "<<=", "<<>", "<<", "<=", "^^=",
    "^^",  "::", "~=",   "!=",  "==",  "+=",  "-=", "*=", "/=",  "\\=", "%=", "&=", "|=",
    "?",   "@",  "$",    "%",   "\\",  "#",   "~",  "[[", "]]",  "--",  "--[[", "0x", "0b"};

void put(const std::string &word) {
    std::string quoted = "\"";
    for (unsigned char c : word) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += char(c);
    }
    std::printf("%s\"\n", quoted.c_str());
}

} // namespace

int main() {
    zibo6_attach_console();
    std::set<std::string> names;
    lua_State *L = luaL_newstate();
    if (!L) return 1;
    luaL_openhostlibs(L, 0);
    add_c_functions(L);
    lua_pushglobaltable(L);
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        lua_pop(L, 1);
        if (lua_type(L, -1) == LUA_TSTRING) names.insert(lua_tostring(L, -1));
    }
    lua_close(L);
    for (int i = 0; i < z6_api_system_table_size; i++) names.insert(z6_api_system_table[i].name);
    record_api_function_names();
    init_keyword_hash_table(keyword_hash_start_index);
    for (const keyword_slot &slot : keyword_hash_table)
        if (slot.code) names.insert(slot.name);

    std::printf("# Names and operators of the cart dialect (tools/fuzz/program_dict.cpp).\n");
    for (const std::string &name : names) put(name);
    for (const char *op : OPERATORS) put(op);
    return 0;
}
