// Engine file layer: memory files, streams, typed values, line readers, paths, virtual disk.
#include "engine/disk.h"
#include "engine/mem.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/config.h"
#include "platform/system.h"
#include "tests/support/hostile_files.h"
#include "tests/support/write_limit.h"

namespace fs = std::filesystem;

// A scratch folder under the test HOME, removed afterwards.
struct ScratchDir {
    fs::path dir;
    explicit ScratchDir(const char *tag) {
        const char *home = std::getenv("HOME");
        dir = fs::path(home ? home : "/tmp") / (std::string("disk_") + tag);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~ScratchDir() { fs::remove_all(dir); }
    std::string file(const char *name, const std::string &contents) const {
        std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << contents;
        return p;
    }
};

static std::vector<std::string> read_lines(vull_file *f, bool sensitive = true) {
    std::vector<std::string> lines;
    char buf[64];
    for (int guard = 0; guard < 100; guard++) {
        char *r =
            sensitive ? vull_fgets_sensitive(buf, sizeof buf, f) : vull_fgets(buf, sizeof buf, f);
        if (!r) break;
        lines.push_back(r);
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(MemoryFile, ReadsAndWritesStayInsideTheBlock) {
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[16] = {};
    vull_file *f = vull_fopen_memory(block, 8);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->capacity, 0);

    // Before the start: reads copy nothing, getc gives 0, writes are refused.
    vull_fseek(f, -5, SEEK_CUR);
    EXPECT_EQ(f->position, -5);
    EXPECT_EQ(vull_fread(out, 1, 16, f), 0);
    EXPECT_EQ(vull_fgetc(f), 0);
    EXPECT_EQ(vull_fwrite("zz", 1, 2, f), 0);
    EXPECT_EQ(vull_fread_uint32(f), 0u);
    EXPECT_EQ(f->position, -5);

    // Past the end: the same.
    vull_fseek(f, 100, SEEK_CUR);
    EXPECT_EQ(vull_fread(out, 1, 16, f), 0);
    EXPECT_EQ(vull_fgetc(f), 0);
    EXPECT_EQ(vull_fwrite("zz", 1, 2, f), 0);
    EXPECT_NE(vull_feof(f), 0);

    // Huge seeks saturate instead of overflowing.
    vull_fseek(f, INT32_MAX, SEEK_CUR);
    vull_fseek(f, INT32_MAX, SEEK_CUR);
    EXPECT_EQ(f->position, INT32_MAX);
    EXPECT_EQ(vull_fread(out, 1, 1, f), 0);

    // Only whence 1 moves; 0 and 2 do nothing.
    f->position = 2;
    vull_fseek(f, 0, SEEK_SET);
    vull_fseek(f, 0, SEEK_END);
    EXPECT_EQ(f->position, 2);

    // A write into the caller's block is cut at its end.
    f->position = 6;
    EXPECT_EQ(vull_fwrite("abcd", 1, 4, f), 2);
    EXPECT_EQ(block[6], 'a');
    EXPECT_EQ(block[7], 'b');
    EXPECT_EQ(f->length, 8);

    // Reads return bytes, cut at the length; size x n cannot wrap.
    f->position = 5;
    EXPECT_EQ(vull_fread(out, 4, 4, f), 3);
    EXPECT_EQ(vull_fread(out, 0x10000, 0x10000, f), 0);
    f->position = 0;
    EXPECT_EQ(vull_fread(out, 0x10000, 0x10000, f), 8);
    EXPECT_EQ(vull_fgetc(f), 0); // at the end: 0, not -1
    vull_fclose(f);

    EXPECT_EQ(vull_fopen_memory(nullptr, 4), nullptr);
    EXPECT_EQ(vull_fopen_memory(block, -1), nullptr);
}

TEST(MemoryFile, GrowableWritesAndZeroFill) {
    cbuffer *b = vull_create_buffer(4);
    EXPECT_EQ(vull_fwrite(nullptr, 1, 6, b), 6); // null source on a growable file: zeros
    EXPECT_EQ(b->length, 6);
    EXPECT_EQ(vull_fwrite("ab", 1, 2, b), 2);
    EXPECT_EQ(vull_fwrite("ab", -1, 2, b), 0);
    EXPECT_EQ(vull_fwrite("ab", 0x10000, 0x10000, b), 0); // 4 GiB: refused, nothing grows
    EXPECT_EQ(b->length, 8);
    EXPECT_EQ(b->data[5], 0);
    EXPECT_EQ(b->data[6], 'a');
    vull_fseek(b, -100, SEEK_CUR);
    EXPECT_EQ(vull_fwrite("x", 1, 1, b), 0);
    vull_fclose(b);
}

TEST(TypedValues, RoundTripAndShortReads) {
    cbuffer *b = vull_create_buffer(0);
    vull_fwrite_int8(-2, b);
    vull_fwrite_int16(-300, b);
    vull_fwrite_uint16(60000, b);
    vull_fwrite_uint32(0xCAFEBABE, b);
    vull_fwrite_float(1.5f, b);
    int32_t s32[2] = {-5, 6};
    EXPECT_EQ(vull_fwrite_int32s(s32, 2, b), 2);
    EXPECT_EQ(b->length, 1 + 2 + 2 + 4 + 4 + 8);
    EXPECT_EQ(b->data[1], 0xD4); // little-endian on the wire
    EXPECT_EQ(b->data[2], 0xFE);

    b->position = 0;
    EXPECT_EQ(vull_fread_int8(b), -2); // signed readers sign-extend
    EXPECT_EQ(vull_fread_int16(b), -300);
    EXPECT_EQ(vull_fread_uint16(b), 60000);
    EXPECT_EQ(vull_fread_uint32(b), 0xCAFEBABEu);
    EXPECT_EQ(vull_fread_float(b), 1.5f);
    int32_t r32[4] = {};
    EXPECT_EQ(vull_fread_int32s(r32, 4, b), 2); // only two remain
    EXPECT_EQ(r32[0], -5);

    // A short read fills the missing high bytes with 0 and advances by what it copied.
    b->position = b->length - 3;
    std::memcpy(b->data + b->position, "\x11\x22\x33", 3);
    EXPECT_EQ(vull_fread_uint32(b), 0x332211u);
    EXPECT_EQ(b->position, b->length);
    vull_fclose(b);

    vull_file odd{}; // neither kind: reads 0, writes nothing
    odd.kind = 7;
    EXPECT_EQ(vull_fread_int32(&odd), 0);
    EXPECT_EQ(vull_fwrite_int32(5, &odd), 0);
    EXPECT_EQ(vull_fread_uint16(nullptr), 0);
}

TEST(LineReader, MemoryLineBreaks) {
    char data[] = "a\r\nb\rc";
    vull_file *f = vull_fopen_memory(data, 6);
    EXPECT_EQ(read_lines(f), (Lines{"a", "b", "c"}));
    vull_fclose(f);

    char cr_end[] = "x\ry\r";
    f = vull_fopen_memory(cr_end, 4);
    EXPECT_EQ(read_lines(f), (Lines{"x", "y"}));
    EXPECT_EQ(f->position, 4);
    vull_fclose(f);

    // CR LF blank lines give one empty line each; 0xFF first gives an empty line.
    char blanks[] = "a\r\n\r\nb\n\xff\n";
    f = vull_fopen_memory(blanks, 9);
    EXPECT_EQ(read_lines(f, false), (Lines{"a", "", "b", "", ""}));
    vull_fclose(f);

    // A long line is split at n - 1 characters; nothing is lost.
    char longline[] = "abcdefgh\n";
    f = vull_fopen_memory(longline, 9);
    char small[4];
    EXPECT_STREQ(vull_fgets_sensitive(small, 4, f), "abc");
    EXPECT_STREQ(vull_fgets_sensitive(small, 4, f), "def");
    EXPECT_STREQ(vull_fgets_sensitive(small, 4, f), "gh");
    EXPECT_EQ(vull_fgets_sensitive(small, 4, f), nullptr);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(vull_fgets_sensitive(small, 0, f), nullptr);
    EXPECT_EQ(vull_fgets_sensitive(small, 4, nullptr), nullptr);
    vull_fclose(f);
}

// Whole lines of any length, with how each ended: 1 a line end, 0 the data's end.
TEST(LineReader, WholeLinesIntoABuffer) {
    ScratchDir d("wholelines");
    std::string longline(200000, 'x');
    std::string text = "a\r\n\n" + longline + "\rlast";
    cbuffer *line = vull_create_buffer(0);
    for (int kind = 0; kind < 2; kind++) {
        std::vector<char> copy(text.begin(), text.end());
        vull_file *f = kind ? vull_fopen(d.file("w.txt", text).c_str(), "rb")
                            : vull_fopen_memory(copy.data(), (int)copy.size());
        std::vector<std::pair<int, std::string>> got;
        for (int r; (r = vull_fgets_line(line, f)) >= 0;)
            got.emplace_back(r, std::string((const char *)line->data, line->length));
        EXPECT_STREQ((const char *)line->data, "");
        ASSERT_EQ(got.size(), 4u) << kind;
        EXPECT_EQ(got[0], std::make_pair(1, std::string("a")));
        EXPECT_EQ(got[1], std::make_pair(1, std::string()));
        EXPECT_EQ(got[2], std::make_pair(1, longline));
        EXPECT_EQ(got[3], std::make_pair(0, std::string("last")));
        vull_fclose(f);
    }
    EXPECT_EQ(vull_fgets_line(line, nullptr), -1);
    EXPECT_EQ(vull_fgets_line(nullptr, nullptr), -1);
    vull_destroy_buffer(line);
}

// A line past the caller's bound is refused having read one byte past it, and
// the buffer never grows beyond the bound.
TEST(LineReader, ALineLongerThanItsBoundIsRefused) {
    std::string text = std::string(1000, 'x') + "\n" + std::string(3000000, 'y') + "\nz";
    cbuffer *line = vull_create_buffer(0);
    vull_file *f = vull_fopen_memory(text.data(), (int)text.size());
    EXPECT_EQ(vull_fgets_line(line, f, 1000), 1);
    EXPECT_EQ(line->length, 1000);
    EXPECT_EQ(vull_fgets_line(line, f, 1000), -2);
    EXPECT_STREQ((const char *)line->data, "");
    EXPECT_EQ(f->position, 1001 + 1001);
    EXPECT_LT(line->capacity, 4096);
    vull_fclose(f);
    vull_destroy_buffer(line);
}

TEST(LineReader, StreamLineBreaks) {
    ScratchDir d("lines");
    vull_file *f = vull_fopen(d.file("a.txt", "a\nb").c_str(), "rb");
    EXPECT_EQ(read_lines(f), (Lines{"a", "b"}));
    vull_fclose(f);
    f = vull_fopen(d.file("b.txt", "a\nb\n").c_str(), "rb");
    EXPECT_EQ(read_lines(f), (Lines{"a", "b", ""}));
    vull_fclose(f);
    // CR-only text keeps every character.
    f = vull_fopen(d.file("c.txt", "one\rtwo\r\nthree\rfour").c_str(), "rb");
    EXPECT_EQ(read_lines(f), (Lines{"one", "two", "three", "four"}));
    vull_fclose(f);
    // vull_fgets on a stream is the C library's and keeps the newline.
    f = vull_fopen(d.file("d.txt", "x\ny").c_str(), "rb");
    EXPECT_EQ(read_lines(f, false), (Lines{"x\n", "y"}));
    vull_fclose(f);
}

// A folder opens as a stream whose every read fails without ever setting the end flag:
// the reader once returned empty lines from it for ever.
TEST(LineReader, StreamThatCannotBeReadEnds) {
    ScratchDir d("unreadable");
    vull_file *f = vull_fopen(d.dir.c_str(), "r");
    if (!f) GTEST_SKIP() << "folders cannot be opened as streams here";
    char buf[16];
    EXPECT_EQ(vull_fgets_sensitive(buf, sizeof buf, f), nullptr);
    EXPECT_EQ(vull_fgets_sensitive(buf, sizeof buf, f), nullptr);
    vull_fclose(f);
}

TEST(StreamFile, SeekGetcAndFormattedText) {
    ScratchDir d("stream");
    std::string p = d.file("s.bin", "0123456789");
    vull_file *f = vull_fopen(p.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->kind, VULL_FILE_STREAM);
    EXPECT_EQ(vull_fgetc(f), '0');
    vull_fseek(f, 100, SEEK_SET); // ignored
    vull_fseek(f, 0, SEEK_END);   // ignored
    EXPECT_EQ(vull_fgetc(f), '1');
    vull_fseek(f, 3, SEEK_CUR);
    EXPECT_EQ(vull_fgetc(f), '5');
    char buf[16];
    EXPECT_EQ(vull_fread(buf, 2, 3, f), 2); // whole items from a stream
    EXPECT_EQ(vull_fgetc(f), -1);
    vull_fclose(f);

    cbuffer *b = vull_create_buffer(0);
    vull_fprintf_1d(b, "n=%d;", -7);
    vull_fprintf_4x(b, "%x%x%x%x", 1, 2, 10, 255);
    vull_fprintf_1s(b, "[%s]", "text");
    EXPECT_EQ(std::string((char *)b->data, b->length), "n=-7;12aff[text]");
    // Over-long results are cut at 1023 characters, never written past the scratch text.
    std::string wide(3000, 'w');
    vull_clear_buffer(b);
    vull_fprintf_1d(b, (wide + "%d").c_str(), 1);
    EXPECT_EQ(b->length, 1023);
    vull_clear_buffer(b);
    vull_fprintf_1s(b, "<%s>", wide.c_str());
    EXPECT_EQ(b->length, 3002);
    vull_fclose(b);
}

TEST(Paths, SplitAndExtension) {
    char folder[VULL_PATH_LEN], name[VULL_PATH_LEN], ext[VULL_PATH_LEN];
    vull_split_filename("/home/u/game.z6.png", folder, name, ext);
    EXPECT_STREQ(folder, "/home/u/");
    EXPECT_STREQ(name, "game.z6");
    EXPECT_STREQ(ext, ".png");
    vull_split_filename_ex("/home/u/game.z6.png", folder, name, ext, 1);
    EXPECT_STREQ(name, "game");
    EXPECT_STREQ(ext, ".z6.png");
    vull_split_filename("a.b/cart", folder, name, ext);
    EXPECT_STREQ(folder, "a.b/");
    EXPECT_STREQ(name, "cart");
    EXPECT_STREQ(ext, "");
    std::string too_long(1024, 'a');
    vull_split_filename(too_long.c_str(), folder, name, ext);
    EXPECT_STREQ(name, "");

    EXPECT_STREQ(vull_get_filename_extension("x/y.tar.gz", ext), "gz");
    std::string long_ext = "." + std::string(2000, 'e');
    EXPECT_EQ(std::strlen(vull_get_filename_extension(long_ext.c_str(), ext)), 1023u);

    const char *p = "dir\\sub/file.txt";
    EXPECT_EQ(vull_get_filename_without_path(p), p + 8);
    EXPECT_EQ(vull_get_filename_without_path(nullptr), nullptr);
    // A ':' is part of a name on this system, never the end of a folder.
    EXPECT_STREQ(vull_get_path_without_filename("c:file"), "");
    EXPECT_STREQ(vull_get_path_without_filename("/x/a:b.png"), "/x/");
    EXPECT_STREQ(vull_get_path_without_filename("dir\\sub/f"), "dir\\sub/");
    EXPECT_EQ(std::strlen(vull_get_path_without_filename((std::string(3000, 'x') + "/").c_str())),
              0u);
}

TEST(Paths, FixPathStringKeepsUtf8) {
    char out[VULL_PATH_LEN];
    EXPECT_STREQ(vull_fix_path_string("  /home/jos\xc3\xa9//carts\\x\t  ", out),
                 "/home/jos\xc3\xa9/carts/x/");
    EXPECT_STREQ(vull_fix_path_string("", out), "");
    EXPECT_STREQ(vull_fix_path_string("/", out), "/");
    EXPECT_STREQ(vull_fix_path_string("\t /games/", out), "/games/"); // leading blanks of any kind
    EXPECT_STREQ(vull_fix_path_string("a", nullptr), "a/");
    std::string huge(5000, 'q');
    vull_fix_path_string(huge.c_str(), out);
    EXPECT_EQ(std::strlen(out), 1023u);
    EXPECT_EQ(out[1022], '/');
}

TEST(Paths, Resolve) {
    char out[VULL_PATH_LEN];
    EXPECT_STREQ(vull_resolve_filename("/a/b/../c/./d", out), "/a/c/d");
    EXPECT_STREQ(vull_resolve_filename("/a/..", out), "/");
    EXPECT_STREQ(vull_resolve_filename("/..", out), "/");
    EXPECT_STREQ(vull_resolve_filename("/a/b/", out), "/a/b/");
    EXPECT_STREQ(vull_resolve_filename("/a/b/.", out), "/a/b/");
    EXPECT_STREQ(vull_resolve_filename("\\a\\\\b", out), "/a/b");
    std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/tester", 1);
    EXPECT_STREQ(vull_resolve_filename("~/x", out), "/home/tester/x");
    EXPECT_STREQ(vull_resolve_filename("/q/~/x/..", out), "/home/tester/");
    setenv("HOME", old_home.c_str(), 1);

    // Relative paths go under the working folder.
    std::string cwd = fs::current_path().string();
    std::string here = cwd == "/" ? "" : cwd;
    EXPECT_EQ(std::string(vull_resolve_filename("k/../m", out)), here + "/m");
    // A ':' makes no path absolute and ends no component that ".." removes.
    EXPECT_EQ(std::string(vull_resolve_filename("a:h", out)), here + "/a:h");
    EXPECT_EQ(std::string(vull_resolve_filename(" :/", out)), here + "/ :/");
    EXPECT_STREQ(vull_resolve_filename("/T/B/q:r/../h2", out), "/T/B/h2");
    EXPECT_STREQ(vull_resolve_filename("/a:/..", out), "/");

    EXPECT_EQ(vull_unroll_filename("/a/b", out), 4);
    EXPECT_STREQ(out, "/a/b/");

    // Results beyond the path length come back empty, not cut.
    std::string deep = "/" + std::string(1500, 'd');
    EXPECT_STREQ(vull_resolve_filename(deep.c_str(), out), "");
    std::string collapses = "/" + std::string(1500, 'd') + "/../ok";
    EXPECT_STREQ(vull_resolve_filename(collapses.c_str(), out), "/ok");
}

TEST(Int6, TablesAreInverse) {
    for (int v = 0; v < 64; v++) EXPECT_EQ(vull_ascii_to_int6(vull_int6_to_ascii(v)), v);
    EXPECT_EQ(vull_int6_to_ascii(32), '_');
    EXPECT_EQ(vull_int6_to_ascii(64), 0);
    EXPECT_EQ(vull_ascii_to_int6('#'), 0);
    EXPECT_EQ(vull_ascii_to_int6(200), 0);
}

TEST(WholeFiles, LoadAndCopy) {
    ScratchDir d("whole");
    cbuffer *b = vull_load_file(d.file("empty", "").c_str(), 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->length, 0);
    vull_destroy_buffer(b);

    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); i++) big[i] = (char)(i * 7);
    std::string src = d.file("big", big);
    b = vull_load_file(src.c_str(), 200000);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->length, 200000);
    EXPECT_EQ(b->position, b->length);
    EXPECT_EQ(std::memcmp(b->data, big.data(), big.size()), 0);
    vull_destroy_buffer(b);
    EXPECT_EQ(vull_load_file((d.dir / "missing").c_str(), 10), nullptr);

    std::string dst = (d.dir / "copy").string();
    EXPECT_EQ(vull_copy_file(src.c_str(), dst.c_str(), 200000), 0);
    std::ifstream in(dst, std::ios::binary);
    std::string copied((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(copied, big);
    EXPECT_EQ(vull_copy_file((d.dir / "missing").c_str(), dst.c_str(), 10), 1);
    EXPECT_EQ(vull_copy_file(src.c_str(), (d.dir / "no/such/dir").c_str(), 200000), 2);
    if (fs::exists("/dev/full")) { // a target that fills up must not report success
        EXPECT_EQ(vull_copy_file(src.c_str(), "/dev/full", 200000), 2);
    }
}

// Every engine reader refuses a pipe (without waiting on it), a device through a link and
// a file one byte past its bound, and reads the file at its bound.
TEST(WholeFiles, EveryReaderRefusesWhatIsNoFileOfItsSize) {
    ScratchDir d("guarded");
    std::string home = (d.dir / "home").string();
    fs::create_directories(home);
    auto as_config = [&](const std::string &p) { // config.txt of the home folder is p
        fs::remove(home + "/config.txt");
        fs::create_symlink(p, home + "/config.txt");
        std::snprintf(cconfig.home, sizeof cconfig.home, "%s/", home.c_str());
        cconfig.show_fps = 0;
        vull_config_load();
        return cconfig.show_fps == 7;
    };
    struct reader {
        const char *name;
        int64_t bound;
        std::function<bool(const std::string &)> reads;
        const char *line = "x";
    } readers[] = {
        {"vull_open_read", 1000,
         [](const std::string &p) {
             FILE *f = vull_open_read(p.c_str(), 1000);
             if (f) std::fclose(f);
             return f != nullptr;
         }},
        {"vull_load_file", 1000,
         [](const std::string &p) {
             cbuffer *b = vull_load_file(p.c_str(), 1000);
             bool whole = b && b->length == 1000;
             vull_destroy_buffer(b);
             return whole;
         }},
        {"vull_fopen", VULL_READ_MAX,
         [](const std::string &p) {
             vull_file *f = vull_fopen(p.c_str(), "r");
             vull_fclose(f);
             return f != nullptr;
         }},
        {"config.txt", VULL_CONFIG_FILE_MAX, as_config, "show_fps 7\n"},
    };
    for (const reader &r : readers) {
        hostile::file_set files = hostile::make(d.dir, r.name, r.bound, r.line);
        EXPECT_TRUE(r.reads(files.at_bound)) << r.name;
        for (const std::string &p : files.refused) EXPECT_FALSE(r.reads(p)) << r.name << " " << p;
    }
    cconfig = vull_config_rec{};
}

TEST(VirtualDisk, NamesModesAndLifetime) {
    vull_file *w = vull_fopen_vdisk("dir/x.txt", "w");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(vdisk_file_owned(w), 1);
    EXPECT_STREQ(w->name, "x.txt");
    vull_fwrite("hello", 1, 5, w);
    vull_fclose(w); // stays on the disk

    vull_file *r = vull_fopen_vdisk("other/x.txt", "r");
    EXPECT_EQ(r, w);
    char buf[8] = {};
    EXPECT_EQ(vull_fread(buf, 1, 8, r), 5);
    EXPECT_STREQ(buf, "hello");
    vull_fclose(r);
    r = vull_fopen("/no/such/folder/x.txt", "rb"); // falls back to the disk for reading
    EXPECT_EQ(r, w);
    EXPECT_EQ(r->position, 0);
    EXPECT_EQ(vull_fopen("/no/such/folder/x.txt", "wb"), nullptr);

    EXPECT_EQ(vull_fopen_vdisk("x.txt", "a"), nullptr);
    EXPECT_EQ(vull_fopen_vdisk("X.TXT", "r"), nullptr); // case-sensitive
    EXPECT_EQ(vull_fopen_vdisk("unknown.z6", "r"), nullptr);
    EXPECT_EQ(vull_fopen_vdisk("unknown.z6", "a"), nullptr);

    w = vull_fopen_vdisk("x.txt", "w"); // reopening for writing empties it
    EXPECT_EQ(w->length, 0);
    EXPECT_EQ(w->position, 0);
    EXPECT_EQ(vdisk_file_owned(nullptr), 0);
    cbuffer *plain = vull_create_buffer(4);
    EXPECT_EQ(vdisk_file_owned(plain), 0);
    vull_destroy_buffer(plain);

    // Keys must fit the 64-byte name field whole: 63 characters are fine, 64 are refused.
    std::string k63 = "carts/" + std::string(60, 'k') + ".z6";
    std::string k64 = "carts/" + std::string(61, 'k') + ".z6";
    EXPECT_NE(vull_fopen_vdisk(k63.c_str(), "w"), nullptr);
    EXPECT_EQ(vull_fopen_vdisk(k64.c_str(), "w"), nullptr);
    EXPECT_EQ(vull_fopen_vdisk(std::string(5000, 'z').c_str(), "w"), nullptr);
    EXPECT_EQ(vull_fopen_vdisk("folder/", "w"), nullptr);
}

// Runs last in this program: it fills the disk for good.
TEST(VirtualDiskZ, FullDiskRefusesNewFiles) {
    int made = 0;
    for (int i = 0; i < VULL_VDISK_MAX + 10; i++) {
        std::string key = "fill" + std::to_string(i) + ".z6";
        if (vull_fopen_vdisk(key.c_str(), "w")) made++;
    }
    EXPECT_LT(made, VULL_VDISK_MAX);
    EXPECT_EQ(vull_fopen_vdisk("onemore.z6", "w"), nullptr);
    // Existing files still open.
    EXPECT_NE(vull_fopen_vdisk("fill0.z6", "r"), nullptr);
    EXPECT_NE(vull_fopen_vdisk("x.txt", "w"), nullptr);
}

static std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

static int entries(const fs::path &dir) {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir)) n++;
    return n;
}

TEST(OneWriter, ReplacesWholeOrNotAtAll) {
    ScratchDir d("writer");
    std::string p = (d.dir / "cart.z6").string();
    EXPECT_EQ(vull_save_file(p.c_str(), "first", 5), 0);
    EXPECT_EQ(slurp(p), "first");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::string big(100000, 'n');
    EXPECT_EQ(vull_save_file(p.c_str(), big.data(), int64_t(big.size())), 0);
    EXPECT_EQ(slurp(p), big);
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(vull_save_file(p.c_str(), "", 0), 0); // an empty file is a file too
    EXPECT_EQ(slurp(p), "");
    EXPECT_EQ(vull_save_file(p.c_str(), "first", 5), 0);

    // A disk that fills part-way: the target keeps every old byte, nothing is left beside it.
    for (rlim_t room : {rlim_t(0), rlim_t(1), rlim_t(4096), rlim_t(big.size() - 1)}) {
        z6test::write_limit full(room);
        EXPECT_EQ(vull_save_file(p.c_str(), big.data(), int64_t(big.size())), 1) << room;
    }
    EXPECT_EQ(slurp(p), "first");
    EXPECT_EQ(entries(d.dir), 1);

    // In pieces: nothing shows until the end; a save given up leaves the target as it was.
    vull_save *s = vull_save_begin(p.c_str(), VULL_SAVE_FLUSH_LATER);
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < 1000; i++) EXPECT_EQ(vull_save_write(s, big.data(), 100), 0);
    EXPECT_EQ(slurp(p), "first");
    EXPECT_EQ(vull_save_end(s), 0);
    vull_flush_saved_files();
    EXPECT_EQ(slurp(p), big);
    s = vull_save_begin(p.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(vull_save_write(s, "x", 1), 0);
    EXPECT_EQ(vull_save_end(s, false), 1);
    EXPECT_EQ(slurp(p), big);
    {
        z6test::write_limit full(4096);
        s = vull_save_begin(p.c_str());
        ASSERT_NE(s, nullptr);
        for (int i = 0; i < 100; i++) vull_save_write(s, big.data(), 1000);
        EXPECT_EQ(vull_save_write(s, "x", 1), 1);
        EXPECT_EQ(vull_save_end(s), 1);
    }
    EXPECT_EQ(slurp(p), big);
    EXPECT_EQ(vull_save_file(p.c_str(), "first", 5), 0);
    EXPECT_EQ(entries(d.dir), 1);

    // Saved again and again: each save whole in place (shorter and longer than the last), the
    // replaced file kept aside until the flush; a hard link the user made to the replaced file
    // keeps its bytes; a failed save leaves the target and no spare.
    auto repeated = [&](const std::string &text) {
        vull_save *r = vull_save_begin(p.c_str(), VULL_SAVE_REPEATED);
        bool ok = r && vull_save_write(r, text.data(), int64_t(text.size())) == 0;
        return vull_save_end(r, ok) == 0 && ok;
    };
    for (const std::string &text :
         {std::string("second"), big, std::string("third"), std::string("4")}) {
        EXPECT_TRUE(repeated(text));
        EXPECT_EQ(slurp(p), text);
        EXPECT_EQ(entries(d.dir), 2);
    }
    std::string linked = (d.dir / "linked.z6").string();
    fs::create_hard_link(p, linked);
    EXPECT_TRUE(repeated("fifth"));
    EXPECT_TRUE(repeated("sixth"));
    EXPECT_TRUE(repeated("seventh"));
    EXPECT_EQ(slurp(linked), "4");
    EXPECT_EQ(slurp(p), "seventh");
    fs::remove(linked);
    {
        z6test::write_limit full(0);
        EXPECT_FALSE(repeated("eighth"));
    }
    EXPECT_EQ(slurp(p), "seventh");
    EXPECT_EQ(entries(d.dir), 1);
    EXPECT_TRUE(repeated("ninth"));
    vull_flush_saved_files();
    EXPECT_EQ(slurp(p), "ninth");
    EXPECT_EQ(entries(d.dir), 1);
    EXPECT_EQ(vull_save_file(p.c_str(), "first", 5), 0);

    // A link stays a link; the file it names is replaced.
    std::string real = (d.dir / "real.txt").string(), link = (d.dir / "link.txt").string();
    EXPECT_EQ(vull_save_file(real.c_str(), "old", 3), 0);
    fs::create_symlink(real, link);
    EXPECT_EQ(vull_save_file(link.c_str(), "new", 3), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "new");
    // A dangling link (through a second one, relative) makes the file it names and stays a
    // link; one into a missing folder makes no folder and writes nothing.
    fs::create_directories(d.dir / "in");
    std::string dangling = (d.dir / "dangling.txt").string();
    fs::create_symlink("hop.txt", dangling);
    fs::create_symlink("in/made.txt", d.dir / "hop.txt");
    EXPECT_EQ(vull_save_file(dangling.c_str(), "made", 4), 0);
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_TRUE(fs::is_symlink(d.dir / "hop.txt"));
    EXPECT_EQ(slurp((d.dir / "in/made.txt").string()), "made");
    std::string nowhere = (d.dir / "nowhere.txt").string();
    fs::create_symlink("missing/x.txt", nowhere);
    EXPECT_EQ(vull_save_file(nowhere.c_str(), "x", 1), 1);
    EXPECT_TRUE(fs::is_symlink(nowhere));
    EXPECT_FALSE(fs::exists(d.dir / "missing"));
    for (const char *name : {"dangling.txt", "hop.txt", "nowhere.txt", "in"}) fs::remove_all(d.dir / name);

    // Nothing to write into, or nowhere to put the new file.
    EXPECT_EQ(vull_save_file(d.dir.c_str(), "x", 1), 1);
    EXPECT_EQ(vull_save_file((d.dir / "no/such/dir/f").c_str(), "x", 1), 1);
    EXPECT_EQ(vull_save_file(nullptr, "x", 1), 1);
    EXPECT_EQ(vull_save_file(p.c_str(), nullptr, 1), 1);
    EXPECT_EQ(slurp(p), "first");
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(vull_save_file("/dev/full", "x", 1), 1);
    }
}

// A file the user made read-only is not replaced, whoever runs the player: as the suite runs
// (often root, whom no permission check stops), and in a child that has become an ordinary
// user (nobody) first. A file only its owner may not write counts as read-only for root too.
TEST(OneWriter, RefusesAFileTheUserMayNotWrite) {
    ScratchDir d("readonly");
    std::string p = (d.dir / "locked.z6").string(), free = (d.dir / "free.z6").string();
    std::ofstream(p) << "kept";
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(d.dir, fs::perms::all);
    EXPECT_EQ(vull_save_file(p.c_str(), "new", 3), 1);
    EXPECT_EQ(vull_save_begin(p.c_str(), VULL_SAVE_REPEATED), nullptr);
    std::string owners = d.file("owners.z6", "kept");
    fs::permissions(owners, fs::perms::owner_read | fs::perms::group_all | fs::perms::others_read);
    EXPECT_EQ(vull_save_file(owners.c_str(), "new", 3), 1);
    EXPECT_EQ(slurp(owners), "kept");
    EXPECT_EQ(slurp(p), "kept");
    EXPECT_EQ(entries(d.dir), 2);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        if (access(d.dir.c_str(), W_OK | X_OK) != 0) _exit(3); // a parent folder shuts it out
        int locked = vull_save_file(p.c_str(), "new", 3);
        int writable = vull_save_file(free.c_str(), "new", 3);
        _exit(locked == 1 && writable == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot become an ordinary user to test this";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the read-only file was replaced, or a free one not";
    EXPECT_EQ(slurp(p), "kept");
    EXPECT_EQ(slurp(free), "new");
}

// A private file is never readable by others, not even while its replacement is written:
// the temporary file is looked at the moment it is made, while another process saves.
TEST(OneWriter, TheTemporaryFileIsAsPrivateAsTheFile) {
    ScratchDir d("private");
    std::string p = d.file("secret.z6", "old");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, d.dir.c_str(), IN_CREATE), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string big(size_t(16) << 20, 's');
        _exit(vull_save_file(p.c_str(), big.data(), int64_t(big.size())) == 0 ? 0 : 1);
    }
    bool seen = false;
    fs::perms open_to = fs::perms::none;
    pollfd ready{watch, POLLIN, 0};
    alignas(inotify_event) char events[4096];
    ssize_t n = poll(&ready, 1, 60000) == 1 ? read(watch, events, sizeof events) : -1;
    for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
        const auto *e = reinterpret_cast<const inotify_event *>(events + at);
        std::error_code ec;
        fs::file_status st = fs::status(d.dir / (e->len ? e->name : ""), ec);
        if (e->len && !ec && std::string(e->name).rfind(".z6save-", 0) == 0) {
            seen = true;
            open_to |= st.permissions() & (fs::perms::group_all | fs::perms::others_all);
        }
        at += ssize_t(sizeof(inotify_event) + e->len);
    }
    close(watch);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    if (!seen) GTEST_SKIP() << "the save ended before its temporary file was looked at";
    EXPECT_EQ(open_to, fs::perms::none) << "the temporary file was open to others";
}

// Temporary files of writers killed mid-write go when their folder is next written, but only
// those of processes no longer running and older than a minute.
TEST(OneWriter, RemovesStaleTemporaryFiles) {
    ScratchDir d("stale");
    pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    std::string dead = ".z6save-" + std::to_string(gone), alive = ".z6save-" + std::to_string(getppid());
    auto aged = [&](const std::string &name, int age_s) {
        std::string p = d.file(name.c_str(), "partial");
        fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::seconds(age_s));
        return name;
    };
    std::string stale = aged(dead + "-0.tmp", 120);
    std::string young = aged(dead + "-1.tmp", 5);
    std::string running = aged(alive + "-0.tmp", 120);
    std::string other = aged(dead + "-0.tmp.bak", 120);
    EXPECT_EQ(vull_save_file((d.dir / "cart.z6").c_str(), "x", 1), 0);
    EXPECT_FALSE(fs::exists(d.dir / stale));
    for (const std::string &kept : {young, running, other}) EXPECT_TRUE(fs::exists(d.dir / kept)) << kept;
}

// Closing a stream is the last chance for its buffered writes to fail: that is reported.
TEST(StreamFile, CloseReportsWritesThatFailed) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    vull_file *f = vull_fopen("/dev/full", "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vull_fwrite("abc", 1, 3, f), 3); // only buffered so far
    EXPECT_EQ(vull_fclose(f), EOF);
    ScratchDir d("close");
    f = vull_fopen((d.dir / "ok").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vull_fclose(f), 0);
    EXPECT_EQ(vull_fclose(nullptr), 0);
}
