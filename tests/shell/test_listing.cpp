// The ls listing: a screen's worth at a time with "--more--", folders
// before carts, other files only with a "*" pattern.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cart/state.h"
#include "console/api.h" // ls_pattern
#include "shell/compose.h"

namespace {

struct Listing : ::testing::Test {
    std::string dir;
    Listing() {
        const char *h = std::getenv("HOME");
        dir = std::string(h ? h : "/tmp") + "/listing-" + std::to_string(getpid()) + "/";
        mkdir(dir.c_str(), 0755);
        mkdir((dir + "games").c_str(), 0755);
        for (int i = 0; i < 20; i++) touch("cart" + std::to_string(i) + ".z6");
        touch("notes.txt");
        std::snprintf(pstate.root_path, sizeof pstate.root_path, "%s", dir.c_str());
        pstate.current_folder[0] = 0;
        pstate.headless = 1; // printing goes to stdout
        ls_pattern[0] = 0;
    }
    ~Listing() override {
        for (int i = 0; i < 20; i++)
            std::remove((dir + "cart" + std::to_string(i) + ".z6").c_str());
        std::remove((dir + "notes.txt").c_str());
        rmdir((dir + "games").c_str());
        rmdir(dir.c_str());
        pstate.headless = 0;
        pstate.ls_state = pstate.ls_lines = 0;
    }
    void touch(const std::string &name) const {
        if (FILE *f = std::fopen((dir + name).c_str(), "w")) std::fclose(f);
    }
    // Runs the listing as the frame loop does, with budget lines a screen.
    static std::string run(int budget) {
        ::testing::internal::CaptureStdout();
        pstate.ls_lines = budget;
        zibo6_list_files();
        while (pstate.ls_state && pstate.ls_lines > 0) zibo6_list_files();
        return ::testing::internal::GetCapturedStdout();
    }
    static int count(const std::string &text, const std::string &what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            n++;
        return n;
    }
};

TEST_F(Listing, ScreenAtATime) {
    std::string first = run(17);
    EXPECT_EQ(first.rfind("directory: /\ngames\n", 0), 0u) << first;
    EXPECT_EQ(count(first, ".z6"), 16) << "the folder and 16 carts make 17 entries";
    EXPECT_EQ(first.substr(first.size() - 9), "--more--\n");
    pstate.ls_lines = 17;
    ::testing::internal::CaptureStdout();
    while (pstate.ls_state && pstate.ls_lines > 0) zibo6_list_files();
    std::string rest = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(rest, ".z6"), 4);
    EXPECT_EQ(count(rest, "--more--"), 0);
    EXPECT_EQ(count(rest, "notes.txt"), 0) << "other files only with a * pattern";
    EXPECT_EQ(pstate.ls_state, 0);
    EXPECT_EQ(pstate.ls_dir, nullptr);
}

TEST_F(Listing, StarPatternListsEveryFile) {
    std::snprintf(ls_pattern, sizeof ls_pattern, "*");
    std::string all = run(100);
    EXPECT_EQ(count(all, ".z6"), 20);
    EXPECT_EQ(count(all, "notes.txt"), 1);
    EXPECT_EQ(count(all, "--more--"), 0);
}

TEST_F(Listing, MissingFolderEndsAfterTheHeading) {
    std::snprintf(pstate.current_folder, sizeof pstate.current_folder, "no/such/");
    std::string out = run(17);
    EXPECT_EQ(out, "directory: /no/such/\n");
    EXPECT_EQ(pstate.ls_state, 0);
}

} // namespace
