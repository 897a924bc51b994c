// Engine frame loop and log writer: nesting and stamps of log.txt, the pass
// order with skipped frames and headless runs, perf reports, start-up and
// exit order, and the bounded copies of titles and paths.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/config.h"
#include "engine/vull.h"
#include "tests/engine/file_test_util.h"

namespace {

using ftest::read_file;

std::string make_temp_dir() { return ftest::make_temp_dir("vull"); }

std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// Routes vull_debug into a temporary file for one test and gives back what was written.
struct LogCapture {
    FILE *f = tmpfile();
    FILE *saved = vull_state.log_file;
    LogCapture() {
        vull_state.log_file = f;
        vull_debug_indentation = 0;
        print_debug_timestamp = 1;
    }
    ~LogCapture() {
        vull_state.log_file = saved;
        fclose(f);
        vull_debug_indentation = 0;
        print_debug_timestamp = 1;
    }
    // The text with every stamp replaced by "[T] ", after checking its form.
    std::string text() {
        fflush(f);
        rewind(f);
        std::string s;
        for (int c; (c = fgetc(f)) != EOF;) s += char(c);
        return std::regex_replace(s, std::regex(R"(\[[0-9]{6,}\] )"), "[T] ");
    }
};

} // namespace

TEST(VullLog, NestingAndStamps) {
    LogCapture log;
    vull_debug("<ok\n"); // level 0 stays 0
    EXPECT_EQ(vull_debug_indentation, 0);
    vull_debug(">open\n");
    vull_debug("inner\n");
    vull_debug(">deeper\n");
    vull_debug("x"); // no newline: the next message continues the line
    vull_debug("y\n");
    vull_debug("<back\n");
    vull_debug("<done\n");
    EXPECT_EQ(vull_debug_indentation, 0);
    EXPECT_EQ(log.text(), "[T] ok\n"
                          "[T] open\n"
                          "[T]   inner\n"
                          "[T]   deeper\n"
                          "[T]     x    y\n"
                          "[T]   back\n"
                          "[T] done\n");
}

TEST(VullLog, TooLongMessagesAreReplaced) {
    LogCapture log;
    std::string ok(899, 'a');
    ok += '\n'; // 900 characters: written
    vull_debug(ok.c_str());
    std::string too_long(901, 'b');
    vull_debug((">" + too_long).c_str()); // replaced; the '>' is not acted on
    EXPECT_EQ(vull_debug_indentation, 0);
    vull_debug("after\n");
    // A replaced message neither changes the level nor the new-line flag.
    vull_debug("part");
    vull_debug(too_long.c_str());
    vull_debug("rest\n");
    EXPECT_EQ(
        log.text(),
        "[T] " + ok +
            "[T] [debug string too long!]\n[T] after\n[T] part[debug string too long!]\nrest\n");
}

TEST(VullLog, FormattedMessagesNestAndAreBounded) {
    LogCapture log;
    vull_debugf(">%s %d\n", "open", 7);
    vull_debugf("%02d %s\n", 3, "key");
    std::string huge(10000, 'h'); // beyond the scratch text: cut there, then too long to log
    vull_debugf("<%s\n", huge.c_str());
    EXPECT_EQ(vull_debug_indentation, 1);
    EXPECT_EQ(log.text(), "[T] open 7\n[T]   03 key\n[T] [debug string too long!]\n");
}

TEST(VullLog, ClosedLogStillTracksLevels) {
    FILE *saved = vull_state.log_file;
    vull_state.log_file = nullptr;
    vull_debug_indentation = 0;
    vull_debug(">a\n");
    vull_debug(">b\n");
    EXPECT_EQ(vull_debug_indentation, 2);
    vull_debug("<c\n");
    vull_debug("<d\n");
    vull_debug("<e\n");
    EXPECT_EQ(vull_debug_indentation, 0);
    vull_debug(nullptr);
    vull_state.log_file = saved;
}

/*
** log.txt's bound, through the engine's own start-up and exit: a run that logs
** past VULL_LOG_MAX_BYTES keeps within it in log.txt and log.old.txt.
*/
namespace {

off_t file_size(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// The numbers of the "event N" lines of a log, in file order.
std::vector<int> events_in(const std::string &text) {
    std::vector<int> events;
    std::regex event(R"(^\[[0-9]{6,}\] *event ([0-9]+) )");
    for (const std::string &l : split_lines(text)) {
        std::smatch m;
        if (std::regex_search(l, m, event)) events.push_back(std::stoi(m[1].str()));
    }
    return events;
}

// vull_init and vull_exit with -home dir and no application callbacks.
struct EngineRun {
    std::vector<std::string> args;
    std::vector<char *> argv;
    explicit EngineRun(const std::string &dir) : args{"vull_test", "-headless", "-home", dir} {
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        vull_set_app_funcs({});
        vull_argc = int(args.size());
        vull_argv = argv.data();
        vull_init();
    }
    ~EngineRun() {
        if (vull_inited) vull_exit();
        vull_argc = 0;
        vull_argv = nullptr;
    }
};

} // namespace

TEST(VullLog, StaysWithinItsBound) {
    enum Obstacle { NONE, OLD_IS_FOLDER, NEITHER_OPENS };
    struct Case {
        const char *name;
        Obstacle obstacle;
    };
    const Case cases[] = {
        {"log.txt moves over log.old.txt", NONE},
        {"log.old.txt is a folder: log.txt starts again", OLD_IS_FOLDER},
        {"log.txt cannot be opened again: the log goes quiet", NEITHER_OPENS},
    };
    const int64_t generation = VULL_LOG_MAX_BYTES / 2;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = make_temp_dir();
        std::string log = dir + "/log.txt", old = dir + "/log.old.txt";
        ftest::write_file(old, "an earlier run's older lines\n");
        if (c.obstacle != NONE) { // a folder of that name, which start-up leaves alone
            ftest::write_file(old, "");
            unlink(old.c_str());
            ASSERT_EQ(mkdir(old.c_str(), 0755), 0);
            ftest::write_file(old + "/keep", "kept");
        }

        EngineRun run(dir);
        if (c.obstacle == NONE) { // both files are of this run
            EXPECT_NE(access(log.c_str(), F_OK), -1);
            EXPECT_EQ(access(old.c_str(), F_OK), -1);
        }
        if (c.obstacle == NEITHER_OPENS) { // log.txt's name taken by a folder while it is open
            ASSERT_EQ(unlink(log.c_str()), 0);
            ASSERT_EQ(mkdir(log.c_str(), 0755), 0);
        }

        // Long lines up to one and a half times the bound, then short ones like reload's.
        std::string pad(880, 'p');
        int n = 0;
        for (int64_t written = 0; written < VULL_LOG_MAX_BYTES * 3 / 2; n++) {
            vull_debugf("event %d %s\n", n, pad.c_str());
            written += 900;
            if (n % 1000 == 0) {
                EXPECT_LE(file_size(log) + file_size(old), VULL_LOG_MAX_BYTES) << "event " << n;
            }
        }
        for (int i = 0; i < 100; n++, i++)
            vull_debugf("  event %d reload()ing 16 bytes from: %s/cstore/src.z6\n", n, dir.c_str());
        vull_exit();

        if (c.obstacle == NEITHER_OPENS) {
            EXPECT_EQ(vull_state.log_file, nullptr);
            EXPECT_EQ(read_file(old + "/keep"), "kept");
            continue;
        }
        EXPECT_LE(file_size(log), generation);
        EXPECT_LE(file_size(log) + file_size(old), VULL_LOG_MAX_BYTES);
        std::string newest = read_file(log);
        std::vector<std::string> lines = split_lines(newest);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back().substr(9), "ok"); // the exit sequence is whole at the end
        for (const std::string &l : lines)
            EXPECT_TRUE(std::regex_search(l, std::regex(R"(^\[[0-9]{6,}\] )"))) << l;

        // The events run on without a gap from the older file into log.txt, up to the last.
        std::vector<int> events = events_in(newest);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), n - 1);
        if (c.obstacle == NONE) {
            std::vector<int> older = events_in(read_file(old));
            ASSERT_FALSE(older.empty());
            EXPECT_GE(file_size(old), generation * 9 / 10); // a whole generation kept
            older.insert(older.end(), events.begin(), events.end());
            events = older;
        } else {
            EXPECT_EQ(read_file(old + "/keep"), "kept");
        }
        for (size_t i = 1; i < events.size(); i++)
            ASSERT_EQ(events[i], events[i - 1] + 1) << "at " << i;
    }
}

TEST(VullState, BoundedCopiesAndTitles) {
    std::string long_text(5000, 't');
    vull_set_application_title(long_text.c_str());
    EXPECT_EQ(strlen(vull_state.app_title), size_t(VULL_TITLE_LEN - 1));
    EXPECT_EQ(strlen(app_title_pending), size_t(VULL_TITLE_LEN - 1));
    vull_set_window_title(long_text.c_str());
    EXPECT_EQ(vull_state.window_title_ptr, vull_state.window_title);
    EXPECT_EQ(strlen(vull_state.window_title), size_t(VULL_TITLE_LEN - 1));
    vull_set_window_title(nullptr);
    EXPECT_EQ(vull_state.window_title_ptr, nullptr);
    vull_set_argv0(long_text.c_str());
    EXPECT_EQ(strlen(vull_argv0), size_t(VULL_ARGV0_LEN - 1));
    vull_set_argv0(nullptr);
    EXPECT_STREQ(vull_argv0, "");

    vull_set_paused(1);
    EXPECT_EQ(int(vull_state.paused), 1);
    vull_set_paused(0);
    EXPECT_EQ(int(vull_state.paused), 0);

    vull_reset_timer();
    EXPECT_GE(vull_get_elapsed_time(), 0);
    vull_start_time = vull_start_time + 100000; // a start in the future reads as a wrapped clock
    EXPECT_EQ(vull_get_elapsed_time(), 0);
}

/*
** A whole run through vull_main with this file's application callbacks.
*/
namespace {

struct RunRecord {
    int updates = 0;
    int draws = 0;
    int exits = 0;
    int skip_on = 2;    // the update of this pass skips its frame
    int quit_after = 6; // passes to run
    std::vector<std::string> hooked;
} run;

void run_load_hook(const char *line) { run.hooked.push_back(line); }

} // namespace

static void vull_main_init(int, char **) {
    vull_set_application_title("vull_test");
    vull_set_load_config_func(run_load_hook);
    vull_init();
}

static void vull_main_update() {
    run.updates++;
    if (run.updates == run.skip_on) vull_skip_frame();
    if (run.updates >= run.quit_after) vull_quit = 1;
}

static void vull_main_draw() { run.draws++; }

static void vull_main_exit() {
    run.exits++;
    EXPECT_EQ(vull_exit(), 0); // returns at once from inside the sequence
}

TEST(VullMain, HeadlessRunPerfReportsAndExitOrder) {
    std::string dir = make_temp_dir();
    { std::ofstream(dir + "/config.txt") << "// keep me\nsessions 41\nsound_volume 300\n"; }
    std::vector<std::string> args = {"vull_test", "-headless", "-perf_timing", "3", "-home", dir};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    testing::internal::CaptureStdout();
    vull_set_app_funcs({vull_main_init, vull_main_update, vull_main_draw, vull_main_exit});
    EXPECT_EQ(vull_main(int(args.size()), argv.data()), 0);
    std::string out = testing::internal::GetCapturedStdout();

    // Passes 1-6, pass 2 skipped: five draws; the loop ran the exit sequence once.
    EXPECT_EQ(run.updates, 6);
    EXPECT_EQ(run.draws, 5);
    EXPECT_EQ(run.exits, 1);
    EXPECT_EQ(vull_inited, 0);
    EXPECT_EQ(vull_state.log_file, nullptr);
    EXPECT_EQ(run.hooked, (std::vector<std::string>{"// keep me"}));
    EXPECT_STREQ(vull_argv0, "vull_test");

    // One report every three passes: drawn frames / passes.
    std::regex report(
        R"(\[vull\]( +[0-9]+\.[0-9]{3}\[ *[0-9]+\.[0-9]{3}\]){4}   ([0-9]+)/([0-9]+))");
    std::vector<std::string> reports;
    for (const std::string &l : split_lines(out)) {
        std::smatch m;
        if (std::regex_match(l, m, report)) reports.push_back(m[2].str() + "/" + m[3].str());
    }
    EXPECT_EQ(reports, (std::vector<std::string>{"2/3", "3/3"})) << out;

    // log.txt (its order is checked end to end by engine_host_test.sh): all stamped, ends nested right.
    std::vector<std::string> lines = split_lines(read_file(dir + "/log.txt"));
    ASSERT_GE(lines.size(), 2u);
    for (const std::string &l : lines)
        EXPECT_TRUE(std::regex_search(l, std::regex(R"(^\[[0-9]{6}\] )"))) << l;
    EXPECT_EQ(lines[lines.size() - 2].substr(9), "  vull_items_created: 0");
    EXPECT_EQ(lines.back().substr(9), "ok");

    // config.txt: sessions raised once, the clamped volume written back clamped.
    std::string config = read_file(dir + "/config.txt");
    EXPECT_NE(config.find("sessions 42 //"), std::string::npos);
    EXPECT_NE(config.find("sound_volume 256 //"), std::string::npos);
    EXPECT_EQ(vull_items_created, 0);
}
