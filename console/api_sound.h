// The sound side of the status call: what voices and the music are playing.
#pragma once

// stat(n) for n in 16..26: 16-19 the sfx number (0-63) voice n-16 plays (its sfx
// layer first, then its song layer; -1 none), 20-23 the note it plays (-1 none),
// 24 the music pattern, 25 the patterns played, 26 the ticks of the current
// pattern (each -1 without music). Returns 0 and leaves *value for another n.
int zibo6_sound_stat(int n, int *value);
