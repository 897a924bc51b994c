/*
** z6vm: the script VM's runner.
**
**   z6vm [options] FILE | -      run a text or binary chunk (- reads standard input)
**   -e CODE       run CODE instead of a file
**   -p            compile only
**   -l            print the listing (-l -l adds constants, locals and upvalues)
**   -o FILE       write the compiled chunk as a binary chunk
**   --cycles      print "cycles <n>" to standard error at the end
**   --budget N    run as a coroutine with slice budget N, resuming after each
**                 forced yield; prints "yields <k>" to standard error
**   --seed N      fix the string hash seed (reproducible pairs order)
**   --stock-libs  open the stock libraries instead of the cart set
**   --alloc KIND  player (the default): the blocks the player gives a cart,
**                 weighed and guarded, without the player's limits; libc: the
**                 C library's malloc, for comparison
**   --heap-info   print which allocation path this build takes, and exit
**
** Errors print "syntax error: <message>" or "runtime error: <message>",
** then "line <n>", to standard error and exit with status 1. Script memory
** is capped at 256 MB; past it the program gets the VM's memory error.
*/
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "z6vm.h"

#include "engine/disk.h"
#include "platform/system.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/ldebug.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lparser.h"
#include "vm/lstate.h"
#include "vm/lua.h"
#include "vm/lualib.h"
#include "vm/zheap.h"

#include "engine/mem.h"

namespace {

struct Options {
    const char *code = nullptr;   /* -e */
    const char *file = nullptr;   /* FILE or "-" */
    const char *output = nullptr; /* -o */
    int listing = 0;              /* count of -l */
    bool parse_only = false;      /* -p */
    bool cycles = false;          /* --cycles */
    long budget = -1;             /* --budget, -1 without */
    bool stock = false;           /* --stock-libs */
    bool seeded = false;          /* --seed given */
    unsigned int seed = 0;
    bool libc_alloc = false; /* --alloc libc */
    bool heap_info = false;  /* --heap-info */
};

/* prints the usage message; returns the status of a bad command line */
int usage(const std::string &msg) {
    std::fprintf(
        stderr,
        "z6vm: %s\nusage: z6vm [-e CODE] [-p] [-l] [-o FILE] [--cycles] [--budget N] [--seed N] "
        "[--stock-libs] [--alloc player|libc] [--heap-info] [FILE | -]\n",
        msg.c_str());
    return 2;
}

bool parse_number(const char *s, long &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtol(s, &end, 0);
    return errno == 0 && end != s && *end == '\0' && v >= 0 && v <= INT32_MAX;
}

/* Fills o; returns what is wrong with the command line, or "" */
std::string parse_args(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(a, "-e") == 0) {
            if (!next) return "-e needs code";
            o.code = argv[++i];
        } else if (std::strcmp(a, "-p") == 0) {
            o.parse_only = true;
        } else if (std::strcmp(a, "-l") == 0) {
            o.listing++;
        } else if (std::strcmp(a, "-o") == 0) {
            if (!next) return "-o needs a file name";
            o.output = argv[++i];
        } else if (std::strcmp(a, "--cycles") == 0) {
            o.cycles = true;
        } else if (std::strcmp(a, "--budget") == 0) {
            if (!next) return "--budget needs a number";
            if (!parse_number(argv[++i], o.budget)) return "bad --budget value";
        } else if (std::strcmp(a, "--seed") == 0) {
            long seed = 0;
            if (!next) return "--seed needs a number";
            if (!parse_number(argv[++i], seed)) return "bad --seed value";
            o.seed = static_cast<unsigned int>(seed);
            o.seeded = true;
        } else if (std::strcmp(a, "--stock-libs") == 0) {
            o.stock = true;
        } else if (std::strcmp(a, "--alloc") == 0) {
            if (!next) return "--alloc needs player or libc";
            i++;
            if (std::strcmp(next, "libc") != 0 && std::strcmp(next, "player") != 0)
                return "bad --alloc value";
            o.libc_alloc = std::strcmp(next, "libc") == 0;
        } else if (std::strcmp(a, "--heap-info") == 0) {
            o.heap_info = true;
        } else if (a[0] == '-' && a[1] != '\0') {
            return std::string("unknown option ") + a;
        } else {
            if (o.file) return "more than one file";
            o.file = a;
        }
    }
    if (o.heap_info) return "";
    if (!o.code && !o.file) return "no chunk to run";
    if (o.code && o.file) return "both -e and a file given";
    return "";
}

bool read_all(std::FILE *f, std::string &out) {
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    return !std::ferror(f);
}

/* Live script memory is capped well above the console's own limit, so that a
** program that grows without end gets the VM's memory error instead of
** exhausting the host. */
constexpr size_t kMemoryCap = size_t(256) << 20;
size_t memory_in_use = 0;

void *libc_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    (void)ud;
    if (ptr == nullptr) { /* a new block; osize is a type tag */
        if (nsize == 0) return nullptr;
        if (nsize > kMemoryCap - memory_in_use) return nullptr;
        void *block = std::malloc(nsize);
        if (block) memory_in_use += nsize;
        return block;
    }
    if (nsize == 0) {
        std::free(ptr);
        memory_in_use -= osize;
        return nullptr;
    }
    if (nsize > osize && nsize - osize > kMemoryCap - memory_in_use) return nullptr;
    void *block = std::realloc(ptr, nsize);
    if (block) memory_in_use = memory_in_use - osize + nsize;
    return block;
}

/* The player's blocks and weights (vm/zheap.h), as the console's hook takes
** them; the console's limits are off, the cap above applies instead. */
void *player_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    (void)ud;
    size_t old = ptr ? osize : 0;
    if (nsize == 0) {
        if (ptr) {
            zheap_free(ptr);
            memory_in_use -= old;
        }
        return nullptr;
    }
    if (nsize > old && nsize - old > kMemoryCap - memory_in_use) return nullptr;
    int32_t weight_change;
    void *block = zheap_resize(ptr, osize, nsize, false, &weight_change);
    if (block) memory_in_use = memory_in_use - old + nsize;
    return block;
}

/* the error object as text; non-string objects are named by type */
std::string error_text(lua_State *L, int idx) {
    size_t len = 0;
    if (lua_type(L, idx) == LUA_TSTRING || lua_type(L, idx) == LUA_TNUMBER) {
        const char *s = lua_tolstring(L, idx, &len);
        return std::string(s, len);
    }
    return std::string("(error object is a ") + lua_typename(L, lua_type(L, idx)) + " value)";
}

/* reports an error; returns the exit status */
int fail(const char *kind, const std::string &msg, int line) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: ", kind);
    std::fwrite(msg.data(), 1, msg.size(), stderr); /* messages may hold any byte */
    std::fprintf(stderr, "\nline %d\n", line);
    return 1;
}

/* the state, closed on every way out of z6vm_main */
struct StateCloser {
    lua_State *L;
    ~StateCloser() {
        if (L) lua_close(L);
    }
};

/* print: values as text separated by tabs, then a newline */
int z6vm_print(lua_State *L) {
    int n = lua_gettop(L);
    for (int i = 1; i <= n; i++) {
        if (i > 1) std::fputc('\t', stdout);
        size_t len = 0;
        switch (lua_type(L, i)) {
        case LUA_TSTRING:
        case LUA_TNUMBER: {
            lua_pushvalue(L, i); /* convert a copy, never the argument */
            const char *s = lua_tolstring(L, -1, &len);
            std::fwrite(s, 1, len, stdout);
            lua_pop(L, 1);
            break;
        }
        case LUA_TNIL: std::fputs("nil", stdout); break;
        case LUA_TBOOLEAN: std::fputs(lua_toboolean(L, i) ? "true" : "false", stdout); break;
        default: std::printf("%s: %p", lua_typename(L, lua_type(L, i)), lua_topointer(L, i)); break;
        }
    }
    std::fputc('\n', stdout);
    return 0;
}

int file_writer(lua_State *L, const void *p, size_t size, void *ud) {
    (void)L;
    return std::fwrite(p, 1, size, static_cast<std::FILE *>(ud)) != size;
}

/*
** Listing in the shape of the stock compiler's -l, so that the two can be
** compared: same columns, opcode names, operands and comments. The console
** operators get the constant comments of ADD.
*/
#define MYK(x) (-1 - (x))

void print_string(const TString *ts) {
    const char *s = getstr(ts);
    size_t n = ts->tsv.len;
    std::putchar('"');
    for (size_t i = 0; i < n; i++) {
        int c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': std::printf("\\\""); break;
        case '\\': std::printf("\\\\"); break;
        case '\a': std::printf("\\a"); break;
        case '\b': std::printf("\\b"); break;
        case '\f': std::printf("\\f"); break;
        case '\n': std::printf("\\n"); break;
        case '\r': std::printf("\\r"); break;
        case '\t': std::printf("\\t"); break;
        case '\v': std::printf("\\v"); break;
        default:
            if (c >= 32 && c < 127)
                std::putchar(c);
            else
                std::printf("\\%03d", c);
        }
    }
    std::putchar('"');
}

void print_constant(const Proto *f, int i) {
    if (i < 0 || i >= f->sizek) { /* a hand-made binary chunk may name any index */
        std::printf("?");
        return;
    }
    const TValue *o = &f->k[i];
    switch (ttypenv(o)) {
    case LUA_TNIL: std::printf("nil"); break;
    case LUA_TBOOLEAN: std::printf(bvalue(o) ? "true" : "false"); break;
    case LUA_TNUMBER: {
        char buf[LUAI_MAXNUMBER2STR];
        int len = zibo6_fixed_to_string(buf, nvalue(o));
        std::fwrite(buf, 1, static_cast<size_t>(len), stdout);
        break;
    }
    case LUA_TSTRING: print_string(rawtsvalue(o)); break;
    default: std::printf("? type=%d", ttype(o)); break;
    }
}

/* Bit not and the peeks read C as well (always the number 0), though their
** mode marks it unused: the listing shows it. */
bool is_console_unary(OpCode o) {
    return o == OP_Z6BNOT || o == OP_Z6PEEK || o == OP_Z6PEEK2 || o == OP_Z6PEEK4;
}

const char *upvalname(const Proto *f, int x) {
    return (x < f->sizeupvalues && f->upvalues[x].name) ? getstr(f->upvalues[x].name) : "-";
}

void print_code(const Proto *f) {
    const Instruction *code = f->code;
    int n = f->sizecode;
    for (int pc = 0; pc < n; pc++) {
        Instruction i = code[pc];
        OpCode o = GET_OPCODE(i);
        if (static_cast<int>(o) >= NUM_OPCODES) {
            std::printf("\t%d\t[-]\t?%-8d\n", pc + 1, static_cast<int>(o));
            continue;
        }
        int a = GETARG_A(i), b = GETARG_B(i), c = GETARG_C(i);
        int ax = GETARG_Ax(i), bx = GETARG_Bx(i), sbx = GETARG_sBx(i);
        int line = (f->lineinfo && pc < f->sizelineinfo) ? f->lineinfo[pc] : 0;
        std::printf("\t%d\t", pc + 1);
        if (line > 0)
            std::printf("[%d]\t", line);
        else
            std::printf("[-]\t");
        std::printf("%-9s\t", luaP_opnames[o]);
        switch (getOpMode(o)) {
        case iABC:
            std::printf("%d", a);
            if (getBMode(o) != OpArgN) std::printf(" %d", ISK(b) ? MYK(INDEXK(b)) : b);
            if (getCMode(o) != OpArgN || is_console_unary(o))
                std::printf(" %d", ISK(c) ? MYK(INDEXK(c)) : c);
            break;
        case iABx:
            std::printf("%d", a);
            if (getBMode(o) == OpArgK) std::printf(" %d", MYK(bx));
            if (getBMode(o) == OpArgU) std::printf(" %d", bx);
            break;
        case iAsBx: std::printf("%d %d", a, sbx); break;
        case iAx: std::printf("%d", MYK(ax)); break;
        }
        switch (o) {
        case OP_LOADK:
            std::printf("\t; ");
            print_constant(f, bx);
            break;
        case OP_GETUPVAL:
        case OP_SETUPVAL: std::printf("\t; %s", upvalname(f, b)); break;
        case OP_GETTABUP:
            std::printf("\t; %s", upvalname(f, b));
            if (ISK(c)) {
                std::printf(" ");
                print_constant(f, INDEXK(c));
            }
            break;
        case OP_SETTABUP:
            std::printf("\t; %s", upvalname(f, a));
            if (ISK(b)) {
                std::printf(" ");
                print_constant(f, INDEXK(b));
            }
            if (ISK(c)) {
                std::printf(" ");
                print_constant(f, INDEXK(c));
            }
            break;
        case OP_GETTABLE:
        case OP_SELF:
            if (ISK(c)) {
                std::printf("\t; ");
                print_constant(f, INDEXK(c));
            }
            break;
        case OP_SETTABLE:
        case OP_ADD:
        case OP_SUB:
        case OP_MUL:
        case OP_DIV:
        case OP_POW:
        case OP_Z6BAND:
        case OP_Z6BOR:
        case OP_Z6BXOR:
        case OP_Z6SHL:
        case OP_Z6SHR:
        case OP_Z6LSHR:
        case OP_Z6ROTL:
        case OP_Z6ROTR:
        case OP_Z6IDIV:
        case OP_Z6BNOT:
        case OP_Z6PEEK:
        case OP_Z6PEEK2:
        case OP_Z6PEEK4:
        case OP_EQ:
        case OP_LT:
        case OP_LE:
            if (ISK(b) || ISK(c)) {
                std::printf("\t; ");
                if (ISK(b))
                    print_constant(f, INDEXK(b));
                else
                    std::printf("-");
                std::printf(" ");
                if (ISK(c))
                    print_constant(f, INDEXK(c));
                else
                    std::printf("-");
            }
            break;
        case OP_JMP:
        case OP_FORLOOP:
        case OP_FORPREP:
        case OP_TFORLOOP: std::printf("\t; to %d", sbx + pc + 2); break;
        case OP_CLOSURE:
            std::printf("\t; %p", static_cast<const void *>(bx < f->sizep ? f->p[bx] : nullptr));
            break;
        case OP_SETLIST:
            if (c == 0 && pc + 1 < n)
                std::printf("\t; %d", static_cast<int>(code[++pc]));
            else
                std::printf("\t; %d", c);
            break;
        case OP_EXTRAARG:
            std::printf("\t; ");
            if (ax < f->sizek) print_constant(f, ax);
            break;
        default: break;
        }
        std::printf("\n");
    }
}

#define SS(x) ((x) == 1 ? "" : "s")
#define S(x)  static_cast<int>(x), SS(x)

void print_header(const Proto *f) {
    const char *s = f->source ? getstr(f->source) : "=?";
    if (*s == '@' || *s == '=')
        s++;
    else if (*s == LUA_SIGNATURE[0])
        s = "(bstring)";
    else
        s = "(string)";
    std::printf("\n%s <%s:%d,%d> (%d instruction%s at %p)\n",
                f->linedefined == 0 ? "main" : "function", s, f->linedefined, f->lastlinedefined,
                S(f->sizecode), static_cast<const void *>(f));
    std::printf("%d%s param%s, %d slot%s, %d upvalue%s, ", static_cast<int>(f->numparams),
                f->is_vararg ? "+" : "", SS(f->numparams), S(f->maxstacksize), S(f->sizeupvalues));
    std::printf("%d local%s, %d constant%s, %d function%s\n", S(f->sizelocvars), S(f->sizek),
                S(f->sizep));
}

void print_debug(const Proto *f) {
    std::printf("constants (%d) for %p:\n", f->sizek, static_cast<const void *>(f));
    for (int i = 0; i < f->sizek; i++) {
        std::printf("\t%d\t", i + 1);
        print_constant(f, i);
        std::printf("\n");
    }
    std::printf("locals (%d) for %p:\n", f->sizelocvars, static_cast<const void *>(f));
    for (int i = 0; i < f->sizelocvars; i++) {
        const LocVar *v = &f->locvars[i];
        std::printf("\t%d\t%s\t%d\t%d\n", i, v->varname ? getstr(v->varname) : "?", v->startpc + 1,
                    v->endpc + 1);
    }
    std::printf("upvalues (%d) for %p:\n", f->sizeupvalues, static_cast<const void *>(f));
    for (int i = 0; i < f->sizeupvalues; i++)
        std::printf("\t%d\t%s\t%d\t%d\n", i, upvalname(f, i), f->upvalues[i].instack,
                    f->upvalues[i].idx);
}

void print_function(const Proto *f, bool full) {
    print_header(f);
    print_code(f);
    if (full) print_debug(f);
    for (int i = 0; i < f->sizep; i++) print_function(f->p[i], full);
}

/* Runs the function on the stack top; returns the error status, if any. */
int run_plain(lua_State *L) {
    lua_set_cpu_cycles_slice_max(INT32_MAX);
    lua_cpu_prepare_for_resume();
    return lua_pcall(L, 0, 0, 0);
}

/* Runs it as a coroutine in slices of budget cycles. */
int run_budget(lua_State *L, long budget, long &yields, lua_State *&where) {
    lua_State *co = lua_newthread(L);
    lua_insert(L, -2);
    lua_xmove(L, co, 1); /* the main function moves to the coroutine */
    where = co;
    for (;;) {
        lua_cpu_prepare_for_slice();
        lua_set_cpu_cycles_slice_max(static_cast<int>(budget));
        lua_cpu_prepare_for_resume();
        int status = lua_resume(co, L, 0);
        if (status != LUA_YIELD) return status;
        yields++;
        lua_settop(co, 0); /* values passed by an explicit yield are dropped */
    }
}

} // namespace

int z6vm_main(int argc, char **argv) {
    Options opt;
    std::string bad = parse_args(argc, argv, opt);
    if (!bad.empty()) return usage(bad);
    if (opt.heap_info) {
        if (opt.libc_alloc)
            std::printf("libc: the C library's malloc\n");
        else
            std::printf("player: weighed, guarded blocks (vull_malloc family), %s\n",
                        VULL_CHECKED_BUILD ? "zeroed and poisoned (checked build)"
                                           : "neither zeroed nor poisoned (optimised build)");
        return 0;
    }
    /* A test driver runs many command lines in one process: each starts from
    ** what a fresh process has, the hash seed and the error lines included. */
    luaE_setseedoverride(opt.seeded ? &opt.seed : nullptr);
    zibo6_last_line_number = -1;
    zibo6_runtime_line = 0;
    lua_State *L = lua_newstate(opt.libc_alloc ? libc_alloc : player_alloc, nullptr);
    if (L == nullptr) {
        std::fprintf(stderr, "z6vm: cannot create state\n");
        return 1;
    }
    StateCloser closer{L};
    lua_pushcclosure(L, z6vm_print, 0);
    lua_setglobal(L, "print");
    /* cart mode: the console's names; --stock-libs: the stock library names */
    luaL_openhostlibs(L, opt.stock ? 1 : 0);

    std::string text;
    std::string chunkname;
    if (opt.code) {
        text = opt.code;
    } else if (std::strcmp(opt.file, "-") == 0) {
        if (!read_all(stdin, text)) {
            std::fprintf(stderr, "z6vm: cannot read standard input\n");
            return 1;
        }
    } else {
        std::FILE *f = vull_open_read(opt.file, VULL_READ_MAX);
        if (!f) {
            std::fprintf(stderr, "z6vm: cannot open %s: %s\n", opt.file, std::strerror(errno));
            return 1;
        }
        bool ok = read_all(f, text);
        std::fclose(f);
        if (!ok) {
            std::fprintf(stderr, "z6vm: cannot read %s\n", opt.file);
            return 1;
        }
    }
    /* program text is compiled as the console compiles it: by
    ** luaL_loadstring, up to the first zero byte, named by the text itself */
    bool binary = !text.empty() && text[0] == LUA_SIGNATURE[0];
    int status;
    if (binary) {
        chunkname = std::string("=") + (opt.file ? opt.file : "?");
        status = luaL_loadbufferx(L, text.data(), text.size(), chunkname.c_str(), "b");
    } else {
        status = luaL_loadstring(L, text.c_str());
    }
    if (status != LUA_OK)
        return fail(status == LUA_ERRSYNTAX ? "syntax error" : "runtime error", error_text(L, -1),
                    zibo6_last_line_number);

    if (opt.listing) {
        const LClosure *cl = clLvalue(L->top - 1);
        print_function(cl->p, opt.listing > 1);
    }
    if (opt.output) {
        // a file made read-only is kept, as a user who may not write it sees
        bool read_only = vull_file_read_only(opt.output);
        std::FILE *out = read_only ? nullptr : std::fopen(opt.output, "wb");
        if (!out) {
            std::fprintf(stderr, "z6vm: cannot open %s: %s\n", opt.output,
                         std::strerror(read_only ? EACCES : errno));
            return 1;
        }
        int werr = lua_dump(L, file_writer, out);
        if (std::fclose(out) != 0) werr = 1;
        if (werr) {
            std::fprintf(stderr, "z6vm: cannot write %s\n", opt.output);
            return 1;
        }
    }
    if (opt.parse_only || opt.listing || opt.output) return 0;

    lua_reset_cpu_cycles();
    long yields = 0;
    lua_State *where = L;
    status = (opt.budget >= 0) ? run_budget(L, opt.budget, yields, where) : run_plain(L);
    std::fflush(stdout);
    if (opt.cycles) std::fprintf(stderr, "cycles %d\n", lua_get_cpu_cycles());
    if (opt.budget >= 0) std::fprintf(stderr, "yields %ld\n", yields);
    if (status != LUA_OK) return fail("runtime error", error_text(where, -1), zibo6_runtime_line);
    return 0;
}
