// Voice synthesis: the mixer channel record, the oscillator state of one tick,
// and the renderer that turns that state into samples.
//
// The cart's sound bank is played in place while the main thread pokes it; every
// read of a bank word goes through the accessors below.
#pragma once
#include <atomic>
#include <cstdint>
#include "audio/hooks.h" // vull_set_sound_registers
#include "cart/cart.h"

struct csound;

// The per-sample loops of the audio engine carry nothing from one sample to
// the next, so the compiler renders several samples at once. On x86-64 the
// functions marked with this get a second copy for AVX2 (eight lanes and
// native 32-bit products, which the baseline's SSE2 builds from pieces),
// picked at start-up when the processor has it. Whatever they call must be
// inlined into them to share that copy. Clang (the fuzz build) resolves the
// clones only where every declaration carries the attribute: it goes without.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define Z6_SAMPLE_LOOPS __attribute__((target_clones("avx2", "default")))
#else
#define Z6_SAMPLE_LOOPS
#endif

constexpr int Z6_TICK_SAMPLES = 183;  // one tick at 22050 Hz, about 120 ticks a second
constexpr int Z6_RAMP_SAMPLES = 64;   // crossfade from the previous tick's oscillator
constexpr int Z6_ECHO_SLOTS = 8;      // finished ticks kept for the echo
constexpr int Z6_MIX_SAMPLES = 4096;  // one mix pass, per channel
constexpr int Z6_SFX_NOTES = 32;      // notes of an sfx
constexpr int Z6_BANK_SFX = 64;       // sfx of a bank
constexpr int Z6_BANK_PATTERNS = 64;  // music patterns of a bank
constexpr int Z6_MIXER_CHANNELS = 16; // 0-3 sfx voices, 4-7 their song layer, 8-15 engine

// Words of an sfx record as the sound engine reads them.
enum z6_sfx_word : int {
    Z6_SFX_FILTERS = 0,    // bit 1 noise mode, bit 2 variant, >>3: detune, reverb, dampen digits
    Z6_SFX_SPEED = 2,      // ticks per note (below 1 counts as 1)
    Z6_SFX_LOOP_START = 3, // loop start, or the length when loop end is 0
    Z6_SFX_LOOP_END = 4,   // the sfx loops when loop end > loop start
};
// Fields of a note, word 5 + 5n + field.
enum z6_note_field : int {
    Z6_NOTE_PITCH = 0,
    Z6_NOTE_WAVEFORM = 1, // or the instrument 0-7 with the custom flag
    Z6_NOTE_VOLUME = 2,
    Z6_NOTE_EFFECT = 3,
    Z6_NOTE_CUSTOM = 4,
};

// The bank's words are relaxed atomics (cart/cart.h): these read them by number.
int32_t z6_sfx_word(const zibo6_sfx *sfx, int word); // 0 for a null sfx
// A note field; a note index outside 0..31 reads as a silent zero note.
int32_t z6_note_word(const zibo6_sfx *sfx, int note, int field);
int32_t z6_sfx_speed(const zibo6_sfx *sfx); // speed, at least 1
bool z6_sfx_loops(const zibo6_sfx *sfx);    // loop end > loop start
int32_t
z6_sfx_length(const zibo6_sfx *sfx); // loop start when loop end is 0 and it is >= 1, else 32
const zibo6_sfx *z6_bank_sfx(const zibo6_cart *bank, int n); // null outside 0..63 or no bank
int32_t z6_pattern_channel(const zibo6_cart *bank, int pattern, int voice); // 64 when off
int32_t z6_pattern_flags(const zibo6_cart *bank, int pattern);

// Oscillator state of one channel for one tick.
struct osc_state {
    int32_t waveform;      // 0-7; above 7 renders silence
    int32_t phase;         // 0..65535, one cycle is 65536
    int32_t step;          // phase increment per sample (0 when silent)
    int32_t phase2;        // second oscillator, 17 bits
    int32_t step2;         // second oscillator increment
    int32_t noise_value;   // random walk of the noise generator, -6143..6143
    int32_t noise_toggle;  // flips every sample
    int32_t amp;           // note volume << 8 after effects, fades and scaling
    int32_t pitch;         // 16.16 pitch
    int32_t pitch_number;  // integer pitch plus the instrument's transposition
    int32_t crackle_level; // note volume << 8 after effects
    int32_t noise_counter; // sample counter of the sample-and-hold noise
    int32_t noise_from;    // held noise sample
    int32_t noise_to;      // next noise sample
    int32_t note_volume;   // raw fields of the current note
    int32_t note_pitch;
    int32_t note_waveform;
    int32_t inst_effect;  // effect of the current instrument note (0: none)
    int32_t inst_filters; // filters word of the instrument sfx (0: none)
    int32_t inst_drop;    // 0..256, set by an instrument note with effect 3
    int32_t detune;       // 0-2
    int32_t variant;      // 0/1
    int32_t noise_mode;   // 0-2
    int32_t reverb;       // 0-2
};
static_assert(sizeof(osc_state) == 24 * 4, "oscillator state is 24 words");

// One of the mixer's 16 channels.
struct mixer_channel {
    int16_t mix_buffer[Z6_MIX_SAMPLES]; // this channel's output for the current pass
    csound *sound;                      // a sound object being played; null otherwise
    int32_t sound_position;             // next sample of the sound object
    zibo6_cart *bank;                   // instruments (sfx 0-7) and patterns of a song
    zibo6_sfx *sfx;                     // the sfx being played; null: none
    int32_t ticks;                      // ticks played in the sfx
    int32_t loop_enabled;               // 1 honour the loop; 0 released
    int32_t voice;                      // 0-3, bit index into the sound registers
    int16_t tick_buffer[Z6_TICK_SAMPLES];
    int16_t echo_ring[Z6_ECHO_SLOTS][Z6_TICK_SAMPLES]; // the last eight finished ticks
    int32_t ring_index;                                // slot the current tick goes into
    int16_t tick_cursor;                               // next tick sample to hand out; 183 used up
    int32_t song;                                      // 1 the channel plays a song pattern
    int32_t pattern;                                   // current pattern 0-63, -1 none
    osc_state osc;                                     // the state of the current tick
    int32_t prev_pitch, prev_waveform, prev_volume;    // previous note's raw fields
    int32_t inst_prev_pitch, inst_prev_waveform, inst_prev_volume; // previous instrument note
    int32_t inst_note[2][5]; // used only by generate_sfx_inst_note
    int32_t inst_ticks;      // ticks played in the custom instrument
    int32_t echo_level;      // 0-2, per tick
    int32_t dampen;          // 0-15, per tick
    int32_t remaining_ticks; // ticks left before the sfx is cut or the pattern ends
    // Ticks in a row, up to Z6_ECHO_SLOTS, that came out all zero: at the full
    // count the tick buffer and the whole echo ring hold silence.
    int32_t quiet_ticks;
};

// Sound register 0x5f40 + (i & 3), where vull_set_sound_registers (audio/hooks.h) put them.
int32_t z6_sound_register(int i);

void calculate_osc_state(mixer_channel *ch, osc_state *osc);
void apply_meta_instrument(mixer_channel *ch, const zibo6_sfx *inst, osc_state *osc);
// Renders n (at most 183) samples of osc into out, advancing its phases, then adds the echo.
void mix_osc_tick_new(osc_state *osc, int16_t *out, int n, mixer_channel *ch);

int32_t get_dx_for_note_fine(int32_t pitch); // 16.16 pitch to phase step, clamped to 8..32768
int32_t get_dx_for_note(int32_t pitch);      // integer pitch to phase step, not clamped
int32_t inst5(int32_t phase);                // waveform 5's shape minus 8192

// Older routines kept beside the current ones.
void mix_osc_tick_old(osc_state *osc, int16_t *out, int n);
void generate_sfx_inst_note(mixer_channel *ch, const int32_t *note, int32_t pitch);

// The audio thread's own random numbers (the engine's algorithm, a separate state).
uint32_t audio_random(uint32_t n);
void audio_random_seed(uint32_t high, uint32_t low);
