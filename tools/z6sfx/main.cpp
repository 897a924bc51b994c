// z6sfx: renders one sfx or a song of a cart through the real mixer callback to
// 16-bit little-endian mono samples at 22050 Hz, for tests and for listening.
//   z6sfx render CART N OUT.raw   sfx N (0-63) until it ends
//   z6sfx music CART N OUT.raw    the song from pattern N (0-63) until it stops
//   z6sfx xm FILE OUT.raw         an XM module once through, through the music step
// Either stops after 60 seconds of sound (loops never end by themselves).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/xm.h"
#include "cart/cart.h"
#include "engine/disk.h"
#include "platform/system.h"
#include "shell/zibo6.h"

static constexpr int buffer_samples = 1024;
static constexpr int max_samples = 22050 * 60;

static int usage() {
    std::fprintf(stderr, "usage: z6sfx render CART N OUT.raw\n"
                         "       z6sfx music CART N OUT.raw\n"
                         "       z6sfx xm FILE OUT.raw\n");
    return 2;
}

static bool parse_index(const char *text, int *out) {
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 63) return false;
    *out = int(v);
    return true;
}

// Renders device buffers until playing() turns false (one buffer more) or 60 s.
template <class F> static bool render_to(FILE *out, F playing) {
    int16_t buf[buffer_samples];
    bool ok = true;
    for (int done = 0; done < max_samples; done += buffer_samples) {
        bool more = playing();
        vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(buf), int(sizeof buf));
        ok = ok && std::fwrite(buf, sizeof buf, 1, out) == 1; // the host is little-endian
        if (!more) break;
    }
    return ok;
}

static int finish(FILE *out, bool ok, const char *path) {
    if (std::fclose(out) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "z6sfx: could not write %s\n", path);
    return ok ? 0 : 1;
}

static int render_xm(const char *path, const char *out_path) {
    vull_file *f = vull_fopen(path, "rb");
    cmusic *music = vull_create_music();
    int failed = cmusic_load_from_file(music, f);
    vull_fclose(f);
    if (failed) {
        std::fprintf(stderr, "z6sfx: could not load %s as an XM module\n", path);
        vull_destroy_music(music);
        return 1;
    }
    FILE *out = vull_file_read_only(out_path) ? nullptr : std::fopen(out_path, "wb");
    if (!out) {
        std::fprintf(stderr, "z6sfx: could not write %s\n", out_path);
        vull_destroy_music(music);
        return 1;
    }
    vull_sound_init_offline();
    cmusic_play(music, 0, 0, 0);
    bool ok = render_to(out, [] { return vull_music_is_playing() != 0; });
    vull_destroy_music(music);
    return finish(out, ok, out_path);
}

int main(int argc, char **argv) {
    zibo6_attach_shell(); // the cart code reaches the console and the shell through hooks
    if (argc == 4 && std::strcmp(argv[1], "xm") == 0) return render_xm(argv[2], argv[3]);
    if (argc != 5) return usage();
    bool music = std::strcmp(argv[1], "music") == 0;
    if (!music && std::strcmp(argv[1], "render") != 0) return usage();
    int n = 0;
    if (!parse_index(argv[3], &n)) {
        std::fprintf(stderr, "z6sfx: N must be a number from 0 to 63\n");
        return 2;
    }
    zibo6_cart *cart = vull_load_zibo6_cart(argv[2]);
    if (!cart) {
        std::fprintf(stderr, "z6sfx: could not load %s\n", argv[2]);
        return 1;
    }
    FILE *out = vull_file_read_only(argv[4]) ? nullptr : std::fopen(argv[4], "wb");
    if (!out) {
        std::fprintf(stderr, "z6sfx: could not write %s\n", argv[4]);
        vull_destroy_zibo6_cart(cart);
        return 1;
    }

    // No device: the callback is called here, as the device thread would.
    vull_sound_init_offline();
    if (music)
        vull_play_zibo6_song(cart, n, 0);
    else
        vull_play_sfx_ex(&cart->sfx[n], 0, 0, cart, 0);

    // One more buffer after the end carries the fade-out of the last tick.
    bool ok = render_to(out, [music] {
        return music ? vull_music_is_playing() != 0 : ms0.channel[0].sfx != nullptr;
    });
    vull_stop_all_sounds();
    vull_destroy_zibo6_cart(cart);
    return finish(out, ok, argv[4]);
}
