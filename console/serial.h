// Serial channels: the GPIO bit stream replayed into the pins at the frame's
// end, the SPI loopback, the dropped file and image read by a cart, the serial
// audio channel mixed into the sound output, and the per-channel settings.
#pragma once
#include <cstdint>

struct vull_file;
struct vull_bitmap;

constexpr int Z6_SERIAL_CHANNELS = 4096;       // channels 0-4095 have a table entry
constexpr int Z6_GPIO_STREAM_SIZE = 0x40000;   // bytes of the GPIO stream
constexpr int Z6_SPI_SIZE = 32768;             // bytes of one SPI transfer at most
constexpr int Z6_DROPPED_FILE_MAX = 262144;    // bytes of a dropped file kept
constexpr int Z6_SERIAL_AUDIO_SIZE = 2048;     // 8-bit samples queued at most
constexpr int Z6_SERIAL_GPIO_255 = 255;        // a block holding only a byte count
constexpr int Z6_SERIAL_SPI = 0x100;           // and 0x101
constexpr int Z6_SERIAL_DROPPED_FILE = 0x800;  // reads the dropped file
constexpr int Z6_SERIAL_DROPPED_IMAGE = 0x802; // reads the dropped image
constexpr int Z6_SERIAL_AUDIO = 0x808;         // queues audio samples

// A channel's settings: stored, never read. Twelve words in this order.
struct serial_channel {
    int32_t channel;    // its number
    int32_t high;       // channel / 256
    int32_t low;        // channel & 255
    int32_t dma;        // 10
    int32_t freq;       // 800000
    int32_t type;       // 0x00100800
    int32_t brightness; // 55
    int32_t unused_a;
    int32_t invert;
    int32_t leds;
    int32_t unused_b;
    int32_t locked; // set by a transfer: later settings texts are ignored
};
static_assert(sizeof(serial_channel) == 12 * 4, "a channel record is twelve words");

// One transfer of bits from or to console memory at address; the bits moved.
int write_to_serial_channel(int channel, int address, int bits);
// The transfer made repeat times (none when repeat < 1); the bits moved in all.
int64_t write_to_serial_channel_repeated(int channel, int address, int bits, int repeat);
// A settings text ("freq:400000 dma:5", or a bare number for freq).
void set_serial_parameters(int channel, const char *text);
serial_channel *allocate_channel(int channel); // the record (made with defaults); null outside
const serial_channel *serial_channel_record(int channel); // null when there is none

void serial_end_frame();    // replays the GPIO stream into the pins, then empties it
void serial_init_frame();   // empties the GPIO stream and the SPI buffer
void serial_init_runtime(); // run-time reset: settings, streams and the audio queue
void serial_exit_runtime();
int serial_return(int bits); // charges bits x 8 cycles; returns bits

// Dropped files: the shell hands over the bytes of a file, or a picture already
// converted to console colours (at most 128x128).
void serial_set_dropped_file(vull_file *file);
void serial_set_dropped_image_file(vull_bitmap *bitmap);
int get_serial_file_remaining();
int get_serial_image_file_remaining();
void reset_serial_file_buffers();

// Serial audio: the post-mix hook (audio thread) and the queue's fill (stat 108).
void mix_serial_sound_buffer(int16_t *samples, int count);
int serial_audio_fill();
