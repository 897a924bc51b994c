// XM modules: reading and writing tracker module files, the player that the
// mixer's music step runs, the whole-song render into a sound object, and the
// music objects that hold a module for the player.
#pragma once
#include <cstdint>

struct csound;
struct vull_file;
struct xm_player;

constexpr int XM_MAX_CHANNELS = 8;     // a module with more is refused
constexpr int XM_MAX_ROWS = 64;        // rows a pattern's cell store holds
constexpr int XM_CELL_BYTES = 5;       // note, instrument, volume, effect, parameter
constexpr int XM_TICK_SAMPLES = 16384; // a channel's tick buffer; bound on samples per tick
constexpr int XM_RAMP_SAMPLES = 128;   // declick crossfade length
constexpr int XM_ENV_POINTS = 12;
constexpr int XM_ORDERS = 256;

struct xm_pattern {
    int32_t rows;                                               // 0..64
    uint8_t cells[XM_MAX_CHANNELS][XM_MAX_ROWS][XM_CELL_BYTES]; // channel-major
};

constexpr uint16_t XM_ENV_LEVEL_MAX = 64; // envelope levels are 0..64

struct xm_envelope {
    int32_t points;            // point count as read (0..12 used)
    uint16_t x[XM_ENV_POINTS]; // tick of each point
    uint16_t y[XM_ENV_POINTS]; // level of each point (0..64)
};

struct xm_instrument;
// Renders an instrument in place of its sample: (state, channel, buffer, samples, amplitude).
using xm_generator_fn = void (*)(xm_player *, int, int16_t *, int, int);

struct xm_instrument {
    char name[22];
    int32_t sample_count; // 0 or 1
    int32_t length;       // sample length in frames
    int16_t *data;        // length frames and one guard frame equal to the first
    int32_t loop_start;   // in frames
    int32_t loop_length;  // in frames
    int32_t volume;       // 0..64
    int32_t finetune;     // signed
    int32_t type;         // bits 0-1 loop type (nonzero: forward), bit 4 16-bit
    int32_t panning;
    int32_t relative_note; // signed semitones
    int32_t width;         // 8 or 16 (16 once loaded)
    uint8_t env_bytes[14]; // envelope and vibrato bytes as stored in the file
    uint16_t fadeout;
    xm_envelope vol_env;
    xm_envelope pan_env;
    char sample_name[22];
    xm_generator_fn generator; // null after loading
};

struct xm_module {
    char name[32];       // 20 bytes from the file, terminated
    int32_t song_length; // order-table entries used
    int32_t restart;     // stored and written back only
    int32_t channels;    // 0..8
    int32_t flags;       // stored and written back only
    int32_t tempo;       // ticks per row
    int32_t bpm;
    int32_t pattern_count;
    xm_pattern *patterns;
    int32_t instrument_count;
    xm_instrument *instruments; // count + 1 records; record 0 is a silent placeholder
    uint8_t order[XM_ORDERS];
};

struct xm_channel {
    int32_t index;
    int32_t instrument; // 0 = none
    int32_t volume;     // 0..64
    int32_t env_volume; // 0..64
    int32_t env_point;
    int32_t env_tick;
    int32_t effect;
    int32_t param;
    int32_t prev_effect;
    int32_t prev_param;
    int32_t pos;                     // whole frames
    int32_t frac;                    // 24-bit fraction
    int32_t step;                    // 8.24 frames per output sample
    int32_t vib_phase;               // 0..2047
    int32_t note;                    // semitone index
    int32_t fine;                    // 0..255, 1/256 semitone
    int32_t target;                  // portamento target note
    int16_t buffer[XM_TICK_SAMPLES]; // this tick's samples
};

struct xm_shadow {
    xm_channel ch;                 // the channel at the end of the previous tick
    int16_t ramp[XM_RAMP_SAMPLES]; // what it would have gone on to play
};

struct xm_player {
    xm_module *module;
    xm_channel channel[XM_MAX_CHANNELS];
    xm_shadow shadow[XM_MAX_CHANNELS];
    int32_t position; // order position
    int32_t row;
    int32_t tick;  // within the row
    int32_t tempo; // ticks per row, from the module
    int32_t samples_per_tick;
    int32_t jump;      // jump target, -1 none
    int32_t delivered; // samples of the current tick already handed out
    int32_t loop;      // restart at position 0 at the song end
    int32_t playing;
};

// The live player: the audio thread renders it, the main thread changes it only
// inside the audio lock.
extern xm_player ps0;
extern int16_t xmbuf[4096]; // the music step's render buffer

xm_module *vull_create_xm();
void vull_destroy_xm(xm_module *module);            // frees its contents, not the record
xm_module *vull_load_xm_from_file(vull_file *file); // null for a bad or refused module
xm_module *vull_load_xm(const char *path);
int vull_save_xm_to_file(xm_module *module, vull_file *file); // 0, 1 when a write failed
int vull_save_xm(xm_module *module, const char *path);

void vull_mix_xm_init(xm_module *module, xm_player *state, int rate);
void vull_mix_xm_chunk(xm_player *state, int16_t *out, int count);
void vull_mix_xm(xm_module *module, csound *sound);
int vull_calculate_xm_length(xm_module *module);
int get_delta(int note, int fine); // 8.24 frames per output sample
int unify_note_identity(xm_channel *channel);
void mix_in_xm(int16_t *out, int count);

// Music objects: a module for the live player.
struct cmusic {
    xm_module *module; // null until loaded
};
cmusic *vull_create_music();
void vull_destroy_music(cmusic *music);
int cmusic_load(cmusic *music, const void *data, int length); // 0 loaded, 1 failed
int cmusic_load_from_file(cmusic *music, vull_file *file);    // 0 loaded, 1 failed
void cmusic_play(cmusic *music, int fade_ms, int start_position, int loop);
void disable_music(cmusic *music);
// Stops the live player (caller holds the audio lock).
void xm_player_stop();
// Whether the live player has a module and is playing.
int xm_player_running();
