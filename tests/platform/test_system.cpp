// System services: paths, listings, file tests, the audio lock and device,
// clipboard, clocks, threads and external programs started without a shell.
#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/config.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "tests/engine/file_test_util.h"

namespace {

using ftest::read_file;
using ftest::write_file;

std::string make_temp_dir() { return ftest::make_temp_dir("sys"); }

bool is_dir(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Restores HOME, PATH and the engine records a test changes.
struct EnvGuard {
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    vull_config_rec config = cconfig;
    std::string title = vull_state.app_title;
    ~EnvGuard() {
        setenv("HOME", home.c_str(), 1);
        setenv("PATH", path.c_str(), 1);
        cconfig = config;
        snprintf(vull_state.app_title, sizeof vull_state.app_title, "%s", title.c_str());
    }
};

} // namespace

TEST(SystemPaths, PerUserFolderFromHomeTitleOrOption) {
    EnvGuard guard;
    std::string dir = make_temp_dir();
    char out[VULL_PATH_LEN];

    // $HOME/.tarnwicker/<title>/ is made on the way.
    setenv("HOME", dir.c_str(), 1);
    vull_set_application_title("zibo-6");
    cconfig.home[0] = 0;
    ASSERT_EQ(vull_prefix_with_appdata_path("log.txt", out), 0);
    EXPECT_EQ(std::string(out), dir + "/.tarnwicker/zibo-6/log.txt");
    EXPECT_TRUE(is_dir(dir + "/.tarnwicker/zibo-6"));

    // Empty HOME and no option: the bare name (the working folder).
    setenv("HOME", "", 1);
    ASSERT_EQ(vull_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_STREQ(out, "config.txt");
    // A home path starting with a blank counts as unset.
    snprintf(cconfig.home, sizeof cconfig.home, " %s", dir.c_str());
    ASSERT_EQ(vull_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_STREQ(out, "config.txt");

    // The -home option wins, is created, and gets its '/'; UTF-8 bytes stay.
    std::string home = dir + "/jos\xc3\xa9";
    snprintf(cconfig.home, sizeof cconfig.home, "%s", home.c_str());
    ASSERT_EQ(vull_prefix_with_appdata_path("config.txt", out), 0);
    EXPECT_EQ(std::string(out), home + "/config.txt");
    EXPECT_TRUE(is_dir(home));
    snprintf(cconfig.home, sizeof cconfig.home, "%s/", home.c_str());
    ASSERT_EQ(vull_prefix_with_appdata_path("x", out), 0);
    EXPECT_EQ(std::string(out), home + "/x");
}

TEST(SystemPaths, OverLongResultsAreRefusedNotCut) {
    EnvGuard guard;
    char out[VULL_PATH_LEN];
    cconfig.home[0] = 0;
    cconfig.desktop_path[0] = 0;
    std::string long_home = "/tmp/" + std::string(3000, 'h');
    setenv("HOME", long_home.c_str(), 1);
    EXPECT_EQ(vull_prefix_with_appdata_path("config.txt", out), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(vull_prefix_with_desktop_path("shot.png", out), -1);
    EXPECT_STREQ(out, "");

    // A name that does not fit the caller's buffer is refused too.
    std::string name(2000, 'n');
    setenv("HOME", "/tmp", 1);
    EXPECT_EQ(vull_prefix_with_current_path(name.c_str(), out), -1);
    EXPECT_STREQ(out, "");
    char small[2];
    EXPECT_EQ(vull_prefix_with_current_path("a", small, sizeof small), -1);
    EXPECT_STREQ(small, "");
}

TEST(SystemPaths, DesktopProgramAndWorkingFolders) {
    EnvGuard guard;
    std::string dir = make_temp_dir();
    char out[VULL_PATH_LEN];
    setenv("HOME", dir.c_str(), 1);
    cconfig.desktop_path[0] = 0;
    ASSERT_EQ(vull_prefix_with_desktop_path("a.png", out), 0);
    EXPECT_EQ(std::string(out), dir + "/Desktop/a.png");
    EXPECT_FALSE(is_dir(dir + "/Desktop")); // the default desktop is never created

    snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s/shots", dir.c_str());
    ASSERT_EQ(vull_prefix_with_desktop_path("a.png", out), 0);
    EXPECT_EQ(std::string(out), dir + "/shots/a.png");
    EXPECT_TRUE(is_dir(dir + "/shots"));

    ASSERT_EQ(vull_prefix_with_program_path("", out), 0);
    ASSERT_GT(strlen(out), 0u);
    EXPECT_EQ(out[strlen(out) - 1], '/');
    EXPECT_TRUE(is_dir(out));

    char cwd[VULL_PATH_LEN];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(vull_prefix_with_current_path("f", out), 0);
    EXPECT_EQ(std::string(out), std::string(cwd) + "/f");
}

TEST(SystemListing, SuffixFilterIgnoresCaseAndMaskSelectsKinds) {
    std::string dir = make_temp_dir();
    write_file(dir + "/game.z6", "x");
    write_file(dir + "/other.txt", "yy");
    write_file(dir + "/z6", ""); // shorter than the suffix
    mkdir((dir + "/sub.Z6").c_str(), 0755);

    vull_find_rec rec;
    std::vector<std::string> files;
    for (int r = vull_find_first(dir.c_str(), "*.Z6", &rec, VULL_MODE_FILE); r == 0;
         r = vull_find_next(&rec))
        files.push_back(rec.name);
    vull_find_close(&rec);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], "game.z6");

    std::vector<std::string> dirs;
    for (int r = vull_find_first(dir.c_str(), "all", &rec, VULL_MODE_DIR); r == 0;
         r = vull_find_next(&rec))
        dirs.push_back(rec.name);
    vull_find_close(&rec);
    std::sort(dirs.begin(), dirs.end());
    EXPECT_EQ(dirs, (std::vector<std::string>{".", "..", "sub.Z6"}));

    int all = 0;
    for (int r = vull_find_first(dir.c_str(), "", &rec, VULL_MODE_FILE | VULL_MODE_DIR); r == 0;
         r = vull_find_next(&rec))
        all++;
    vull_find_close(&rec);
    EXPECT_EQ(all, 6);

    // Missing, over-long and null folders list nothing; closing twice or null is fine.
    EXPECT_EQ(vull_find_first((dir + "/none").c_str(), "*", &rec, VULL_MODE_FILE), 1);
    vull_find_close(&rec);
    std::string long_folder(300, 'd');
    EXPECT_EQ(vull_find_first(long_folder.c_str(), "*", &rec, VULL_MODE_FILE), 1);
    EXPECT_EQ(vull_find_first(nullptr, "*", &rec, VULL_MODE_FILE), 1);
    EXPECT_EQ(vull_find_next(&rec), 1);
    EXPECT_EQ(vull_find_close(&rec), 0);
    EXPECT_EQ(vull_find_close(nullptr), 0);
}

TEST(SystemListing, FileAndFolderTests) {
    std::string dir = make_temp_dir();
    write_file(dir + "/f.txt", "1");
    EXPECT_EQ(vull_file_exists((dir + "/f.txt").c_str()), 1);
    EXPECT_EQ(vull_file_exists((dir + "/missing.txt").c_str()), 0);
    EXPECT_EQ(vull_file_exists(dir.c_str()), 1); // a folder opens for reading on Linux
    EXPECT_EQ(vull_file_exists(nullptr), 0);
    EXPECT_EQ(vull_directory_exists(dir.c_str()), 1);
    EXPECT_EQ(vull_directory_exists((dir + "/f.txt").c_str()), 0);
    EXPECT_EQ(vull_directory_exists(nullptr), 0);
    // read-only whoever asks, root too: no write bit, or none for the owner
    for (auto [mode, read_only] : {std::pair{0644, 0}, {0444, 1}, {0474, 1}, {0200, 0}}) {
        ASSERT_EQ(chmod((dir + "/f.txt").c_str(), mode_t(mode)), 0);
        EXPECT_EQ(vull_file_read_only((dir + "/f.txt").c_str()), read_only) << std::oct << mode;
    }
    EXPECT_EQ(vull_file_read_only((dir + "/missing.txt").c_str()), 0);
    EXPECT_EQ(vull_file_read_only(nullptr), 0);
    EXPECT_EQ(vull_remove((dir + "/f.txt").c_str()), 0);
    EXPECT_EQ(vull_file_exists((dir + "/f.txt").c_str()), 0);
}

// The engine's attach call (which this program's main makes) hands down its
// log, allocator and virtual disk: what the platform logs lands in log.txt
// with the engine's nesting, its blocks are the engine's (counted, zeroed,
// released by vull_free), and its file test sees the virtual disk.
TEST(SystemServices, TheEngineInstallsItsLogMemoryAndVirtualDisk) {
    FILE *log = tmpfile();
    ASSERT_NE(log, nullptr);
    FILE *saved = vull_state.log_file;
    vull_state.log_file = log;
    int depth = vull_debug_indentation;
    vull_plat_log(">opened\n");
    vull_plat_logf("value %d\n", 41 + 1);
    vull_plat_log("<closed\n");
    vull_plat_logf("%s\n", std::string(1000, 'x').c_str()); // past the log's line limit
    vull_plat_log(nullptr);
    vull_plat_logf(nullptr);
    vull_state.log_file = saved;
    EXPECT_EQ(vull_debug_indentation, depth);
    rewind(log);
    std::string text;
    for (int c; (c = fgetc(log)) != EOF;) text += char(c);
    fclose(log);
    EXPECT_NE(text.find("opened\n"), std::string::npos);
    EXPECT_NE(text.find("  value 42\n"), std::string::npos) << "indented under the open level";
    EXPECT_NE(text.find("[debug string too long!]"), std::string::npos);
    EXPECT_EQ(text.find("xxxx"), std::string::npos);

    uint32_t mallocs = vull_total_mallocs;
    auto *block = static_cast<unsigned char *>(vull_plat_alloc(10));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(vull_total_mallocs, mallocs + 1);
    EXPECT_TRUE(std::all_of(block, block + 26, [](unsigned char b) { return b == 0; }));
    vull_free(block); // the engine's magic check passes: the engine allocated it
    EXPECT_EQ(vull_plat_alloc(-17), nullptr);
    vull_plat_release(nullptr);

    EXPECT_EQ(vull_file_exists("no/such/folder/plat_probe.txt"), 0);
    vull_file *f = vull_fopen_vdisk("plat_probe.txt", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vull_plat_vdisk_has("no/such/folder/plat_probe.txt"), 1);
    EXPECT_EQ(vull_file_exists("no/such/folder/plat_probe.txt"), 1);
    EXPECT_EQ(vull_file_exists("no/such/folder/plat_other.txt"), 0);
}

TEST(SystemAudio, LockNestsAndNeverGoesNegative) {
    ASSERT_EQ(vull_audio_is_locked, 0);
    vull_unlock_audio(); // unbalanced
    EXPECT_EQ(vull_audio_is_locked, 0);
    vull_lock_audio();
    vull_lock_audio();
    EXPECT_EQ(vull_audio_is_locked, 2);
    vull_unlock_audio();
    EXPECT_EQ(vull_audio_is_locked, 1);
    vull_unlock_audio();
    EXPECT_EQ(vull_audio_is_locked, 0);
}

static void silence(void *, uint8_t *stream, int bytes) { std::memset(stream, 0, size_t(bytes)); }

TEST(SystemAudio, DeviceOpensOnlyWithABufferSize) {
    EnvGuard guard;
    cconfig.mix_buffer_size = 0;
    EXPECT_EQ(vull_sound_init_plat(22050, 1, silence), 0);
    EXPECT_EQ(vull_sound_inited, 0);

    cconfig.mix_buffer_size = 1024;
    ASSERT_EQ(vull_sound_init_plat(22050, 1, silence), 0);
    if (!vull_sound_inited) GTEST_SKIP() << "no audio device here";
    EXPECT_EQ(int(vull_state.audio_freq), 22050);
    EXPECT_EQ(int(vull_state.audio_channels), 1);
    // Nested locking with the callback thread running: the device lock is
    // taken once and released once.
    vull_lock_audio();
    vull_lock_audio();
    vull_unlock_audio();
    vull_unlock_audio();
    EXPECT_EQ(vull_audio_is_locked, 0);
    SDL_Delay(30);
    vull_lock_audio();
    vull_unlock_audio();
    EXPECT_EQ(vull_sound_exit_plat(), 0);
}

TEST(SystemClipboard, FileLoadKeepsTheFirstMebibyte) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    std::string dir = make_temp_dir();
    std::string big(2 * 1024 * 1024, 'a');
    big[1024 * 1024] = 'b'; // first byte past the limit
    write_file(dir + "/clip.txt", big);
    EXPECT_EQ(vull_load_clipboard_from_file((dir + "/missing").c_str()), 1);
    // a pipe and a device through a link are no text files: refused without waiting
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir + "/zero").c_str()), 0);
    EXPECT_EQ(vull_load_clipboard_from_file((dir + "/pipe").c_str()), 1);
    EXPECT_EQ(vull_load_clipboard_from_file((dir + "/zero").c_str()), 1);
    ASSERT_EQ(vull_load_clipboard_from_file((dir + "/clip.txt").c_str()), 0);
    char *text = vull_get_clipboard_text();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(strlen(text), 1024u * 1024u);
    EXPECT_EQ(strchr(text, 'b'), nullptr);
    vull_free(text);

    vull_set_clipboard_text("h\xc3\xa9llo");
    EXPECT_EQ(vull_has_clipboard_text(), 1);
    ASSERT_EQ(vull_save_clipboard_to_file((dir + "/out.txt").c_str()), 0);
    EXPECT_EQ(read_file(dir + "/out.txt"), "h\xc3\xa9llo");
    EXPECT_EQ(vull_save_clipboard_to_file((dir + "/no/such/dir/out.txt").c_str()), 1);
    ASSERT_EQ(chmod((dir + "/out.txt").c_str(), 0444), 0); // made read-only: kept, even by root
    vull_set_clipboard_text("other");
    EXPECT_EQ(vull_save_clipboard_to_file((dir + "/out.txt").c_str()), 1);
    EXPECT_EQ(read_file(dir + "/out.txt"), "h\xc3\xa9llo");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    EXPECT_EQ(vull_load_clipboard_from_file((dir + "/clip.txt").c_str()), 1)
        << "no video: no clipboard";
}

TEST(SystemClock, DatesAndStopwatch) {
    vull_datetime_rec d;
    d.word0 = 111;
    d.word1 = 222;
    vull_get_datetime(&d, 1);
    EXPECT_EQ(d.word0, 111);
    EXPECT_EQ(d.word1, 222);
    EXPECT_GE(d.year, 2020);
    EXPECT_TRUE(d.month >= 1 && d.month <= 12);
    EXPECT_TRUE(d.day >= 1 && d.day <= 31);
    EXPECT_TRUE(d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59);
    vull_get_datetime(&d, 0);
    EXPECT_GE(d.year, 2020);

    int y = 0, m = 0, day = 0;
    int ymd = vull_get_date(&y, &m, &day);
    EXPECT_EQ(ymd, y * 10000 + m * 100 + day);
    EXPECT_EQ(vull_get_date(nullptr, nullptr, nullptr) / 10000, y);

    char text[32];
    vull_print_date(0, text);
    EXPECT_EQ(strlen(text), 19u);

    vull_timer_start();
    volatile uint64_t spin = 0;
    for (int i = 0; i < 3000000; i++) spin = spin + uint64_t(i);
    int64_t ns = vull_timer_end();
    EXPECT_GT(ns, 0);
    EXPECT_LT(ns, int64_t(10) * 1000000000);
}

TEST(SystemThreads, CreateRunsTheFunctionDestroyDetaches) {
    static std::atomic<int> ran{0};
    vull_thread_rec *t = vull_create_thread([](void *) -> int {
        ran = 1;
        return 0;
    });
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 200 && !ran; i++) SDL_Delay(5);
    EXPECT_EQ(ran.load(), 1);
    vull_destroy_thread(t);
    vull_destroy_thread(nullptr);
    EXPECT_EQ(vull_create_thread(nullptr), nullptr);
}

// A fake program on PATH records the argument vector it was started with.
class SystemSpawn : public ::testing::Test {
protected:
    EnvGuard guard;
    std::string dir = make_temp_dir();
    std::string record = dir + "/argv.txt";

    void SetUp() override {
        mkdir((dir + "/bin").c_str(), 0755);
        for (const char *prog : {"wget", "xdg-open"}) {
            std::string path = dir + "/bin/" + prog;
            write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" +
                                 record + "'\n");
            chmod(path.c_str(), 0755);
        }
        setenv("PATH", (dir + "/bin").c_str(), 1);
    }
};

TEST_F(SystemSpawn, WgetRefusesQuotesAndPassesArgumentsUntouched) {
    EXPECT_EQ(vull_wget("http://example.invalid/a", "\"quoted"), 6);
    EXPECT_EQ(vull_wget("http://example.invalid/a", (dir + "/a\"b").c_str()), 6);
    EXPECT_EQ(vull_wget("http://example.invalid/a", "http$x"), 6);
    EXPECT_EQ(vull_wget("http://example.invalid/a", "https'x"), 6);
    EXPECT_EQ(vull_wget("http://example.invalid/a", nullptr), 6);
    EXPECT_FALSE(std::ifstream(record).good()); // nothing was started

    // What a shell would have run stays plain text.
    std::string out = dir + "/out$(touch pwned)`touch pwned2`";
    ASSERT_EQ(vull_wget("http://h/x?a=1&b=$(id)", out.c_str()), 0);
    // wget gives up by itself: one try, the engine's time-out (30 s by default)
    EXPECT_EQ(read_file(record),
              "-q\n--tries=1\n--timeout=30\n-O\n" + out + "\n--\nhttp://h/x?a=1&b=$(id)\n");
    EXPECT_FALSE(std::ifstream(dir + "/pwned").good());
    EXPECT_FALSE(std::ifstream("pwned").good());

    remove(record.c_str());
    ASSERT_EQ(vull_wget_ex("-url", "o.txt", "post.txt"), 0);
    EXPECT_EQ(read_file(record),
              "-q\n--tries=1\n--timeout=30\n-O\no.txt\n--post-file=post.txt\n--\n-url\n");

    // a started fetch is the caller's to wait for, reap or kill by its pid
    remove(record.c_str());
    int pid = vull_wget_start("http://h/y", "p.txt", 7, 0);
    ASSERT_GT(pid, 0);
    vull_child_wait_ended(pid);
    EXPECT_EQ(kill(pid, 0), 0) << "an ended child keeps its pid until reaped";
    EXPECT_EQ(vull_child_reap(pid), 0);
    EXPECT_EQ(read_file(record), "-q\n--tries=1\n--timeout=7\n-O\np.txt\n--\nhttp://h/y\n");
    EXPECT_EQ(vull_wget_start("http://h/y", "\"bad", 7, 0), -6);

    // Without wget on PATH the result is still 0: failure shows in the output file.
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(vull_wget("http://h/", "o.txt"), 0);
}

TEST_F(SystemSpawn, AStartedWgetEndsWhenKilled) {
    write_file(dir + "/bin/wget", "#!/bin/sh\nexec /bin/sleep 600\n");
    int pid = vull_wget_start("http://h/z", "q.txt", 5, 0);
    ASSERT_GT(pid, 0);
    vull_child_kill(pid);
    vull_child_wait_ended(pid); // returns once the kill took effect
    EXPECT_EQ(vull_child_reap(pid), 1);
    EXPECT_NE(kill(pid, 0), 0) << "reaped: no process is left";
    vull_child_kill(0); // nothing to end
}

TEST_F(SystemSpawn, AStartedWgetCannotWritePastItsBound) {
    // writes without end once its limit is in place; nobody stops it here
    write_file(dir + "/bin/wget", "#!/bin/sh\n"
                                  "while [ \"$(ulimit -f)\" = unlimited ]; do :; done\n"
                                  "exec /bin/cat /dev/zero > \"$5\"\n");
    std::string out = dir + "/endless.part";
    int pid = vull_wget_start("http://h/e", out.c_str(), 5, 65536);
    ASSERT_GT(pid, 0);
    vull_child_wait_ended(pid); // it ends by itself
    EXPECT_EQ(vull_child_reap(pid), 1);
    struct stat st {};
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 65536);
}

TEST_F(SystemSpawn, ThreadedWgetCallsBack) {
    static std::atomic<int> loaded{0}, failed{0};
    loaded = failed = 0;
    auto on_load = [](const char *) { loaded++; };
    auto on_error = [](const char *) { failed++; };
    EXPECT_EQ(vull_wget_with_callbacks("http://h/x", (dir + "/o").c_str(), on_load, on_error), 0);
    for (int i = 0; i < 400 && !loaded; i++) SDL_Delay(5);
    EXPECT_EQ(loaded.load(), 1);
    EXPECT_EQ(vull_wget_with_callbacks("http://h/x", "\"bad", on_load, on_error), 0);
    for (int i = 0; i < 400 && !failed; i++) SDL_Delay(5);
    EXPECT_EQ(failed.load(), 1);
    std::string too_long(2000, 'p');
    EXPECT_EQ(vull_wget_with_callbacks("http://h/x", too_long.c_str(), on_load, on_error), 0);
    EXPECT_EQ(failed.load(), 2);
}

TEST_F(SystemSpawn, LaunchEscapesWebTargetsAndPassesFoldersWhole) {
    vull_launch_html("http://h/a b\"c$(x)");
    vull_launch_html((dir + "/my folder/$(touch pwned)").c_str());
    for (int i = 0; i < 400; i++) {
        std::string got = read_file(record);
        if (std::count(got.begin(), got.end(), '\n') >= 2) break;
        SDL_Delay(5);
    }
    std::string got = read_file(record);
    EXPECT_NE(got.find("http://h/a%20b%22c%24%28x%29\n"), std::string::npos);
    EXPECT_NE(got.find(dir + "/my folder/$(touch pwned)\n"), std::string::npos);
    EXPECT_FALSE(std::ifstream(dir + "/my folder/pwned").good());
    vull_launch_html(nullptr);
}

TEST(SystemErrors, FatalErrorExitsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(vull_fatal_error("out of memory"), ::testing::ExitedWithCode(1), "");
}
