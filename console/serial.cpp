// Serial channels. No hardware is opened: GPIO transfers record a bit stream
// that the frame's end replays into the pins, SPI transfers loop memory back
// onto itself, two channels hand over a dropped file or picture, and one
// queues 8-bit samples that the mixer's post-mix hook plays.
#include "console/serial.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/mixer.h"
#include "console/cpu.h"
#include "console/gpio.h"
#include "console/mem.h"
#include "console/hooks.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"

namespace {

// Bits of one block at most: its count is a 16-bit word. A longer transfer goes
// on in a new block of the same channel, split at a byte so replay is unchanged.
constexpr int block_bits_max = 65528;
constexpr int block_header = 4;

std::vector<std::unique_ptr<serial_channel>> channels; // empty until the first use
std::vector<int> made_channels;                        // the numbers of the records made

// The GPIO stream writer.
std::vector<uint8_t> gpio_stream; // Z6_GPIO_STREAM_SIZE bytes once allocated
int stream_end;                   // where the next block header goes
int stream_used;                  // bytes from the start that a write may have touched
int block_start = -1;             // header of the current block (-1: none)
int block_bits;                   // bits in the current block
int last_gpio_channel = -1;

std::vector<uint8_t> spi_buffer;

struct dropped_buffer {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};
dropped_buffer dropped_file, dropped_image;

// Serial audio: a single-producer single-consumer ring. The main thread only
// advances head, the audio thread only tail; both count bytes ever queued.
uint8_t audio_ring[Z6_SERIAL_AUDIO_SIZE];
std::atomic<uint32_t> audio_head{0}, audio_tail{0};
int32_t previous_sample; // last sample of the previous mix (audio thread)

int peek(int address) { return zibo6_peek(&pstate, pstate.memory_cart, address); }
void poke(int address, int value) { zibo6_poke(&pstate, pstate.memory_cart, address, value); }

void put16(int at, int value) {
    stream_used = std::max(stream_used, at + 2);
    gpio_stream[size_t(at)] = uint8_t(value);
    gpio_stream[size_t(at) + 1] = uint8_t(value >> 8);
}
int get16(int at) { return gpio_stream[size_t(at)] | gpio_stream[size_t(at) + 1] << 8; }

void first_use() {
    if (!channels.empty()) return;
    channels.resize(Z6_SERIAL_CHANNELS);
    gpio_stream.assign(Z6_GPIO_STREAM_SIZE, 0);
}

// Writes the current block's bit count and moves past its data; an empty block
// is dropped (its header place is reused).
void close_block() {
    if (block_start < 0) return;
    if (block_bits > 0) {
        put16(block_start + 2, block_bits);
        stream_end = block_start + block_header + (block_bits + 7) / 8;
    }
    block_start = -1;
    block_bits = 0;
}

void open_block(int channel) {
    close_block();
    block_start = stream_end;
    put16(block_start, channel);
    put16(block_start + 2, 0);
    block_bits = 0;
}

// Where the stream would end after appending bits to a block (new or current).
int64_t stream_end_after(bool new_block, int64_t bits) {
    int64_t at, held;
    if (new_block) {
        at = (block_start >= 0 && block_bits > 0)
                 ? block_start + block_header + (block_bits + 7) / 8
                 : (block_start >= 0 ? block_start : stream_end);
        at += block_header;
        held = 0;
    } else {
        at = block_start + block_header;
        held = block_bits;
    }
    int64_t total = held + bits;
    while (total > block_bits_max) {
        at += block_bits_max / 8 + block_header;
        total -= block_bits_max;
    }
    return at + (total + 7) / 8;
}

int gpio_transfer(serial_channel *rec, int channel, int address, int bits) {
    bool new_block =
        channel != last_gpio_channel || channel == Z6_SERIAL_GPIO_255 || block_start < 0;
    // Every block is counted at its absolute place in the stream, headers included.
    int64_t end = stream_end_after(new_block, channel == Z6_SERIAL_GPIO_255 ? 16 : bits);
    if (end > Z6_GPIO_STREAM_SIZE) {
        shell_hooks.show_message("serial buffer overflow", 1000);
        block_bits = 0;
        return 0;
    }
    rec->locked = 1;
    if (new_block) open_block(channel);
    last_gpio_channel = channel;
    if (channel == Z6_SERIAL_GPIO_255) {
        put16(block_start + block_header, (bits >> 3) & 0xFFFF);
        block_bits = 16;
        return bits;
    }
    int byte = 0;
    for (int i = 0; i < bits; i++) {
        if ((i & 7) == 0) byte = peek(address + (i >> 3));
        if (block_bits == block_bits_max) open_block(channel);
        int at = block_start + block_header + block_bits / 8;
        if ((block_bits & 7) == 0) {
            gpio_stream[size_t(at)] = 0;
            stream_used = std::max(stream_used, at + 1);
        }
        if ((byte >> (i & 7)) & 1) gpio_stream[size_t(at)] |= uint8_t(1 << (block_bits & 7));
        block_bits++;
    }
    return bits;
}

int spi_transfer(int address, int bits) {
    int bytes = std::min((bits + 7) >> 3, Z6_SPI_SIZE);
    spi_buffer.resize(Z6_SPI_SIZE);
    for (int i = 0; i < bytes; i++) spi_buffer[size_t(i)] = uint8_t(peek(address + i));
    for (int i = 0; i < bytes; i++) poke(address + i, spi_buffer[size_t(i)]);
    return bits;
}

int dropped_transfer(dropped_buffer &buf, int address, int bits) {
    int want = bits >> 3;
    if (want == 0) return serial_return(bits);
    if (buf.position >= buf.bytes.size()) return 0;
    int k = 0;
    while (k < want && buf.position < buf.bytes.size())
        poke(address + k++, buf.bytes[buf.position++]);
    if (k == want) return serial_return(bits);
    spend_cpu(k * 64);
    return k * 8;
}

int audio_transfer(int address, int bits) {
    int want = bits >> 3;
    uint32_t head = audio_head.load(std::memory_order_relaxed);
    uint32_t tail = audio_tail.load(std::memory_order_acquire);
    for (int k = 0; k < want && head - tail < uint32_t(Z6_SERIAL_AUDIO_SIZE); k++, head++)
        audio_ring[head % Z6_SERIAL_AUDIO_SIZE] = uint8_t(peek(address + k));
    audio_head.store(head, std::memory_order_release);
    return bits;
}

bool known_channel(int channel) { return channel >= 0 && channel < Z6_SERIAL_CHANNELS; }

} // namespace

serial_channel *allocate_channel(int channel) {
    if (!known_channel(channel)) return nullptr;
    first_use();
    std::unique_ptr<serial_channel> &slot = channels[size_t(channel)];
    if (!slot) {
        slot = std::make_unique<serial_channel>();
        made_channels.push_back(channel);
        *slot = serial_channel{
            channel, channel / 256, channel & 255, 10, 800000, 0x00100800, 55, 0, 0, 0, 0, 0};
    }
    return slot.get();
}

const serial_channel *serial_channel_record(int channel) {
    if (!known_channel(channel) || channels.empty()) return nullptr;
    return channels[size_t(channel)].get();
}

int serial_return(int bits) {
    spend_cpu(bits * 8);
    return bits;
}

int write_to_serial_channel(int channel, int address, int bits) {
    if (bits < 1) return 0;
    // Channels without a table entry are unknown: nothing is touched.
    serial_channel *rec = allocate_channel(channel);
    if (!rec) return 0;
    if (channel < 256) return gpio_transfer(rec, channel, address, bits);
    switch (channel) {
    case Z6_SERIAL_DROPPED_FILE: return dropped_transfer(dropped_file, address, bits);
    case Z6_SERIAL_DROPPED_IMAGE: return dropped_transfer(dropped_image, address, bits);
    default: break;
    }
    rec->locked = 1;
    if (channel == Z6_SERIAL_SPI || channel == Z6_SERIAL_SPI + 1)
        return spi_transfer(address, bits);
    if (channel == Z6_SERIAL_AUDIO) return audio_transfer(address, bits);
    return 0;
}

// The GPIO writer's place: two overflows that leave the same place left the
// same stream too, since every repeat after an overflow starts at a byte boundary
// of the same block and writes the same bits.
namespace {
struct gpio_place {
    int stream_end, stream_used, block_start, block_bits, last_channel;
    bool operator==(const gpio_place &) const = default;
};

gpio_place current_gpio_place() {
    return {stream_end, stream_used, block_start, block_bits, last_gpio_channel};
}
} // namespace

int64_t write_to_serial_channel_repeated(int channel, int address, int bits, int repeat) {
    if (repeat < 1) return 0;
    if ((channel == Z6_SERIAL_SPI || channel == Z6_SERIAL_SPI + 1) && repeat > 1)
        // A loopback writes back what it read: one pass stands for every repeat.
        return int64_t(write_to_serial_channel(channel, address, bits)) * repeat;
    int64_t total = 0;
    if (channel < 0 || channel >= 256) {
        // The other channels run dry (a dropped file, a full audio queue) or move
        // nothing: each repeat past that costs a test.
        for (int i = 0; i < repeat; i++) total += write_to_serial_channel(channel, address, bits);
        return total;
    }
    // Into a full stream the repeats cycle between refilling the last block and
    // overflowing: once a cycle is seen whole, the rest are counted, not moved,
    // so a cart cannot make one call copy gigabytes bit by bit.
    bool seen = false;
    gpio_place last{};
    int last_index = 0;
    int64_t last_total = 0;
    for (int i = 0; i < repeat; i++) {
        int moved = write_to_serial_channel(channel, address, bits);
        total += moved;
        if (moved != 0) continue;
        gpio_place now = current_gpio_place();
        if (seen && now == last) {
            int period = i - last_index;
            int cycles = (repeat - 1 - i) / period;
            total += int64_t(cycles) * (total - last_total);
            i += cycles * period;
        }
        seen = true;
        last = now;
        last_index = i;
        last_total = total;
    }
    return total;
}

void set_serial_parameters(int channel, const char *text) {
    serial_channel *rec = allocate_channel(channel);
    if (!rec || rec->locked || !text) return;
    // A bare number (the test is loose: "a1" passes too, and reads as 0) sets freq.
    if (text[0] >= '0' && text[1] < ':') {
        rec->freq = int32_t(std::strtol(text, nullptr, 10));
        return;
    }
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') p++;
    while (*p) {
        char key[1024];
        size_t n = 0;
        while (p[n] && p[n] != ':' && p[n] != ' ' && p[n] != '\t' && p[n] != '\n' && n < 1023) n++;
        if (p[n] != ':') return; // a word without a colon ends the text
        std::memcpy(key, p, n);
        key[n] = 0;
        char *after = nullptr;
        int32_t value = int32_t(std::strtol(p + n + 1, &after, 10));
        struct {
            const char *name;
            int32_t serial_channel::*field;
        } static constexpr keys[] = {
            {"freq", &serial_channel::freq},     {"dma", &serial_channel::dma},
            {"type", &serial_channel::type},     {"brightness", &serial_channel::brightness},
            {"invert", &serial_channel::invert}, {"leds", &serial_channel::leds},
        };
        for (const auto &k : keys)
            if (std::strcmp(key, k.name) == 0) rec->*k.field = value;
        p = after;
        while (*p && !(*p >= 'a' && *p <= 'z')) p++;
    }
}

void serial_init_frame() {
    // Only what this frame wrote needs clearing (a frame may write the whole stream).
    std::fill(gpio_stream.begin(), gpio_stream.begin() + stream_used, uint8_t(0));
    stream_used = 0;
    stream_end = 0;
    block_start = -1;
    block_bits = 0;
    last_gpio_channel = -1;
    spi_buffer.clear();
}

void serial_end_frame() {
    if (gpio_stream.empty()) return;
    close_block();
    // Walk only what was written: blocks never reach past stream_end.
    for (int at = 0; at + block_header <= stream_end;) {
        int channel = get16(at), bits = get16(at + 2);
        int bytes = (bits + 7) / 8;
        at += block_header;
        if (channel < Z6_SERIAL_GPIO_255)
            for (int i = 0; i < bytes && at + i < stream_end; i++)
                gpio_write(channel, gpio_stream[size_t(at + i)]);
        at += bytes;
    }
    serial_init_frame();
}

void serial_init_runtime() {
    // The hook reads the queue on the audio thread: empty it with the mixer held off.
    vull_lock_audio();
    audio_head.store(audio_tail.load(std::memory_order_relaxed), std::memory_order_relaxed);
    vull_unlock_audio();
    if (channels.empty()) return;
    for (int c : made_channels) *channels[size_t(c)] = serial_channel{};
    serial_init_frame();
}

void serial_exit_runtime() {}

void serial_set_dropped_file(vull_file *file) {
    dropped_file = dropped_buffer{};
    if (!file || !file->data || file->length <= 0) return;
    size_t n = std::min<size_t>(size_t(file->length), Z6_DROPPED_FILE_MAX);
    dropped_file.bytes.assign(file->data, file->data + n);
}

void serial_set_dropped_image_file(vull_bitmap *bmp) {
    dropped_image = dropped_buffer{};
    int pixels = 0;
    // The shell converts pictures of at most 128x128; anything else is refused.
    if (!bmp || bmp->bpp != 8 || !bmp->rows || bmp->width > 0xFFFF || bmp->height > 0xFFFF ||
        !vull_checked_size(bmp->width, bmp->height, 0, &pixels) || pixels > Z6_DROPPED_FILE_MAX)
        return;
    std::vector<uint8_t> &b = dropped_image.bytes;
    b = {uint8_t(bmp->width), uint8_t(bmp->width >> 8), uint8_t(bmp->height),
         uint8_t(bmp->height >> 8)};
    for (int y = 0; y < bmp->height; y++)
        b.insert(b.end(), bmp->rows[y], bmp->rows[y] + bmp->width);
}

int get_serial_file_remaining() {
    return int(dropped_file.bytes.size() -
               std::min(dropped_file.position, dropped_file.bytes.size()));
}

int get_serial_image_file_remaining() {
    return int(dropped_image.bytes.size() -
               std::min(dropped_image.position, dropped_image.bytes.size()));
}

void reset_serial_file_buffers() {
    dropped_file = dropped_buffer{};
    dropped_image = dropped_buffer{};
}

int serial_audio_fill() {
    return int(audio_head.load(std::memory_order_acquire) -
               audio_tail.load(std::memory_order_acquire));
}

void mix_serial_sound_buffer(int16_t *out, int count) {
    uint32_t tail = audio_tail.load(std::memory_order_relaxed);
    uint32_t head = audio_head.load(std::memory_order_acquire);
    if (head == tail || vull_state.paused || vull_state.sound_paused) return;
    int32_t vol = std::clamp<int32_t>(cconfig.sound_volume, 0, 256);
    int n = int(std::min<uint32_t>(uint32_t(std::max(count, 0) / 4), head - tail));
    // 0x5f36 bit 0x20 turns off the smoothing of each byte's first sample.
    uint8_t flags =
        std::atomic_ref<uint8_t>(pstate.console_ram[0x5f36]).load(std::memory_order_relaxed);
    bool smooth = !(flags & 0x20);
    int16_t chunk[1024];
    for (int done = 0; done < n;) {
        int bytes = std::min(n - done, 1024 / 4);
        for (int k = 0; k < bytes; k++) {
            int32_t s =
                (int32_t(audio_ring[(tail + uint32_t(done + k)) % Z6_SERIAL_AUDIO_SIZE]) - 128) *
                vol;
            int32_t first = smooth ? (previous_sample + s) / 2 : s;
            // Full scale is 32768: clamp before the mix-down's 16-bit operands.
            chunk[4 * k] = int16_t(std::clamp(first, -32768, 32767));
            chunk[4 * k + 1] = chunk[4 * k + 2] = chunk[4 * k + 3] =
                int16_t(std::clamp(s, -32768, 32767));
            previous_sample = s;
        }
        zibo6_mix_down(out + 4 * done, chunk, 4 * bytes);
        done += bytes;
    }
    audio_tail.store(tail + uint32_t(n), std::memory_order_release);
}
