// What the audio engine needs from the layers above it, and nothing else: three
// one-pointer hooks, each optional. The console's attach call
// (zibo6_attach_console) hands in the sound registers and the shell's
// initialiser the post-mix hook; nothing in the player sets the music clock.
#pragma once
#include <atomic>
#include <cstdint>

// Runs on the audio thread after every mix with the mixed samples; the shell's
// initialiser installs the serial audio writer. Empty: nothing runs. The mixer
// reads this very atomic, so storing it directly and vull_set_post_mix_func
// are the same.
using vull_post_mix_fn = void (*)(int16_t *samples, int count);
extern std::atomic<vull_post_mix_fn> vull_post_mix_func;
void vull_set_post_mix_func(vull_post_mix_fn hook);

// The clock that music fades run on; tests and fuzz targets step their own.
// Empty (null): vull_get_time.
using vull_clock_fn = int (*)();
void vull_set_music_clock(vull_clock_fn clock);

// Sound registers 0x5f40-0x5f43, read where console memory stores them
// (zibo6_attach_console hands in its four words). Empty (null): the audio
// engine's own zeroed words. Both threads access the words as relaxed atomics.
void vull_set_sound_registers(int32_t *regs);
