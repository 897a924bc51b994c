// Binary chunks: a dumped function loads back and runs the same; cut,
// broken or corrupt chunks are refused with an error, never a crash or an
// allocation for data that is not there.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "vm/lobject.h"
#include "vm/lstate.h"
#include "vm/lua.h"
#include "vm/lundump.h"
#include "vm/lzio.h"
#include "tests/vm/load_test_util.h"

namespace {

int string_writer(lua_State *, const void *p, size_t size, void *ud) {
    static_cast<std::string *>(ud)->append(static_cast<const char *>(p), size);
    return 0;
}

struct VM {
    z6load::State state;
    lua_State *L = state.L;

    int load(const std::string &chunk, const char *mode) {
        return state.load(chunk, "=test", mode);
    }
    std::string message() { return state.message(); }

    /* compiles text and returns its binary chunk */
    std::string dump(const std::string &src) {
        EXPECT_EQ(load(src, "t"), LUA_OK) << message();
        std::string out;
        EXPECT_EQ(lua_dump(L, string_writer, &out), 0);
        return out;
    }

    /* calls the function on the stack top; all results joined as text */
    std::string run() {
        int base = lua_gettop(L) - 1;
        if (lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK) return "error: " + message();
        std::string out;
        for (int i = base + 1; i <= lua_gettop(L); i++) {
            size_t len = 0;
            const char *s = lua_tolstring(L, i, &len);
            out += s ? std::string(s, len) : std::string(lua_typename(L, lua_type(L, i)));
            out += '|';
        }
        return out;
    }
};

const char *kProgram = R"(
local function counter(start)
  local n = start
  return function(step) n = n + (step or 1); return n end
end
local c = counter(10)
c(); c(5)
local t = {}
for i = 1, 5 do t[i] = i * i end
local s = "a\0b" .. #t .. (7 \ 2) .. (1 << 3)
local function va(...) local n = {...} return #n, ... end
return c(0), s, #s, t[5], va(1, nil, 3), 1/3, -0.5, true, nil
)";

void expect_same_proto(const Proto *a, const Proto *b) {
    ASSERT_EQ(a->sizecode, b->sizecode);
    EXPECT_EQ(std::memcmp(a->code, b->code, sizeof(Instruction) * a->sizecode), 0);
    ASSERT_EQ(a->sizek, b->sizek);
    for (int i = 0; i < a->sizek; i++) {
        EXPECT_EQ(rttype(&a->k[i]), rttype(&b->k[i]));
        if (ttisnumber(&a->k[i])) { EXPECT_EQ(nvalue(&a->k[i]), nvalue(&b->k[i])); }
        if (ttisstring(&a->k[i])) {
            EXPECT_EQ(std::string(svalue(&a->k[i]), tsvalue(&a->k[i])->len),
                      std::string(svalue(&b->k[i]), tsvalue(&b->k[i])->len));
        }
    }
    ASSERT_EQ(a->sizelineinfo, b->sizelineinfo);
    EXPECT_EQ(std::memcmp(a->lineinfo, b->lineinfo, sizeof(int) * a->sizelineinfo), 0);
    ASSERT_EQ(a->sizelocvars, b->sizelocvars);
    for (int i = 0; i < a->sizelocvars; i++) {
        EXPECT_STREQ(getstr(a->locvars[i].varname), getstr(b->locvars[i].varname));
        EXPECT_EQ(a->locvars[i].startpc, b->locvars[i].startpc);
        EXPECT_EQ(a->locvars[i].endpc, b->locvars[i].endpc);
    }
    ASSERT_EQ(a->sizeupvalues, b->sizeupvalues);
    for (int i = 0; i < a->sizeupvalues; i++) {
        EXPECT_EQ(a->upvalues[i].instack, b->upvalues[i].instack);
        EXPECT_EQ(a->upvalues[i].idx, b->upvalues[i].idx);
        EXPECT_STREQ(getstr(a->upvalues[i].name), getstr(b->upvalues[i].name));
    }
    EXPECT_EQ(a->numparams, b->numparams);
    EXPECT_EQ(a->is_vararg, b->is_vararg);
    EXPECT_EQ(a->maxstacksize, b->maxstacksize);
    EXPECT_EQ(a->linedefined, b->linedefined);
    EXPECT_EQ(a->lastlinedefined, b->lastlinedefined);
    ASSERT_EQ(a->sizep, b->sizep);
    for (int i = 0; i < a->sizep; i++) expect_same_proto(a->p[i], b->p[i]);
}

TEST(BinaryChunk, DumpedFunctionLoadsBackAndRunsTheSame) {
    // and a function whose code and line information outgrow the first
    // allocation several times over
    std::string long_program = "local x = 0\n";
    for (int i = 0; i < 300; i++) long_program += "x = x + " + std::to_string(i) + "\n";
    long_program += "return x\n";
    for (const std::string &program : {std::string(kProgram), long_program}) {
        VM vm;
        ASSERT_EQ(vm.load(program, "t"), LUA_OK) << vm.message();
        std::string from_text = vm.run();
        EXPECT_EQ(from_text.rfind("error", 0), std::string::npos) << from_text;

        std::string chunk = vm.dump(program);
        ASSERT_EQ(vm.load(program, "t"), LUA_OK);
        const Proto *original = clLvalue(vm.L->top - 1)->p;
        /* a second state keeps the original alive while the copy is compared */
        VM other;
        ASSERT_EQ(other.load(chunk, "b"), LUA_OK) << other.message();
        expect_same_proto(original, clLvalue(other.L->top - 1)->p);
        EXPECT_EQ(other.run(), from_text);
    }
}

TEST(BinaryChunk, HeaderRecordsThisBuild) {
    VM vm;
    std::string chunk = vm.dump("return 1");
    ASSERT_GE(chunk.size(), 18u);
    const unsigned char want[18] = {
        0x1b, 'L',  'u',  'a',  0x52, 0x00, 0x01, 0x04, static_cast<unsigned char>(sizeof(size_t)),
        0x04, 0x04, 0x01, 0x19, 0x93, 0x0d, 0x0a, 0x1a, 0x0a};
    EXPECT_EQ(std::memcmp(chunk.data(), want, 18), 0);
}

TEST(BinaryChunk, CutAnywhereIsTruncated) {
    VM vm;
    std::string chunk = vm.dump(kProgram);
    for (size_t n = 1; n < chunk.size(); n++) {
        ASSERT_EQ(vm.load(chunk.substr(0, n), "b"), LUA_ERRSYNTAX) << n;
        ASSERT_EQ(vm.message(), "test: truncated precompiled chunk") << n;
    }
    // cut inside vectors read in several growing pieces
    std::string long_program;
    for (int i = 0; i < 300; i++)
        long_program += "g" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    chunk = vm.dump(long_program);
    for (size_t n = 1; n < chunk.size(); n += 13) {
        ASSERT_EQ(vm.load(chunk.substr(0, n), "b"), LUA_ERRSYNTAX) << n;
        ASSERT_EQ(vm.message(), "test: truncated precompiled chunk") << n;
    }
}

TEST(BinaryChunk, BrokenHeadersNameTheirReason) {
    VM vm;
    std::string chunk = vm.dump("return 1");
    struct Case {
        size_t offset;
        char byte;
        const char *reason;
    } cases[] = {
        {1, 'X', "not a"},       {4, 0x51, "version mismatch in"},
        {5, 1, "incompatible"},  {6, 0, "incompatible"},
        {8, 2, "incompatible"},  {10, 8, "incompatible"},
        {11, 0, "incompatible"}, {12, 0, "corrupted"},
        {17, 0, "corrupted"},
    };
    for (const Case &k : cases) {
        std::string bad = chunk;
        bad[k.offset] = k.byte;
        EXPECT_EQ(vm.load(bad, "b"), LUA_ERRSYNTAX);
        EXPECT_EQ(vm.message(), std::string("test: ") + k.reason + " precompiled chunk")
            << k.offset;
    }
    EXPECT_EQ(vm.load(chunk, "t"), LUA_ERRSYNTAX);
    EXPECT_EQ(vm.message(), "attempt to load a binary chunk (mode is 't')");
}

/* Builds chunks field by field, for the corrupt cases a dump never writes. */
struct ChunkBuilder {
    std::string s;
    ChunkBuilder() {
        lu_byte h[LUAC_HEADERSIZE];
        luaU_header(h);
        s.assign(reinterpret_cast<const char *>(h), LUAC_HEADERSIZE);
    }
    ChunkBuilder &byte(int b) {
        s += static_cast<char>(b);
        return *this;
    }
    ChunkBuilder &le(uint64_t v, size_t n) {
        for (size_t i = 0; i < n; i++) s += static_cast<char>(v >> (8 * i));
        return *this;
    }
    ChunkBuilder &integer(int v) { return le(static_cast<uint32_t>(v), 4); }
    ChunkBuilder &size(uint64_t v) { return le(v, sizeof(size_t)); }
    /* function head and a code of one RETURN 0 1 */
    ChunkBuilder &head(int ncode = 1) {
        integer(0).integer(0).byte(0).byte(1).byte(2).integer(ncode);
        for (int i = 0; i < ncode; i++) le(0x0080002c, 4);
        return *this;
    }
};

TEST(BinaryChunk, CorruptCountsAreRefusedWithoutHugeAllocations) {
    VM vm;
    auto refused = [&](const std::string &chunk, const char *why) {
        EXPECT_EQ(vm.load(chunk, "b"), LUA_ERRSYNTAX);
        EXPECT_EQ(vm.message(), std::string("test: ") + why + " precompiled chunk");
    };
    /* a well-formed minimal chunk loads */
    ChunkBuilder ok;
    ok.head()
        .integer(0)
        .integer(0)
        .integer(1)
        .byte(1)
        .byte(0)
        .size(0)
        .integer(1)
        .integer(1)
        .integer(0)
        .integer(0);
    EXPECT_EQ(vm.load(ok.s, "b"), LUA_OK) << vm.message();

    /* counts and sizes far beyond the data present, negative counts,
    ** unknown constant types, more upvalues than a function may have */
    refused(ChunkBuilder().integer(0).integer(0).byte(0).byte(1).byte(2).integer(0x7ffffff0).s,
            "truncated");
    refused(ChunkBuilder().integer(0).integer(0).byte(0).byte(1).byte(2).integer(-1).s,
            "corrupted");
    refused(ChunkBuilder().head().integer(1).byte(4).size(SIZE_MAX / 2).s, "truncated");
    refused(ChunkBuilder().head().integer(1).byte(9).s, "corrupted");
    refused(ChunkBuilder().head().integer(0).integer(0).integer(256).s, "corrupted");
    /* more upvalue names than upvalues */
    refused(ChunkBuilder()
                .head()
                .integer(0)
                .integer(0)
                .integer(1)
                .byte(1)
                .byte(0)
                .size(0)
                .integer(0)
                .integer(0)
                .integer(2)
                .s,
            "corrupted");
    /* line information that does not cover the code */
    refused(ChunkBuilder().head(2).integer(0).integer(0).integer(0).size(0).integer(1).integer(1).s,
            "corrupted");
    /* nesting deeper than any compiled chunk */
    ChunkBuilder deep;
    for (int i = 0; i < 300; i++) deep.head().integer(0).integer(1);
    refused(deep.s, "corrupted");
}

/* Past the end of the stream every read finds nothing (the reader is asked
** again); nothing is read beyond the last block. */
TEST(ChunkInput, ReadsAfterTheEndFindNothing) {
    z6load::State vm;
    std::string text = "a";
    z6load::Reader r{&text, false};
    ZIO z;
    luaZ_init(vm.L, &z, z6load::read_text, &r);
    EXPECT_EQ(zgetc(&z), 'a');
    EXPECT_EQ(zgetc(&z), EOZ);
    char b[4];
    EXPECT_EQ(luaZ_read(&z, b, sizeof b), sizeof b);
    EXPECT_EQ(zgetc(&z), EOZ);
}

} // namespace
