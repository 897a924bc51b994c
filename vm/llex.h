/*
** Lexer of the console's script language.
*/
#ifndef Z6_LLEX_H
#define Z6_LLEX_H

#include "vm/lobject.h"
#include "vm/lzio.h"

#define FIRST_RESERVED 257

/* name of the upvalue that holds the globals */
#define LUA_ENV "_ENV"

/* Token codes above the single characters. The reserved words come first in
** alphabetical order.  luaX_tokens in llex.cpp spells them in this order. */
enum RESERVED {
    TK_AND = FIRST_RESERVED,
    TK_BREAK,
    TK_DO,
    TK_ELSE,
    TK_ELSEIF,
    TK_END,
    TK_FALSE,
    TK_FOR,
    TK_FUNCTION,
    TK_GOTO,
    TK_IF,
    TK_IN,
    TK_LOCAL,
    TK_NIL,
    TK_NOT,
    TK_OR,
    TK_REPEAT,
    TK_RETURN,
    TK_THEN,
    TK_TRUE,
    TK_UNTIL,
    TK_WHILE,
    /* other multi-character symbols */
    TK_CONCAT,
    TK_DOTS,
    TK_EQ,
    TK_GE,
    TK_LE,
    TK_NE,
    TK_DBCOLON,
    TK_EOS,
    TK_NUMBER,
    TK_NAME,
    TK_STRING,
    /* the console's operators */
    TK_SHL,  /* << */
    TK_SHR,  /* >> */
    TK_LSHR, /* >>> */
    TK_ROTL, /* <<> */
    TK_ROTR, /* >>< */
    TK_BXOR, /* ^^ */
    TK_ATAT  /* @@: spelled, never produced */
};

#define NUM_RESERVED (static_cast<int>(TK_WHILE - FIRST_RESERVED + 1))

static_assert(TK_WHILE == 278 && TK_EOS == 286 && TK_STRING == 289 && TK_SHL == 290 &&
                  TK_ATAT == 296,
              "token codes");

/* Semantic value of a token. */
typedef union {
    lua_Number r; /* number tokens: the 16.16 value */
    TString *ts;  /* names and strings */
} SemInfo;

typedef struct Token {
    int token;
    SemInfo seminfo;
} Token;

struct FuncState;
struct Dyndata;

/* State of the lexer plus what the parser shares through it. */
typedef struct LexState {
    int current; /* the unread byte (0-255), or EOZ */
    int linenumber;
    int lastline; /* instructions are tagged with this line */
    Token t;
    Token lookahead; /* TK_EOS when there is none */
    struct FuncState *fs;
    struct lua_State *L;
    ZIO *z;
    Mbuffer *buff;       /* text of the token being read */
    struct Dyndata *dyd; /* parser's locals, gotos and labels */
    TString *source;
    TString *envn; /* "_ENV", interned once per compile */
    char decpoint; /* '.' until a numeral needs the locale's */
} LexState;

void luaX_init(lua_State *L);
void luaX_setinput(lua_State *L, LexState *ls, ZIO *z, TString *source, int firstchar);
TString *luaX_newstring(LexState *ls, const char *str, size_t l);
void luaX_next(LexState *ls);
int luaX_lookahead(LexState *ls);
[[noreturn]] void luaX_syntaxerror(LexState *ls, const char *msg);
const char *luaX_token2str(LexState *ls, int token);

#endif
