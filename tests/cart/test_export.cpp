// The stand-alone exporter's building blocks: the parameter list, the icon from
// sprites and label, its shadow, the macOS and Windows icon forms, the
// framework unpacking with hostile entry names, and the zip flags.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/export.h"
#include "cart/png_cart.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/pod.h"

namespace fs = std::filesystem;

namespace {

struct export_test : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        pstate.headless = 1; // console lines to stdout
        dir = fs::temp_directory_path() /
              ("z6_export_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string &name) const { return (dir / name).string(); }
};

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_all(const std::string &path, const std::string &data) {
    std::ofstream(path, std::ios::binary) << data;
}

uint32_t pixel(const vull_bitmap *b, int x, int y) {
    return reinterpret_cast<const uint32_t *>(b->rows[y])[x];
}

void set_pixel(vull_bitmap *b, int x, int y, uint32_t v) {
    reinterpret_cast<uint32_t *>(b->rows[y])[x] = v;
}

uint32_t opaque_colour(int index) {
    const vull_rgb &c = cart_display_colours()[index];
    return 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

uint32_t be32(const std::string &s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

struct bitmap_ptr {
    vull_bitmap *b;
    explicit bitmap_ptr(vull_bitmap *bmp) : b(bmp) {}
    ~bitmap_ptr() { vull_destroy_bitmap(b); }
    vull_bitmap *operator->() const { return b; }
    operator vull_bitmap *() const { return b; }
};

// A 128x128 icon whose every pixel is distinct in each channel's row pattern.
bitmap_ptr test_icon() {
    bitmap_ptr icon(vull_create_bitmap(128, 128, 32));
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            set_pixel(icon, x, y,
                      (x & 1 ? 0x80000000u : 0) | uint32_t(y) << 16 | uint32_t(x) << 8 |
                          uint32_t(x ^ y));
    return icon;
}

// ---- parameters ----

TEST_F(export_test, ParametersTakeTheNextTokenAsValueAndKeepNames) {
    export_parameters *p = extract_parameters("-x -i 5");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->value['x' - 'a'], 0); // read from the token "-i"
    EXPECT_EQ(p->value['i' - 'a'], -1);
    ASSERT_EQ(p->name_count, 1);
    EXPECT_STREQ(p->names[0], "5");

    p = extract_parameters("game.bin,more.z6  other -f -s 2 -c 12 -p hello -e readme.txt -j -i");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->name_count, 3);
    EXPECT_STREQ(p->names[0], "game.bin");
    EXPECT_STREQ(p->names[1], "more.z6");
    EXPECT_STREQ(p->names[2], "other");
    EXPECT_EQ(p->value['f' - 'a'], 1);
    EXPECT_EQ(p->value['j' - 'a'], 1);
    EXPECT_EQ(p->value['s' - 'a'], 2);
    EXPECT_EQ(p->value['c' - 'a'], 12);
    EXPECT_EQ(p->value['i' - 'a'], 0); // no token left: 0
    EXPECT_EQ(p->value['w' - 'a'], -1);
    EXPECT_STREQ(p->p, "hello");
    EXPECT_STREQ(p->e, "readme.txt");

    // Each call starts a new list.
    p = extract_parameters("");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->name_count, 0);
    EXPECT_EQ(p->value['s' - 'a'], -1);
}

TEST_F(export_test, ParametersRefuseADashWithoutALowercaseLetter) {
    for (const char *text : {"game -", "game -X 3", "-1", "a --s"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(extract_parameters(text), nullptr) << text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "bad argument\n") << text;
    }
}

TEST_F(export_test, ParametersCutLongTextsAndDropExtraNames) {
    std::string long_name(5000, 'n'), long_opt(600, 'o'), text;
    for (int i = 0; i < 40; i++) text += long_name + std::to_string(i) + " ";
    text += "-p " + long_opt + " -e " + long_opt + " -i 99999999999";
    export_parameters *p = extract_parameters(text.c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->name_count, EXPORT_NAMES_MAX);
    for (int i = 0; i < p->name_count; i++)
        EXPECT_EQ(std::string(p->names[i]), long_name.substr(0, EXPORT_NAME_LEN - 1));
    EXPECT_EQ(std::string(p->p), long_opt.substr(0, EXPORT_OPTION_LEN - 1));
    EXPECT_EQ(std::string(p->e), long_opt.substr(0, EXPORT_OPTION_LEN - 1));
    EXPECT_EQ(p->value['i' - 'a'], INT32_MAX);
    EXPECT_EQ(p->too_long, EXPORT_OPTION_LEN - 1); // the export refuses the cut texts

    const std::string most(EXPORT_NAME_LEN - 1, 'n'), opt(EXPORT_OPTION_LEN - 1, 'o');
    for (const std::string &fits : {most + " -e " + opt, "game more.z6 -p " + long_opt}) {
        p = extract_parameters(fits.c_str());
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->too_long, 0) << fits.size(); // -p is not read by the export
    }
    p = extract_parameters((most + "n").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->too_long, EXPORT_NAME_LEN - 1);
    p = extract_parameters(("game -e " + opt + "o").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->too_long, EXPORT_OPTION_LEN - 1);
}

// ---- icon ----

TEST_F(export_test, SpriteIconStretchesTheSpritesIntoTheMargin) {
    zibo6_cart *cart = vull_create_zibo6_cart();
    // Sprites 0, 1, 16 and 17 (16x16 at (0,0)) hold colours 1..15; colour 0 elsewhere.
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) cart->sprites->rows[y][x] = uint8_t(1 + (x + y * 3) % 15);
    cart->sprites->rows[3][4] = 0; // one transparent pixel inside
    bitmap_ptr icon(vull_create_bitmap(128, 128, 32));
    export_parameters *p = extract_parameters("out -i 0 -s 2");
    ASSERT_EQ(draw_export_icon(icon, cart, p), 0);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            uint32_t want = 0;
            if (x >= 8 && x < 120 && y >= 8 && y < 120) {
                int sx = (x - 8) / 7, sy = (y - 8) / 7; // 16 pixels to 112: 7 each
                int c = cart->sprites->rows[sy][sx];
                want = c ? opaque_colour(c) : 0;
            }
            ASSERT_EQ(pixel(icon, x, y), want) << x << "," << y;
        }

    // -c picks the transparent colour; -s 4 fills the whole icon; sprite 17 is at (8,8).
    p = extract_parameters("out -i 17 -s 4 -c 5");
    ASSERT_EQ(draw_export_icon(icon, cart, p), 0);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            int sx = 8 + x / 4, sy = 8 + y / 4;
            int c = cart->sprites->rows[sy][sx];
            ASSERT_EQ(pixel(icon, x, y), c == 5 ? 0 : opaque_colour(c)) << x << "," << y;
        }

    // Sprites past the sheet's end read as transparent, never outside it.
    p = extract_parameters("out -i 255 -s 16");
    EXPECT_EQ(draw_export_icon(icon, cart, p), 0);
    vull_destroy_zibo6_cart(cart);
}

TEST_F(export_test, LabelIconIsOpaqueButForTheTransparentColour) {
    zibo6_cart *cart = vull_create_zibo6_cart();
    bitmap_ptr icon(vull_create_bitmap(128, 128, 32));
    export_parameters *p = extract_parameters("out -c 3");
    EXPECT_EQ(draw_export_icon(icon, cart, p), 1); // no label
    cart->label = vull_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) cart->label->rows[y][x] = uint8_t((x + y) % 16);
    cart->label->rows[0][0] = 130; // an extended colour
    ASSERT_EQ(draw_export_icon(icon, cart, p), 0);
    EXPECT_EQ(pixel(icon, 0, 0), opaque_colour(130));
    EXPECT_EQ(pixel(icon, 0, 3), 0u);
    EXPECT_EQ(pixel(icon, 1, 0), opaque_colour(1));
    EXPECT_EQ(pixel(icon, 16, 0), opaque_colour(0)); // colour 0 is opaque unless -c 0

    // -s below 1 means the label even with -i.
    p = extract_parameters("out -i 3 -s 0");
    ASSERT_EQ(draw_export_icon(icon, cart, p), 0);
    EXPECT_EQ(pixel(icon, 0, 3), opaque_colour(3));

    bitmap_ptr wrong(vull_create_bitmap(64, 128, 32));
    EXPECT_EQ(draw_export_icon(wrong, cart, p), 1);
    vull_destroy_zibo6_cart(cart);
}

TEST_F(export_test, ShadowFallsDownAndRightOfTheShape) {
    bitmap_ptr b(vull_create_bitmap(20, 20, 32));
    vull_clear_bitmap(b);
    set_pixel(b, 5, 5, 0xFF123456);
    set_pixel(b, 15, 15, 0x00FFFFFF); // transparent, with colour bits
    generate_shadow(b);
    EXPECT_EQ(pixel(b, 5, 5), 0xFF123456u);
    int total = 0;
    for (int dy = -5; dy <= 5; dy++)
        for (int dx = -5; dx <= 5; dx++) total += 2048 / std::max(dx * dx + dy * dy, 1);
    // (7,7) looks at (5,5) with weight 2048; (8,7) at distance 1.
    EXPECT_EQ(pixel(b, 7, 7), uint32_t(2048 * 80 / total) << 24);
    EXPECT_EQ(pixel(b, 8, 7), uint32_t(2048 * 80 / total) << 24);
    EXPECT_EQ(pixel(b, 7, 9), uint32_t(512 * 80 / total) << 24);
    EXPECT_LT(pixel(b, 3, 3) >> 24, pixel(b, 7, 7) >> 24); // up and left: weaker
    EXPECT_EQ(pixel(b, 15, 15), 0x00100820u);              // out of reach: colour bits only
    EXPECT_EQ(pixel(b, 13, 13), 0u);

    // A hole inside an opaque field: all but itself (weight 2048 / 8) is opaque.
    bitmap_ptr full(vull_create_bitmap(20, 20, 32));
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) set_pixel(full, x, y, 0xFF000000);
    set_pixel(full, 10, 10, 0);
    generate_shadow(full);
    EXPECT_EQ(pixel(full, 10, 10), uint32_t((total - 256) * 80 / total) << 24);
}

TEST_F(export_test, IcnsHoldsThreePlanesAndAMask) {
    bitmap_ptr icon = test_icon();
    ASSERT_EQ(save_icns(icon, path("a.icns").c_str()), 0);
    std::string f = read_all(path("a.icns"));
    ASSERT_EQ(f.size(), 65948u);
    EXPECT_EQ(f.substr(0, 4), "icns");
    EXPECT_EQ(be32(f, 4), 65948u);
    EXPECT_EQ(f.substr(8, 4), "it32");
    EXPECT_EQ(be32(f, 12), 49548u);
    EXPECT_EQ(be32(f, 16), 0u);
    const size_t planes = 20, plane = 128 * 129;
    for (int c = 0; c < 3; c++) // red, green, blue: row 5
        for (int x = 0; x < 128; x++) {
            size_t row = planes + c * plane + 5 * 129;
            ASSERT_EQ(uint8_t(f[row]), 0x7F);
            ASSERT_EQ(uint8_t(f[row + 1 + x]), uint8_t(pixel(icon, x, 5) >> (16 - 8 * c)));
        }
    size_t mask = planes + 3 * plane;
    EXPECT_EQ(f.substr(mask, 4), "t8mk");
    EXPECT_EQ(be32(f, mask + 4), 16392u);
    EXPECT_EQ(uint8_t(f[mask + 8]), 0);         // (0,0): alpha 0
    EXPECT_EQ(uint8_t(f[mask + 8 + 1]), 255);   // (1,0): alpha 0x80
    EXPECT_EQ(uint8_t(f[mask + 8 + 129]), 255); // (1,1)

    bitmap_ptr small(vull_create_bitmap(16, 16, 32));
    EXPECT_EQ(save_icns(small, path("b.icns").c_str()), 1);
    EXPECT_FALSE(fs::exists(path("b.icns")));
    EXPECT_EQ(save_icns(icon, path("no/such/folder.icns").c_str()), 1);
}

// ---- Windows icon ----

constexpr uint8_t MARKER[16] = {0xE8, 0xF1, 0xFF, 0xFF, 0xE8, 0xF1, 0xFF, 0xFF,
                                0x9C, 0x76, 0x83, 0xFF, 0x9C, 0x76, 0x83, 0xFF};

cbuffer *program_with_marker(int length, std::vector<int> markers) {
    cbuffer *b = vull_create_buffer(length);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    for (int i = 0; i < length; i++) bytes[size_t(i)] = uint8_t(i * 7 + 1);
    for (int at : markers) std::copy(std::begin(MARKER), std::end(MARKER), bytes.begin() + at);
    cbuffer_add_data(b, bytes.data(), length);
    return b;
}

TEST_F(export_test, WindowsIconIsWrittenBottomRowFirstAsBgra) {
    bitmap_ptr icon = test_icon();
    const int at = 14632 + 10, length = 14632 + 10 + 65536;
    cbuffer *exe = program_with_marker(length, {at});
    std::vector<uint8_t> before(exe->data, exe->data + length);
    ASSERT_EQ(inject_windows_icon(icon, exe), 0);
    const uint8_t *block = exe->data + 10;
    for (int r = 0; r < 128; r++)
        for (int x = 0; x < 128; x++) {
            uint32_t p = pixel(icon, x, 127 - r);
            const uint8_t *d = block + r * 512 + x * 4;
            ASSERT_EQ(d[0], uint8_t(p));
            ASSERT_EQ(d[1], uint8_t(p >> 8));
            ASSERT_EQ(d[2], uint8_t(p >> 16));
            ASSERT_EQ(d[3], uint8_t(p >> 24));
        }
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 10, exe->data));
    vull_destroy_buffer(exe);
}

TEST_F(export_test, WindowsIconRefusesMarkersWhoseBlockLeavesTheBuffer) {
    bitmap_ptr icon = test_icon();
    struct {
        int length;
        std::vector<int> markers;
    } cases[] = {
        {70000, {}},           // no marker
        {70000, {100}},        // block would start before the buffer
        {70000, {14631}},      // one byte before it
        {80000, {100, 14640}}, // the first match decides
        {30000, {14632}},      // block past the end
        {65536, {14632}},      // the block ends at the buffer's end: written
        {65535, {14632}},      // block one byte past the end
        {16, {0}},             // too short to hold a match and a byte after it
    };
    int written = 0;
    for (const auto &c : cases) {
        cbuffer *exe = program_with_marker(c.length, c.markers);
        std::vector<uint8_t> before(exe->data, exe->data + c.length);
        int result = inject_windows_icon(icon, exe);
        if (result == 0)
            written++;
        else
            EXPECT_TRUE(std::equal(before.begin(), before.end(), exe->data)) << c.length;
        vull_destroy_buffer(exe);
    }
    EXPECT_EQ(written, 1); // only the case whose block ends exactly at the buffer's end
    cbuffer *exe = program_with_marker(70000, {14640});
    bitmap_ptr wrong(vull_create_bitmap(128, 128, 8));
    EXPECT_EQ(inject_windows_icon(wrong, exe), 1);
    EXPECT_EQ(inject_windows_icon(icon, nullptr), 1);
    vull_destroy_buffer(exe);
}

// ---- framework ----

cbuffer *file_item(const std::string &name, const std::string &data) {
    cbuffer *b = vull_create_buffer(int(data.size()));
    std::snprintf(b->name, sizeof b->name, "%s", name.c_str());
    if (!data.empty()) cbuffer_add_data(b, data.data(), int(data.size()));
    b->position = 0;
    return b;
}

std::string framework_pod(const std::vector<std::pair<std::string, std::string>> &items) {
    cpod *pod = vull_create_pod(int(items.size()));
    for (const auto &[name, data] : items) cpod_add_item(pod, CPOD_FILE, file_item(name, data));
    cbuffer *out = vull_create_buffer(0);
    EXPECT_EQ(vull_save_pod_file("", pod, out), 0);
    std::string bytes(reinterpret_cast<char *>(out->data), size_t(out->length));
    vull_destroy_buffer(out);
    vull_destroy_pod(pod);
    return bytes;
}

int unpack(const std::string &folder, const std::string &pod) {
    cbuffer *b = vull_create_buffer(int(pod.size()));
    if (!pod.empty()) cbuffer_add_data(b, pod.data(), int(pod.size()));
    int r = save_osx_framework(folder.c_str(), b);
    vull_destroy_buffer(b);
    return r;
}

TEST_F(export_test, FrameworkUnpacksThreeTimesAndDropsThePrefix) {
    std::string big(0x100001, 'L');
    std::string pod = framework_pod({
        {"f:Resources", ""},
        {"f:Resources/Info.plist", "plist"},
        {"f:_CodeSignature", ""},
        {"f:_CodeSignature/CodeResources", "sig"},
        {"f:SDL2", big},
        {"x", "too short"},
    });
    fs::create_directories(path("SDL2.framework"));
    ASSERT_EQ(unpack(path("SDL2.framework/"), pod), 0);
    for (std::string under : {"", "Versions/A/", "Versions/Current/"}) {
        fs::path root = dir / "SDL2.framework" / under;
        EXPECT_TRUE(fs::is_directory(root / "Resources")) << under;
        EXPECT_EQ(read_all((root / "Resources/Info.plist").string()), "plist") << under;
        EXPECT_EQ(fs::file_size(root / "SDL2"), big.size()) << under;
        struct stat st {};
        ASSERT_EQ(::stat((root / "SDL2").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        bool signed_here = !under.empty(); // the first pass skips the signature
        EXPECT_EQ(fs::exists(root / "_CodeSignature/CodeResources"), signed_here) << under;
    }
    EXPECT_FALSE(fs::exists(dir / "SDL2.framework" / "x"));

    // No framework in the data file: the folders alone.
    fs::create_directories(path("empty.framework"));
    EXPECT_EQ(save_osx_framework(path("empty.framework").c_str(), nullptr), 0);
    EXPECT_TRUE(fs::is_directory(dir / "empty.framework/Versions/Current"));
}

TEST_F(export_test, FrameworkEntriesNeverLeaveTheirFolder) {
    std::string pod = framework_pod({
        {"f:../escaped", "x"},
        {"f:/tmp/z6_export_absolute_escape", "x"},
        {"f:ok/../../escaped2", "x"},
        {"f:..", ""},
        {"f:a\\..\\b", "x"},
        {"f:fine", "kept"},
    });
    fs::create_directories(path("fw/in"));
    EXPECT_EQ(unpack(path("fw/in/"), pod), 1);
    EXPECT_EQ(read_all(path("fw/in/fine")), "kept");
    EXPECT_FALSE(fs::exists(path("fw/escaped")));
    EXPECT_FALSE(fs::exists(path("escaped2")));
    EXPECT_FALSE(fs::exists(path("fw/in/Versions/escaped")));
    EXPECT_FALSE(fs::exists("/tmp/z6_export_absolute_escape"));
    EXPECT_FALSE(fs::exists(path("fw/in/a\\..\\b")));
}

TEST_F(export_test, FrameworkSurvivesDamagedPods) {
    const std::string pod = framework_pod(
        {{"f:Headers", ""}, {"f:Headers/a.h", "int a;"}, {"f:lib", std::string(40, 'q')}});
    fs::path out = dir / "fw";
    testing::internal::CaptureStdout(); // the files a damaged pod cannot place
    // Every truncation, then every word set to a huge size.
    for (size_t n = 0; n < pod.size(); n++) {
        fs::create_directories(out);
        unpack(out.string() + "/", pod.substr(0, n));
        fs::remove_all(out);
    }
    for (size_t at = 0; at + 4 <= pod.size(); at++) {
        std::string bad = pod;
        for (int k = 0; k < 4; k++) bad[at + size_t(k)] = char(k == 3 ? 0x7F : 0xFF);
        fs::create_directories(out);
        unpack(out.string() + "/", bad);
        fs::remove_all(out);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(unpack(out.string() + "/", "not a pod at all"), 1);
}

// ---- zip ----

struct zip_entry {
    std::string name;
    uint8_t opsys;
    uint32_t attributes;
    uint16_t method;
    std::string data;
};

std::vector<zip_entry> read_zip(const std::string &path) {
    std::vector<zip_entry> entries;
    int err = 0;
    zip_t *za = zip_open(path.c_str(), ZIP_RDONLY, &err);
    EXPECT_NE(za, nullptr) << path;
    if (!za) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); i++) {
        zip_entry e;
        zip_stat_t st;
        zip_stat_index(za, zip_uint64_t(i), 0, &st);
        e.name = st.name;
        e.method = st.comp_method;
        zip_file_get_external_attributes(za, zip_uint64_t(i), 0, &e.opsys, &e.attributes);
        e.data.resize(st.size);
        zip_file_t *f = zip_fopen_index(za, zip_uint64_t(i), 0);
        if (f && st.size) zip_fread(f, e.data.data(), st.size);
        if (f) zip_fclose(f);
        entries.push_back(e);
    }
    zip_discard(za);
    return entries;
}

TEST_F(export_test, ZipFlagsAreOneShot) {
    const std::string zip = path("a.zip"), text(4000, 'z');
    mz_set_executable_bit_on_next_file();
    ASSERT_EQ(
        mz_zip_add_mem_to_archive_file_in_place(zip.c_str(), "prog", text.data(), text.size(), 9),
        1);
    ASSERT_EQ(mz_zip_add_mem_to_archive_file_in_place(zip.c_str(), "data.pod", "pod", 3, 9), 1);
    ASSERT_EQ(mz_zip_add_mem_to_archive_file_in_place(zip.c_str(), "dir/", nullptr, 0, 9), 1);
    auto entries = read_zip(zip);
    ASSERT_EQ(entries.size(), 3u); // appended
    EXPECT_EQ(entries[0].name, "prog");
    EXPECT_EQ(entries[0].attributes, 0x81FD0000u);
    EXPECT_EQ(entries[0].method, ZIP_CM_DEFLATE);
    EXPECT_EQ(entries[0].data, text);
    EXPECT_EQ(entries[1].attributes, 0x81A40000u); // the flag went with the first entry
    EXPECT_EQ(entries[1].data, "pod");
    EXPECT_EQ(entries[2].name, "dir/");
    EXPECT_EQ(entries[2].attributes, 0x01FD0010u); // folder bit kept, 0775 added
    EXPECT_TRUE(entries[2].data.empty());
    for (const auto &e : entries) EXPECT_EQ(e.opsys, ZIP_OPSYS_UNIX);

    // Forced: a new archive, and only once.
    mz_set_force_create_new_file();
    ASSERT_EQ(mz_zip_add_mem_to_archive_file_in_place(zip.c_str(), "new.txt", "n", 1, 9), 1);
    EXPECT_EQ(read_zip(zip).size(), 1u);
    ASSERT_EQ(mz_zip_add_mem_to_archive_file_in_place(zip.c_str(), "more.txt", "m", 1, 9), 1);
    EXPECT_EQ(read_zip(zip).size(), 2u);

    // A file that is no zip is left alone; the flags are spent all the same.
    write_all(path("not.zip"), "plain text");
    mz_set_executable_bit_on_next_file();
    int error = 0;
    EXPECT_EQ(
        mz_zip_add_mem_to_archive_file_in_place_v2(path("not.zip").c_str(), "x", "x", 1, 9, &error),
        0);
    EXPECT_NE(error, 0);
    EXPECT_EQ(read_all(path("not.zip")), "plain text");
    ASSERT_EQ(mz_zip_add_mem_to_archive_file_in_place(zip.c_str(), "late", "l", 1, 9), 1);
    EXPECT_EQ(read_zip(zip).back().attributes, 0x81A40000u);
}

TEST_F(export_test, ZipPacksAFolderTreeUnderItsPrefix) {
    fs::create_directories(dir / "tree/sub/deeper");
    write_all(path("tree/run"), "program");
    write_all(path("tree/game.exe"), "windows program");
    write_all(path("tree/data.pod"), "data");
    write_all(path("tree/.hidden"), "skipped");
    write_all(path("tree/sub/deeper/notes.txt"), "notes");
    const std::string zip = path("t.zip");
    write_all(zip, "an old archive's bytes");
    ASSERT_EQ(generate_zip_file(zip.c_str(), path("tree").c_str(), "game_linux/"), 0);
    auto entries = read_zip(zip);
    std::vector<std::string> names;
    for (const auto &e : entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"game_linux/data.pod", "game_linux/game.exe",
                                               "game_linux/run", "game_linux/sub/",
                                               "game_linux/sub/deeper/",
                                               "game_linux/sub/deeper/notes.txt"}));
    EXPECT_EQ(entries[0].attributes, 0x81A40000u);
    EXPECT_EQ(entries[1].attributes, 0x81FD0000u);
    EXPECT_EQ(entries[2].attributes, 0x81FD0000u);
    EXPECT_EQ(entries[5].data, "notes");

    // Too deep: refused before anything is written.
    EXPECT_EQ(add_to_zip_file(zip.c_str(), path("tree").c_str(), "x/", 33), 1);
    EXPECT_EQ(read_zip(zip).size(), entries.size());

    // An empty folder makes no archive, and the old one is gone.
    fs::create_directories(dir / "nothing");
    EXPECT_EQ(generate_zip_file(zip.c_str(), path("nothing").c_str(), "p/"), 0);
    EXPECT_FALSE(fs::exists(zip));
}

} // namespace
