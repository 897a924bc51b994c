// The SDL back end's system services: the audio device, the clock, the
// clipboard and SDL's error text.
#include "platform/sdl/sdl_api.h"

#include <cstdio>
#include <string>

#include "platform/backend.h"
#include "platform/system.h"

/* ---- audio device ---- */

static void log_audio_drivers() {
    int n = SDL_GetNumAudioDrivers();
    if (n > 0) {
        vull_plat_log("Built-in audio drivers:");
        for (int i = 0; i < n; i++) {
            const char *name = SDL_GetAudioDriver(i);
            vull_plat_logf(" %d %s", i, name ? name : "");
        }
        vull_plat_log("\n");
    } else {
        vull_plat_log("No built-in audio drivers\n");
    }
    const char *current = SDL_GetCurrentAudioDriver();
    vull_plat_logf("Current audio driver: %s\n", current ? current : "(none)");
}

int vull_plat_audio_open(int rate, int channels, int samples, vull_audio_callback callback,
                         int *got_rate, int *got_channels) {
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    if (SDL_Init(SDL_INIT_AUDIO) != 0) return -1;
    vull_plat_log("SDL_INIT_AUDIO ok\n");
    SDL_AudioSpec spec{};
    spec.freq = rate;
    spec.format = AUDIO_S16LSB;
    spec.channels = Uint8(channels);
    spec.silence = 0;
    spec.samples = Uint16(samples);
    spec.callback = callback;
    spec.userdata = nullptr;
    int result = -1;
    if (SDL_OpenAudio(&spec, nullptr) < 0) {
        vull_plat_log("SDL_OpenAudio failed\n");
        vull_plat_logf(" %s\n", SDL_GetError());
    } else {
        vull_plat_log("SDL_OpenAudio ok\n");
        *got_rate = spec.freq ? spec.freq : rate;
        *got_channels = spec.channels ? spec.channels : channels;
        SDL_PauseAudio(0);
        result = 0;
    }
    log_audio_drivers();
    return result;
}

void vull_plat_audio_lock() { SDL_LockAudio(); }

void vull_plat_audio_unlock() { SDL_UnlockAudio(); }

/* ---- clipboard ---- */

// Without a video subsystem there is no clipboard: that is a failure, not a copy.
int vull_plat_clipboard_set(const char *text) {
    return sdl_loaded() && SDL_SetClipboardText(text) == 0 ? 0 : 1;
}

std::string vull_plat_clipboard_get() {
    if (!sdl_loaded()) return "";
    char *text = SDL_GetClipboardText();
    std::string copy = text ? text : "";
    SDL_free(text);
    return copy;
}

int vull_plat_clipboard_has() { return sdl_loaded() && SDL_HasClipboardText() ? 1 : 0; }

/* ---- errors ---- */

void vull_plat_print_errors() {
    if (!sdl_loaded()) return;
    const char *error = SDL_GetError();
    if (error && *error) {
        printf("SDL Error: %s\n", error);
        fflush(stdout);
        SDL_ClearError();
    }
}
