// The shell commands a headless script runs, the config command, extcmd and
// the stubs of services this program lacks, and every API name called with
// hostile arguments.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "console/api.h"
#include "console/run.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "run_test_util.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

// A fresh folder under the test home, set as the cart root.
std::string make_root(const char *name) {
    fs::path root = fs::path(std::getenv("HOME") ? std::getenv("HOME") : "/tmp") / name;
    fs::remove_all(root);
    fs::create_directories(root);
    std::snprintf(pstate.root_path, sizeof pstate.root_path, "%s/", root.c_str());
    pstate.current_folder[0] = '\0';
    return root.string() + "/";
}

TEST(ConfigCommand, OneLineCartsChangeSettings) {
    struct {
        const char *code;
        const char *printed;
    } cases[] = {
        {"config volume 1000", "set volume: 256"},
        {"config volume 1", "set volume: 8"},
        {"config gif_len 0", "set gif_len: 1"},
        {"config gif_len 99999999999999", "set gif_len: 120"},
        {"config tab_width 3", "set tab_width: 3"},
        {"config theme bluegrass", "set theme to blue"},
        {"config browse_filter on", "filter on"},
        {"config sfx_filters", "available settings:"},
        {"config volume", "current volume: 8"},
        {"config theme", "available themes:"},
        {"config nonsense", "config [setting]"},
    };
    z6run::Runtime rt;
    app.volume = 128;
    for (const auto &c : cases) {
        std::string out = rt.run(c.code);
        EXPECT_TRUE(contains(out, c.printed)) << c.code << " printed: " << out;
    }
    EXPECT_EQ(app.volume, 8);
    EXPECT_EQ(app.gif_len, 120);
    EXPECT_EQ(app.gui_theme, 1);
    EXPECT_EQ(app.browse_filter, 1);
    EXPECT_EQ(pstate.code_tab[0]->tab_width, 12);
}

TEST(ConfigCommand, TrailingBlankLinesKeepACartOneLine) {
    z6run::Runtime rt;
    app.volume = 100;
    rt.run("config volume 9\n\n \t\r\n\n");
    EXPECT_EQ(app.volume, 9);
    // a second line that holds code is no longer one line
    z6run::Runtime rt2;
    app.volume = 100;
    std::string out = rt2.run("config volume 9\n\nx = 1\n");
    EXPECT_TRUE(contains(out, "syntax error")) << out;
    EXPECT_EQ(app.volume, 100);
}

TEST(ConfigCommand, ACartThatMerelyBeginsWithConfigRunsAsWritten) {
    z6run::Runtime rt;
    app.volume = 100;
    std::string out = rt.run("config = 5\nprinth('config is '..config)");
    EXPECT_TRUE(contains(out, "config is 5")) << out;
    EXPECT_EQ(app.volume, 100);
}

TEST(Extcmd, FilenameResetAndUnknownCommands) {
    z6run::Runtime rt; // no reset asked for yet, however soon after start
    rt.run("extcmd('set_filename', 'shot.png') extcmd('reset') extcmd('reset')\n"
           "extcmd('set_title', 'zibo game') extcmd('rec_frames')");
    EXPECT_STREQ(app.output_file_name, "shot");
    EXPECT_EQ(pstate.reset_glitch_counter, 1);
    EXPECT_EQ(app.rec_frames, 1);
    EXPECT_STREQ(vull_state.window_title, "zibo game");

    z6run::Runtime rt2;
    rt2.run("extcmd('set_filename', '" + std::string(300, 'n') +
            "')\n"
            "extcmd('set_title', '" +
            std::string(5000, 't') +
            "') extcmd('video')\n"
            "extcmd('no such thing') extcmd('set_filename')");
    EXPECT_STREQ(app.output_file_name, "");
    EXPECT_EQ(app.rec_frames, 0);
    EXPECT_TRUE(contains(app.message_text, "unknown extcmd:no such thing")) << app.message_text;

    z6run::Runtime rt3;
    rt3.run("extcmd('shutdown')");
    EXPECT_EQ(vull_quit, 1);
}

TEST(Extcmd, FolderStartsXdgOpenWithAnArgumentVector) {
    fs::path bin = fs::path(std::getenv("HOME")) / "fake-bin";
    fs::create_directories(bin);
    fs::path seen = bin / "seen.txt";
    fs::remove(seen);
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << seen.string() << "'\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + old_path).c_str(), 1);
    z6run::Runtime rt;
    std::string root = make_root("folder-root");
    fs::create_directories(root + "a b;c");
    std::snprintf(pstate.current_folder, sizeof pstate.current_folder, "a b;c/");
    rt.run("folder()");
    for (int i = 0; i < 200 && !fs::exists(seen); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    setenv("PATH", old_path.c_str(), 1);
    std::ifstream in(seen);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // one argument, the folder itself, spaces and ';' untouched by any shell
    EXPECT_EQ(got, "1|" + root + "a b;c");
}

TEST(ShellCommands, FoldersListingAndSaving) {
    z6run::Runtime rt;
    std::string root = make_root("shell-root");
    std::string out = rt.run("mkdir('games') cd('games') cd() cd('..') cd('nowhere')\n"
                             "cd('/../../..') mkdir() ls() save('mine') save('mine') save('mine')\n"
                             "save('" +
                             std::string(600, 'x') + "') save('@clip') info()");
    EXPECT_TRUE(fs::is_directory(root + "games"));
    EXPECT_TRUE(contains(out, "/games/")) << out;
    EXPECT_TRUE(contains(out, "directory: /games/")) << out;
    EXPECT_TRUE(contains(out, "directory not found")) << out;
    EXPECT_TRUE(contains(out, "cd: failed")) << out;
    EXPECT_TRUE(contains(out, "mkdir [name]")) << out;
    EXPECT_TRUE(contains(out, "saved mine.z6")) << out;
    EXPECT_TRUE(contains(out, "file already exists")) << out;
    EXPECT_TRUE(contains(out, "filename too long")) << out;
    EXPECT_TRUE(contains(out, "warning: label is blank")) << out;
    EXPECT_TRUE(contains(out, "run cart and ctrl-7 to capture")) << out;
    // The clipboard (the headless one of this process) holds the PNG cart in hexadecimal
    // after its tag.
    EXPECT_TRUE(contains(out, "saved to clipboard")) << out;
    char *clip = vull_get_clipboard_text();
    ASSERT_NE(clip, nullptr);
    std::string hex(clip);
    vull_free(clip);
    for (char &c : hex) c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(hex.substr(0, 22), "[cart]89504e470d0a1a0a") << hex.substr(0, 40);
    EXPECT_TRUE(contains(out, "tokens:")) << out;
    EXPECT_TRUE(fs::exists(root + "mine.z6"));
    EXPECT_STREQ(pstate.current_folder, "");
}

// save and mkdir stay inside the cart folder, as cd does.
TEST(ShellCommands, SaveAndMkdirStayInsideTheRoot) {
    z6run::Runtime rt;
    std::string outer = make_root("contain-outer");
    std::string root = make_root("contain-outer/carts");
    fs::create_directories(root + "sub");
    std::string out = rt.run("save('../escaped') save('../../../../escaped') save('/../up')\n"
                             "mkdir('../outside') mkdir('../../..') mkdir('/../out2')\n"
                             "save('sub/../inside') mkdir('sub/./deeper')");
    EXPECT_FALSE(fs::exists(outer + "escaped.z6"));
    EXPECT_FALSE(fs::exists(outer + "up.z6"));
    EXPECT_FALSE(fs::exists(outer + "outside"));
    EXPECT_FALSE(fs::exists(outer + "out2"));
    EXPECT_TRUE(contains(out, "failed to save")) << out;
    EXPECT_TRUE(contains(out, "mkdir: failed")) << out;
    EXPECT_TRUE(fs::exists(root + "inside.z6"));
    EXPECT_TRUE(fs::is_directory(root + "sub/deeper"));
    std::string top = fs::path(outer).parent_path().parent_path().string() + "/escaped.z6";
    EXPECT_FALSE(fs::exists(top));
}

// The overwrite question looks at the file that will be written, and the format follows
// that file's final extension alone.
TEST(ShellCommands, SaveAsksAboutTheFileItWillWrite) {
    z6run::Runtime rt;
    std::string root = make_root("save-names");
    std::string out = rt.run("save('foo.bar')");
    EXPECT_TRUE(contains(out, "saved foo.bar.z6")) << out;
    std::string first = slurp(root + "foo.bar.z6");
    rt.load("-- changed\nprint(2)");
    out = rt.run("save('foo.bar')");
    EXPECT_TRUE(contains(out, "file already exists")) << out;
    EXPECT_EQ(slurp(root + "foo.bar.z6"), first);
    fs::create_directories(root + "shots.png");
    rt.run("save('my.rom.z6') save('art.png.z6') save('shots.png/in')");
    for (const char *f : {"my.rom.z6", "art.png.z6", "shots.png/in.z6"})
        EXPECT_EQ(slurp(root + f).rfind("zibo-6 cartridge", 0), 0u) << f;
}

TEST(ShellCommands, InfoTellsOfChangesMadeOutsideTheConsole) {
    z6run::Runtime rt;
    std::string root = make_root("info-root");
    std::string out = rt.run("save('w') info()");
    EXPECT_TRUE(contains(out, "file: w.z6")) << out;
    EXPECT_FALSE(contains(out, "external changes")) << out;
    std::ofstream(root + "w.z6") << "zibo-6 cartridge // x\nversion 33\n__lua__\nb=7\n";
    out = rt.run("info()");
    EXPECT_TRUE(contains(out, "external changes")) << out;
    EXPECT_FALSE(contains(out, "unsaved changes")) << out;
}

TEST(ShellCommands, HelpTopicFromTheArgumentOrTheWordAtTheCursor) {
    z6run::Runtime rt;
    rt.load("print(circfill)");
    pstate.current_tab = 0;
    pstate.code_tab[0]->cursor = 8; // inside "circfill"
    testing::internal::CaptureStdout();
    print_help_topic(nullptr);
    print_help_topic("map");
    pstate.code_tab[0]->cursor = 100000; // past the end: clamped
    print_help_topic("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "help topic: circfill\nblah\nhelp topic: map\nblah\nhelp topic: \nblah\n");
}

TEST(ShellCommands, InertInsideARunningCartOfTheDesktopPlayer) {
    z6run::Runtime rt;
    std::string root = make_root("inert-root");
    pstate.headless = 0;
    std::string out = rt.run("mkdir('x') help() reboot() shutdown() printh('still here')");
    EXPECT_FALSE(fs::exists(root + "x"));
    EXPECT_FALSE(contains(out, "commands")) << out;
    EXPECT_TRUE(contains(out, "still here")) << out;
    EXPECT_EQ(vull_quit, 0);
}

TEST(ShellCommands, StubsAndHelp) {
    z6run::Runtime rt;
    std::string out =
        rt.run("help() browse() printh(tostr(login())) local a, b = radio() printh(tostr(a)..b)\n"
               "local s, n = scoresub() printh(tostr(s)..n) printh(tostr(bbsreq()))\n"
               "printh(select('#', export(), import(), set_draw_slice()))");
    for (const char *line : {"commands", "keyconfig  to choose buttons", "login unavailable.",
                             "sorry, browse is not available", "[nil]0", "[nil]"})
        EXPECT_TRUE(contains(out, line)) << line << " in " << out;
    EXPECT_TRUE(contains(app.message_text, "can not connect to bbsreq host")) << app.message_text;
}

TEST(ShellCommands, RebootAndShutdownActAtOnce) {
    z6run::Runtime rt;
    app.loaded = 1;
    rt.run("reboot()");
    EXPECT_EQ(pstate.pending_action, 3);
    EXPECT_EQ(app.loaded, 0);
    z6run::Runtime rt2;
    rt2.run("exit()");
    EXPECT_EQ(vull_quit, 1);
}

// Every registered name with hostile arguments: errors are allowed, crashes are not.
TEST(HostileArguments, EveryNameSurvives) {
    z6run::Runtime rt;
    make_root("hostile-root");
    std::string code =
        "local big = 'w' for i = 1, 17 do big = big..big end\n"
        "big = sub(big, 1, 100000)\n"
        "local skip = {run=1, stop=1, load=1, __load=1, reboot=1, shutdown=1,\n"
        " exit=1, flip=1, __flip=1, __superyield=1, yield=1, extcmd=1, __extcmd=1,\n"
        " folder=1, holdframe=1, _startframe=1, keyconfig=1, menuitem=1, __stop=1, split=1}\n"
        "local args = {{}, {nil}, {0x7fff.ffff, -0x8000}, {-1, -1, -1},\n"
        " {'x', 'y', 'z'}, {big, big, big}, {{}, {}, {}}}\n"
        "local n = 0\n"
        "local function pcall(f, a, b, c)\n"
        " coresume(cocreate(function() f(a, b, c) end))\n"
        "end\n"
        "for name, f in pairs(_ENV) do\n"
        " if type(f) == 'function' and not skip[name] then\n"
        "  for a in all(args) do pcall(f, a[1], a[2], a[3]) end n += 1\n"
        " end\n"
        "end\n"
        "for c in all({'label','screen','rec','video','pause','controls',\n"
        " 'set_title','set_filename',big}) do\n"
        " for a in all(args) do pcall(extcmd, c, a[1], a[2]) end\n"
        "end\n"
        "printh('survived '..tostr(n > 100))\n";
    std::string out = rt.run(code, 30);
    EXPECT_TRUE(contains(out, "survived true")) << out.substr(0, 2000) << rt.errors();
}

} // namespace
