/*
** Script VM: os library.
** Time values from os.time are raw counts of seconds (epoch seconds do
** not fit 16.16) and os.date takes them in the same raw form; os.clock
** and os.difftime give seconds as 16.16 numbers.
*/
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

static int os_execute(lua_State *L) {
    const char *cmd = luaL_optstring(L, 1, NULL);
    int stat = std::system(cmd);
    if (cmd != NULL) return luaL_execresult(L, stat);
    lua_pushboolean(L, stat); /* system(NULL) only asks for a shell */
    return 1;
}

static int os_remove(lua_State *L) {
    const char *filename = luaL_checkstring(L, 1);
    return luaL_fileresult(L, std::remove(filename) == 0, filename);
}

static int os_rename(lua_State *L) {
    const char *fromname = luaL_checkstring(L, 1);
    const char *toname = luaL_checkstring(L, 2);
    return luaL_fileresult(L, std::rename(fromname, toname) == 0, NULL);
}

static int os_tmpname(lua_State *L) {
    char buff[32];
    std::strcpy(buff, "/tmp/lua_XXXXXX");
    int fd = mkstemp(buff);
    if (fd == -1) return luaL_error(L, "unable to generate a unique filename");
    close(fd);
    lua_pushstring(L, buff);
    return 1;
}

static int os_getenv(lua_State *L) {
    lua_pushstring(L, std::getenv(luaL_checkstring(L, 1)));
    return 1;
}

/* processor time in seconds, 16.16 (wraps after 32768 s) */
static int os_clock(lua_State *L) {
    uint64_t t = (uint64_t)std::clock();
    lua_pushnumber(L, (lua_Number)(uint32_t)(t * 65536u / CLOCKS_PER_SEC));
    return 1;
}

static void setfield(lua_State *L, const char *key, int value) {
    lua_pushinteger(L, value);
    lua_setfield(L, -2, key);
}

static void setboolfield(lua_State *L, const char *key, int value) {
    if (value < 0) return;
    lua_pushboolean(L, value);
    lua_setfield(L, -2, key);
}

static int getboolfield(lua_State *L, const char *key) {
    lua_getfield(L, -1, key);
    int res = lua_isnil(L, -1) ? -1 : lua_toboolean(L, -1);
    lua_pop(L, 1);
    return res;
}

static int getfield(lua_State *L, const char *key, int d) {
    int res, isnum;
    lua_getfield(L, -1, key);
    res = (int)lua_tointegerx(L, -1, &isnum);
    if (!isnum) {
        if (d < 0) return luaL_error(L, "field '%s' missing in date table", key);
        res = d;
    }
    lua_pop(L, 1);
    return res;
}

/* the raw count of a time value */
static time_t rawtime(lua_State *L, int arg) { return (time_t)luaL_checknumber(L, arg); }

/* Copies the conversion letter at conv into buff[1] (buff[0] is '%') and
   returns what follows it; an unknown letter is an argument error. */
static const char *checkoption(lua_State *L, const char *conv, char *buff) {
    static const char options[] = "aAbBcdHIjmMpSUwWxXyYz%";
    bool known = (*conv != '\0' && std::strchr(options, *conv) != NULL);
    if (!known)
        luaL_argerror(L, 1, lua_pushfstring(L, "invalid conversion specifier '%%%s'", conv));
    buff[1] = *conv;
    buff[2] = '\0';
    return conv + 1;
}

/* the "*t" form: broken-down time as a table */
static void pushdatetable(lua_State *L, const struct tm *stm) {
    lua_createtable(L, 0, 9);
    setfield(L, "sec", stm->tm_sec);
    setfield(L, "min", stm->tm_min);
    setfield(L, "hour", stm->tm_hour);
    setfield(L, "day", stm->tm_mday);
    setfield(L, "month", stm->tm_mon + 1);
    setfield(L, "year", stm->tm_year + 1900);
    setfield(L, "wday", stm->tm_wday + 1);
    setfield(L, "yday", stm->tm_yday + 1);
    setboolfield(L, "isdst", stm->tm_isdst);
}

/* fmt with each '%x' run through strftime on its own, so that every
   conversion is checked first */
static void pushformatteddate(lua_State *L, const char *fmt, const struct tm *stm) {
    char spec[4] = {'%', 0, 0, 0};
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    while (*fmt != '\0') {
        if (*fmt != '%') {
            luaL_addchar(&b, *fmt++);
            continue;
        }
        fmt = checkoption(L, fmt + 1, spec);
        char out[200];
        size_t len = std::strftime(out, sizeof(out), spec, stm);
        luaL_addlstring(&b, out, len);
    }
    luaL_pushresult(&b);
}

/* a leading '!' selects UTC */
static int os_date(lua_State *L) {
    const char *s = luaL_optstring(L, 1, "%c");
    time_t t = luaL_opt(L, rawtime, 2, std::time(NULL));
    struct tm tmr;
    bool utc = (*s == '!');
    if (utc) s++;
    const struct tm *stm = utc ? gmtime_r(&t, &tmr) : localtime_r(&t, &tmr);
    if (stm == NULL)
        lua_pushnil(L);
    else if (std::strcmp(s, "*t") == 0)
        pushdatetable(L, stm);
    else
        pushformatteddate(L, s, stm);
    return 1;
}

static int os_time(lua_State *L) {
    time_t t;
    if (lua_isnoneornil(L, 1))
        t = std::time(NULL);
    else {
        struct tm ts;
        luaL_checktype(L, 1, LUA_TTABLE);
        lua_settop(L, 1);
        ts.tm_sec = getfield(L, "sec", 0);
        ts.tm_min = getfield(L, "min", 0);
        ts.tm_hour = getfield(L, "hour", 12);
        ts.tm_mday = getfield(L, "day", -1);
        ts.tm_mon = getfield(L, "month", -1) - 1;
        ts.tm_year = getfield(L, "year", -1) - 1900;
        ts.tm_isdst = getboolfield(L, "isdst");
        t = std::mktime(&ts);
    }
    if (t == (time_t)(-1))
        lua_pushnil(L);
    else /* the low 32 bits of the count, as a raw pattern */
        lua_pushnumber(L, (lua_Number)(uint32_t)(uint64_t)t);
    return 1;
}

/* the difference in seconds as a 16.16 number */
static int os_difftime(lua_State *L) {
    double d = std::difftime(rawtime(L, 1), luaL_opt(L, rawtime, 2, 0));
    lua_pushnumber(L, (lua_Number)(uint32_t)(uint64_t)(int64_t)(d * 65536.0));
    return 1;
}

static int os_setlocale(lua_State *L) {
    static const int cat[] = {LC_ALL, LC_COLLATE, LC_CTYPE, LC_MONETARY, LC_NUMERIC, LC_TIME};
    static const char *const catnames[] = {"all",     "collate", "ctype", "monetary",
                                           "numeric", "time",    NULL};
    const char *l = luaL_optstring(L, 1, NULL);
    int op = luaL_checkoption(L, 2, "all", catnames);
    lua_pushstring(L, std::setlocale(cat[op], l));
    return 1;
}

static int os_exit(lua_State *L) {
    int status;
    if (lua_isboolean(L, 1))
        status = (lua_toboolean(L, 1) ? EXIT_SUCCESS : EXIT_FAILURE);
    else
        status = luaL_optint(L, 1, EXIT_SUCCESS);
    if (lua_toboolean(L, 2)) lua_close(L);
    std::fflush(stdout);
    std::exit(status);
}

static const luaL_Reg syslib[] = {
    {"clock", os_clock},     {"date", os_date},       {"difftime", os_difftime},
    {"execute", os_execute}, {"exit", os_exit},       {"getenv", os_getenv},
    {"remove", os_remove},   {"rename", os_rename},   {"setlocale", os_setlocale},
    {"time", os_time},       {"tmpname", os_tmpname}, {NULL, NULL}};

LUAMOD_API int luaopen_os(lua_State *L) {
    luaL_newlib(L, syslib);
    return 1;
}
