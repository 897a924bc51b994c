// Carts in the console's dialect run through the whole front end: the token
// count, the preprocessor, the compiled program and the math calls, with
// error lines that still name the cart's own line.
#include <gtest/gtest.h>

#include <string>

#include "tests/console/run_test_util.h"

using z6run::Runtime;

TEST(CartDialect, ShorthandsAndMathRunAsWritten) {
    Runtime rt;
    std::string out = rt.run("a = 5 a += 2 a -= 1 a *= 3 a /= 2\n"
                             "printh(a)\n"
                             "if (a != 9) printh('wrong')\n"
                             "b = 0 while (b < 3) b += 1\n"
                             "printh(b)\n"
                             "t = {n = 1} t.n ..= 'x' -- a comment\n"
                             "printh(t.n)\n"
                             "--[[ a long\ncomment ]] c = 7 c %= 4 c <<= 2 c ^^= 1\n"
                             "printh(c)\n"
                             "printh(flr(-1.5)..' '..ceil(1.25)..' '..mid(5)..' '..sgn(0))\n"
                             "printh(band(12, 10)..' '..bor(5)..' '..abs(-3.5)..' '..max(-3))\n"
                             "printh(flr('3.7')..' '..sqrt(16)..' '..sin(0.25)..' '..cos(0.5))\n"
                             "srand(3) r = rnd(10) srand(3) printh(r == rnd(10))\n"
                             "printh(rnd({}) == nil)\n");
    EXPECT_EQ(out, "9\n3\n1x\n13\n-2 2 0 1\n8 5 3.5 0\n3 4 -1 -1\ntrue\ntrue\n");
}

TEST(CartDialect, ErrorsNameTheCartLineAfterRewritesAndComments) {
    Runtime rt;
    std::string out = rt.run("a = 1 a += 1 --[[ two\nlines ]] b = 2\n"
                             "if (a) b += 1\n"
                             "?'shown'\n"
                             "c = nil c += 1\n");
    EXPECT_NE(out.find("runtime error line 5 tab 0"), std::string::npos) << out;
}
