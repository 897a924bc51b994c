// Serial channels: GPIO blocks and their replay, overflow at the stream's
// absolute end, unknown channels, the SPI loopback, dropped files and images,
// the serial audio queue and its post-mix hook, and settings texts.
#include <gtest/gtest.h>

#include <vector>

#include "audio/mixer.h"
#include "console/gpio.h"
#include "console/mem.h"
#include "console/serial.h"
#include "console_test_util.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "cart/state.h"

namespace {

struct Serial : z6console::Console {
    Serial() {
        serial_init_runtime();
        reset_serial_file_buffers();
        app.message_text[0] = 0;
        cconfig.sound_volume = 256;
        vull_state.paused = 0;
        vull_state.sound_paused = 0;
    }
    ~Serial() { serial_init_runtime(); }
    static void poke(int a, int v) { zibo6_poke(&pstate, pstate.memory_cart, a, v); }
    static int peek(int a) { return zibo6_peek(&pstate, pstate.memory_cart, a); }
};

} // namespace

TEST(SerialGpio, BlocksReplayIntoPinsAtTheFrameEnd) {
    Serial s;
    Serial::poke(0x4300, 0x11);
    Serial::poke(0x4301, 0x22);
    Serial::poke(0x4302, 0x33);
    EXPECT_EQ(write_to_serial_channel(5, 0x4300, 16), 16);
    EXPECT_EQ(write_to_serial_channel(5, 0x4302, 8), 8); // same block, 24 bits
    EXPECT_EQ(gpio_read(5), 0);                          // nothing until the frame ends
    serial_end_frame();
    EXPECT_EQ(gpio_read(5), 0x33);
    // A byte-count block touches no pin; partial bytes replay as their own byte.
    EXPECT_EQ(write_to_serial_channel(255, 0x4300, 32), 32);
    EXPECT_EQ(write_to_serial_channel(6, 0x4301, 4), 4);
    serial_end_frame();
    EXPECT_EQ(gpio_read(6), 0x02);
    for (int pin = 0; pin < 128; pin++)
        EXPECT_EQ(gpio_read(pin), pin == 5 ? 0x33 : pin == 6 ? 2 : 0);
}

// Channels 128-254 stream into RAM image bytes 0x6000-0x607e, never into
// pins 0-126; the screen at those addresses keeps its pixels.
TEST(SerialGpio, HighChannelsLeaveThePinsAndTheScreenAlone) {
    Serial s;
    Serial::poke(0x4300, 0x5a);
    Serial::poke(0x6048, 0x33);
    EXPECT_EQ(write_to_serial_channel(200, 0x4300, 8), 8);
    EXPECT_EQ(write_to_serial_channel(254, 0x4300, 8), 8);
    serial_end_frame();
    for (int pin = 0; pin < Z6_GPIO_PINS; pin++) EXPECT_EQ(Serial::peek(0x5f80 + pin), 0) << pin;
    EXPECT_EQ(Serial::peek(0x6048), 0x33);
    EXPECT_EQ(pstate.console_ram[0x6048], 0x5a);
    EXPECT_EQ(pstate.console_ram[0x607e], 0x5a);
    EXPECT_EQ(pstate.console_ram[0x607f], 0);
}

TEST(SerialGpio, LongTransfersSpanBlocksWithoutLosingBytes) {
    Serial s;
    for (int i = 0; i < 10000; i++) Serial::poke(0x4300 + i, i * 7);
    // 80000 bits: more than one block's 16-bit bit count can hold.
    EXPECT_EQ(write_to_serial_channel(3, 0x4300, 80000), 80000);
    EXPECT_EQ(write_to_serial_channel(4, 0x4300, 8), 8);
    serial_end_frame();
    EXPECT_EQ(gpio_read(3), (9999 * 7) & 0xff);
    EXPECT_EQ(gpio_read(4), 0);
}

TEST(SerialGpio, OverflowIsCountedAtTheStreamsAbsoluteEnd) {
    Serial s;
    // Alternating channels: every block is a 4-byte header and 1 data byte.
    int accepted = 0;
    while (write_to_serial_channel(1 + (accepted & 1), 0x4300, 8) == 8) accepted++;
    EXPECT_EQ(accepted, 0x40000 / 5);
    EXPECT_STREQ(app.message_text, "serial buffer overflow");
    serial_end_frame();
    // Byte-count blocks, 6 bytes each, hit the end too.
    accepted = 0;
    while (write_to_serial_channel(255, 0x4300, 8) == 8) accepted++;
    EXPECT_EQ(accepted, 0x40000 / 6);
    serial_end_frame();
    // One channel's long stream: 1000-byte transfers continue in blocks of 8191
    // bytes, each with its header, until 262 x 1000 bytes + 32 headers fill it.
    accepted = 0;
    while (write_to_serial_channel(9, 0x4300, 8000) == 8000) accepted++;
    EXPECT_EQ(accepted, 262);
    serial_end_frame();
    EXPECT_EQ(write_to_serial_channel(9, 0x4300, 8), 8); // emptied at the frame's end
}

// What a place in the stream leaves behind: the pins and RAM bytes it replays
// into, and how many more bytes the channel takes before the stream is full.
static std::vector<int> stream_outcome(int channel) {
    std::vector<int> out;
    int more = 0;
    while (more < 0x40000 && write_to_serial_channel(channel, 0x4300, 8) == 8) more++;
    out.push_back(more);
    serial_end_frame();
    for (int pin = 0; pin < Z6_GPIO_PINS; pin++) out.push_back(gpio_read(pin));
    for (int a = 0x6000; a < 0x6080; a++) out.push_back(pstate.console_ram[a]);
    return out;
}

// A repeated transfer moves what as many single transfers move, though repeats
// into a full stream are counted a cycle at a time rather than moved.
TEST(SerialGpio, RepeatsMoveWhatSingleTransfersMove) {
    Serial s;
    for (int i = 0; i < 0x8000; i++) Serial::poke(0x4300 + i, (i * 13 + i / 256) & 255);
    struct {
        int channel, bits, repeat;
    } cases[] = {{3, 32768, 300}, {9, 8000, 600},   {5, 80000, 40},  {10, 13, 170000},
                 {255, 8, 50000}, {200, 262136, 5}, {4, 0, 1000},    {6, 65528, 70},
                 {2, 65529, 70},  {1, 8, 0},        {0, 3, 1000000}, {8, 200000, 3}};
    for (const auto &c : cases) {
        serial_init_runtime();
        int64_t one_by_one = 0;
        for (int i = 0; i < c.repeat; i++)
            one_by_one += write_to_serial_channel(c.channel, 0x4300, c.bits);
        std::vector<int> want = stream_outcome(c.channel);
        serial_init_runtime();
        EXPECT_EQ(write_to_serial_channel_repeated(c.channel, 0x4300, c.bits, c.repeat), one_by_one)
            << c.channel << " " << c.bits << " " << c.repeat;
        EXPECT_EQ(stream_outcome(c.channel), want) << c.channel << " " << c.bits << " " << c.repeat;
    }
    // The most a cart can ask of one call: 32767 repeats of 32767 bytes.
    serial_init_runtime();
    double start = z6console::thread_cpu_seconds();
    EXPECT_EQ(write_to_serial_channel_repeated(3, 0, 262136, 32767) % 262136, 0);
    EXPECT_LT(z6console::thread_cpu_seconds() - start, 2.0);
}

TEST(SerialChannels, UnknownChannelsTouchNothing) {
    Serial s;
    for (int ch : {-1, -4096, 4096, 5000, 0x7fffffff, int(0x80000000)}) {
        EXPECT_EQ(write_to_serial_channel(ch, 0x4300, 8), 0) << ch;
        set_serial_parameters(ch, "freq:1");
        EXPECT_EQ(serial_channel_record(ch), nullptr) << ch;
    }
    EXPECT_EQ(write_to_serial_channel(0x300, 0x4300, 8), 0); // known, but no transfer
    EXPECT_EQ(serial_channel_record(0x300)->locked, 1);
    EXPECT_EQ(write_to_serial_channel(5, 0x4300, 0), 0);
}

TEST(SerialChannels, SpiLoopbackLeavesMemoryAsItWas) {
    Serial s;
    for (int i = 0; i < 8; i++) Serial::poke(0x6000 + i, 0x10 * i + 3);
    EXPECT_EQ(write_to_serial_channel(0x101, 0x6000, 64), 64);
    for (int i = 0; i < 8; i++) EXPECT_EQ(Serial::peek(0x6000 + i), 0x10 * i + 3);
    EXPECT_EQ(write_to_serial_channel(0x100, 0x4300, 8 * 4096), 8 * 4096);
}

TEST(SerialChannels, DroppedFileAndImage) {
    Serial s;
    uint8_t bytes[10] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 42};
    vull_file *f = vull_fopen_memory(bytes, 10);
    serial_set_dropped_file(f);
    vull_fclose(f);
    EXPECT_EQ(get_serial_file_remaining(), 10);
    EXPECT_EQ(write_to_serial_channel(0x800, 0x4300, 0), 0);
    EXPECT_EQ(write_to_serial_channel(0x800, 0x4300, 4), 4); // less than a byte: nothing read
    EXPECT_EQ(write_to_serial_channel(0x800, 0x4300, 16 * 8), 80);
    EXPECT_EQ(Serial::peek(0x4309), 42);
    EXPECT_EQ(Serial::peek(0x430a), 0); // beyond the file: untouched
    EXPECT_EQ(write_to_serial_channel(0x800, 0x4300, 8), 0);
    EXPECT_EQ(get_serial_file_remaining(), 0);
    EXPECT_EQ(serial_channel_record(0x800)->locked, 0); // reads do not lock

    vull_bitmap *img = vull_create_bitmap(3, 2, 8);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) img->rows[y][x] = uint8_t(y * 3 + x + 1);
    serial_set_dropped_image_file(img);
    vull_destroy_bitmap(img);
    EXPECT_EQ(get_serial_image_file_remaining(), 10);
    EXPECT_EQ(write_to_serial_channel(0x802, 0x4400, 80), 80);
    int want[10] = {3, 0, 2, 0, 1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 10; i++) EXPECT_EQ(Serial::peek(0x4400 + i), want[i]) << i;
    reset_serial_file_buffers();
    EXPECT_EQ(get_serial_image_file_remaining(), 0);
}

TEST(SerialAudio, QueueHoldsAtMost2048Bytes) {
    Serial s;
    EXPECT_EQ(write_to_serial_channel(0x808, 0x4300, 3000 * 8), 3000 * 8);
    EXPECT_EQ(serial_audio_fill(), 2048);
    EXPECT_EQ(write_to_serial_channel(0x808, 0x4300, 100 * 8), 100 * 8); // full: takes nothing
    EXPECT_EQ(serial_audio_fill(), 2048);
    serial_init_runtime();
    EXPECT_EQ(serial_audio_fill(), 0);
}

TEST(SerialAudio, HookPlaysEachByteAsFourSamples) {
    Serial s;
    Serial::poke(0x4300, 128 + 64);
    Serial::poke(0x4301, 128 - 32);
    write_to_serial_channel(0x808, 0x4300, 16);
    std::vector<int16_t> out(12, 0);
    out[5] = 20000;
    mix_serial_sound_buffer(out.data(), 12); // room for three bytes, two queued
    // The first sample of a byte is smoothed with the previous byte's value.
    std::vector<int16_t> want = {8192, 16384, 16384, 16384, 4096, 11808, -8192, -8192, 0, 0, 0, 0};
    EXPECT_EQ(out, want);
    EXPECT_EQ(serial_audio_fill(), 0);
    // With 0x5f36 bit 0x20 every sample is the byte's; the knee softens the sum.
    Serial::poke(0x5f36, 0x20);
    Serial::poke(0x4300, 255);
    write_to_serial_channel(0x808, 0x4300, 8);
    std::vector<int16_t> loud(4, 20000);
    mix_serial_sound_buffer(loud.data(), 4);
    EXPECT_EQ(loud, std::vector<int16_t>(4, int16_t(zibo6_knee(20000 + 127 * 256))));
    // Paused sound leaves the queue and the buffer alone.
    write_to_serial_channel(0x808, 0x4300, 8);
    vull_state.sound_paused = 1;
    std::vector<int16_t> quiet(4, 0);
    mix_serial_sound_buffer(quiet.data(), 4);
    EXPECT_EQ(quiet, std::vector<int16_t>(4, 0));
    EXPECT_EQ(serial_audio_fill(), 1);
    vull_state.sound_paused = 0;
}

TEST(SerialSettings, TextsUntilTheFirstTransfer) {
    Serial s;
    set_serial_parameters(7, "  freq:400000 dma:5 bogus:3 leds:2");
    const serial_channel *r = serial_channel_record(7);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->freq, 400000);
    EXPECT_EQ(r->dma, 5);
    EXPECT_EQ(r->leds, 2);
    EXPECT_EQ(r->type, 0x00100800);
    EXPECT_EQ(r->brightness, 55);
    set_serial_parameters(7, "brightness:9 invert 1 type:4"); // a word without a colon ends it
    EXPECT_EQ(r->brightness, 9);
    EXPECT_EQ(r->type, 0x00100800);
    set_serial_parameters(7, "123");
    EXPECT_EQ(r->freq, 123);
    set_serial_parameters(7, "a1"); // the loose bare-number test: freq becomes 0
    EXPECT_EQ(r->freq, 0);
    write_to_serial_channel(7, 0x4300, 8);
    set_serial_parameters(7, "freq:5");
    EXPECT_EQ(r->freq, 0); // locked by the transfer
    serial_init_runtime();
    EXPECT_EQ(r->locked, 0);
    set_serial_parameters(7, "freq:5");
    EXPECT_EQ(r->freq, 5);
}
