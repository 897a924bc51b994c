// The console's global state records (zero-filled at start-up by static storage).
#include "console/state.h"

#include "audio/voice.h"

console_state pstate;
app_state app;
cart_item pitem;
int32_t cart_item_count;

// The audio thread reads the sound registers where console memory stores them.
[[maybe_unused]] static const bool sound_registers_hooked =
    (vull_set_sound_registers(pstate.draw_state.sound_reg), true);
