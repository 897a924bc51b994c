// The serial channels driven by an untrusted byte string as a cart would
// drive them: transfers on any channel with any address and length, settings
// texts, frame ends, dropped files and the audio hook.
#include "tools/fuzz/hostile_inputs.h"
#include "shell/zibo6.h"

#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "console/serial.h"
#include "cart/state.h"
#include "engine/disk.h"
#include "engine/gfx.h"

namespace {

// A console with a memory cart and a screen, made once.
void console_once() {
    if (pstate.memory_cart) return;
    pstate.memory_cart = vull_create_zibo6_cart();
    for (vull_bitmap *&d : pstate.display) d = vull_create_bitmap(128, 128, 8);
    pstate.draw_surface = pstate.display[0];
}

struct reader {
    const uint8_t *p;
    size_t left;
    uint32_t take(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes && left; i++, left--) v |= uint32_t(*p++) << (8 * i);
        return v;
    }
};

int run_serial(const uint8_t *data, size_t size) {
    console_once();
    serial_init_runtime();
    reset_serial_file_buffers();
    reader r{data, size};
    while (r.left) {
        switch (r.take(1) % 6) {
        case 0: { // a transfer: any channel, address and bit count a cart can give
            int channel = int32_t(r.take(4));
            int address = int(r.take(2));
            int bits = int(r.take(3) & 0x3ffff);
            write_to_serial_channel(channel, address, bits);
            break;
        }
        case 1: { // a settings text
            size_t n = r.take(1);
            std::string text(reinterpret_cast<const char *>(r.p), std::min(n, r.left));
            r.p += text.size();
            r.left -= text.size();
            set_serial_parameters(int(r.take(2) % 4200) - 50, text.c_str());
            break;
        }
        case 2: serial_end_frame(); break;
        case 3: { // a dropped file of the next bytes
            size_t n = std::min<size_t>(r.take(2), r.left);
            std::vector<uint8_t> bytes(r.p, r.p + n);
            r.p += n;
            r.left -= n;
            vull_file *f = vull_fopen_memory(bytes.empty() ? nullptr : bytes.data(), int(n));
            serial_set_dropped_file(f);
            vull_fclose(f);
            break;
        }
        case 4: { // the post-mix hook over a device buffer
            std::vector<int16_t> out(r.take(2) % 9000);
            mix_serial_sound_buffer(out.data(), int(out.size()));
            break;
        }
        default: { // a dropped picture
            int w = int(r.take(1)) + 1, h = int(r.take(1)) + 1;
            vull_bitmap *b = vull_create_bitmap(w, h, 8);
            serial_set_dropped_image_file(b);
            vull_destroy_bitmap(b);
            break;
        }
        }
    }
    serial_end_frame();
    return 0;
}

} // namespace

void hostile_attach() { zibo6_attach_shell(); }

const hostile_entry hostile_entries[] = {
    {"serial", run_serial},
    {nullptr, nullptr},
};
