// Programs that link the audio engine and the layers below it.
#include "audio/mixer.h"
#include "tests/support/attach.h"

void z6_attach_layers() { vull_sound_attach(); }
