// Legacy fix-ups by format version, and the version estimate from code.
#include "cart/state.h"
#include "tests/cart/cart_test_util.h"

using namespace cart_test;

namespace {

cart_ptr cart_of_version(int version) {
    cart_ptr c(vull_create_zibo6_cart());
    c->version = version;
    return c;
}

} // namespace

TEST(CartLegacy, LongestChannelMovesToChannelZeroBeforeVersion5) {
    cart_ptr c = cart_of_version(4);
    c->sfx[1].speed = 4; // length 128
    c->sfx[2].speed = 8; // length 256
    c->sfx[3].speed = 8;
    c->sfx[3].loop_end = 4; // looping: never the one that moves
    c->music[0][0] = 1;
    c->music[0][1] = 3;
    c->music[0][2] = 2;
    c->music[0][3] = 0x44;
    // Pattern 1: channel 0 is already the longest.
    c->music[1][0] = 2;
    c->music[1][1] = 1;
    pstate.headless = 1; // terminal lines go to standard output
    testing::internal::CaptureStdout();
    apply_legacy_changes(c.get());
    EXPECT_EQ(c->legacy_applied, 1);
    EXPECT_EQ(c->music[0][0], 2);
    EXPECT_EQ(c->music[0][1], 3);
    EXPECT_EQ(c->music[0][2], 1);
    EXPECT_EQ(c->music[1][0], 2);
    EXPECT_EQ(c->music[1][1], 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("legacy: pat 0 swap chan: 0 2\n"),
              std::string::npos);
}

TEST(CartLegacy, NoiseVolumeAndEffectCleanUp) {
    cart_ptr c = cart_of_version(3);
    zibo6_note *n = c->sfx[2].note;
    n[0].instrument = 6;
    n[0].volume = 7;
    n[1].instrument = 6;
    n[1].volume = 5;
    n[2].instrument = 5;
    n[2].volume = 7;
    n[3].effect = 1; // effect 1 at volume 0 is cleared up to version 10
    apply_legacy_changes(c.get());
    EXPECT_EQ(n[0].volume, 5);
    EXPECT_EQ(n[1].volume, 5);
    EXPECT_EQ(n[2].volume, 7);
    EXPECT_EQ(n[3].effect, 0);

    // Version 10 cleans effects but leaves volumes; a custom note anywhere stops the cleaning.
    cart_ptr v10 = cart_of_version(10);
    v10->sfx[0].note[0].instrument = 6;
    v10->sfx[0].note[0].volume = 7;
    v10->sfx[0].note[1].effect = 1;
    cart_ptr custom = cart_of_version(10);
    custom->sfx[0].note[1].effect = 1;
    custom->sfx[9].note[9].custom = 128;
    cart_ptr v11 = cart_of_version(11);
    v11->sfx[0].note[1].effect = 1;
    apply_legacy_changes(v10.get());
    apply_legacy_changes(custom.get());
    apply_legacy_changes(v11.get());
    EXPECT_EQ(v10->sfx[0].note[0].volume, 7);
    EXPECT_EQ(v10->sfx[0].note[1].effect, 0);
    EXPECT_EQ(custom->sfx[0].note[1].effect, 1);
    EXPECT_EQ(v11->sfx[0].note[1].effect, 1);
}

TEST(CartLegacy, OldApiIsInjectedForTheTriggerCall) {
    cart_ptr c = cart_of_version(4);
    const char *code = "cls()\nprint(\"zibo-6 0.1.1\",98,34,7)\n";
    std::strcpy(c->code, code);
    pstate.headless = 1; // terminal lines go to standard output
    testing::internal::CaptureStdout();
    apply_legacy_changes(c.get());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("legacy: 0.1.1 api injected\n"),
              std::string::npos);
    std::string now = c->code;
    EXPECT_EQ(now.size(), 1270 + std::strlen(code));
    EXPECT_EQ(now.substr(0, 33), "--------------------------------\n");
    EXPECT_NE(now.find("function foreach(c, f)"), std::string::npos);
    EXPECT_EQ(now.substr(1270), code);

    // Without room for the block the code stays as it was.
    cart_ptr full = cart_of_version(4);
    std::string big = "print(\"zibo-6 0.1.1\",98,34,7)" + std::string(ZIBO6_CODE_MAX - 1000, ' ');
    std::strcpy(full->code, big.c_str());
    apply_legacy_changes(full.get());
    EXPECT_EQ(full->code, big);

    // Version 5 and later carts are left alone, spaces in the call too.
    cart_ptr v5 = cart_of_version(5);
    std::strcpy(v5->code, "print(\"zibo-6 0.1.1\",98,34,7)");
    apply_legacy_changes(v5.get());
    EXPECT_STREQ(v5->code, "print(\"zibo-6 0.1.1\",98,34,7)");
}

TEST(CartLegacy, DeprecatedOperatorWarning) {
    for (int version : {18, 19, 23, 24}) {
        cart_ptr c = cart_of_version(version);
        std::strcpy(c->code, "a = b @@ c");
        app.message_text[0] = 0;
        apply_legacy_changes(c.get());
        EXPECT_STREQ(app.message_text,
                     version >= 19 && version <= 23 ? "warning: possible deprecated @@" : "")
            << version;
    }
}

TEST(CartLegacy, VersionEstimate) {
    EXPECT_EQ(vull_determine_cart_version(""), 8);
    EXPECT_EQ(vull_determine_cart_version("x = 1"), 8);
    EXPECT_EQ(vull_determine_cart_version("[[text]]"), 9);
    EXPECT_EQ(vull_determine_cart_version("--[[ comment ]]"), 8);
    EXPECT_EQ(vull_determine_cart_version("s = [[a]]"), 9);
    EXPECT_EQ(vull_determine_cart_version("printh(\"a\")"), 8);
    EXPECT_EQ(vull_determine_cart_version("printh (\n f(a, b))"), 8);
    EXPECT_EQ(vull_determine_cart_version("printh(\"a\", \"log\")"), 10);
    EXPECT_EQ(vull_determine_cart_version("printh \"a\""), 10);
    EXPECT_EQ(vull_determine_cart_version("printh"), 8);
}
