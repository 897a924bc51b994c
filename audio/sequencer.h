// Channel sequencer: a channel's sfx or song pattern stepped tick by tick, with
// the crossfade, crush, dampen and echo ring of each tick and the end rules.
#pragma once
#include <cstdint>

struct mixer_channel;
struct zibo6_cart;

// Set whenever a song channel takes its song step during the current mix pass.
extern int advanced_pattern;

// The tick loop: fills the first n samples (at most 4096) of the channel's mix
// buffer from its tick buffer, making new ticks as needed. True when every
// sample it filled in is 0.
bool mix_sfx_channel(mixer_channel *ch, int n);
// Makes one tick into tick_buffer (183 samples) and advances the channel.
void mix_sfx_tick(mixer_channel *ch, int16_t *tick_buffer);
// Ticks that pattern p of a bank lasts (0 when every channel is off).
int32_t zibo6_pattern_length(const zibo6_cart *bank, int pattern);
