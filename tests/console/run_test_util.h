// A console runtime for tests: a memory cart and a working cart, the 16 code
// tabs, a headless machine whose terminal lines and printh output go to
// standard output (captured), and helpers to load code and run slices.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cart/cart.h"
#include "console/gfx_print.h"
#include "console/run.h"
#include "cart/state.h"
#include "engine/ctext.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "vm/lcpu.h"
#include "vm/lua.h"

namespace z6run {

struct Runtime {
    Runtime() {
        teardown(); // one runtime at a time: a second one replaces the first
        std::memset(static_cast<void *>(&pstate), 0, sizeof pstate);
        std::memset(static_cast<void *>(&app), 0, sizeof app);
        zrun = zibo6_run_state{};
        pstate.memory_cart = vull_create_zibo6_cart();
        pitem.cart = vull_create_zibo6_cart();
        for (auto &t : pstate.code_tab) t = vull_create_ctext(nullptr, 0x10002);
        for (auto &d : pstate.display) d = vull_create_bitmap(128, 128, 8);
        pstate.draw_surface = pstate.display[0];
        pstate.headless = 1;
        pstate.fps = pstate.target_fps = 30;
        app.host_framerate_control = 0;
        vull_quit = 0;
    }
    ~Runtime() { teardown(); }
    static void teardown() {
        if (zrun.L0_cart) lua_close(zrun.L0_cart);
        zrun = zibo6_run_state{};
        for (auto &t : pstate.code_tab) {
            vull_destroy_ctext(t);
            t = nullptr;
        }
        destroy_print_buffer();
        print_context.pending = false;
        for (auto &d : pstate.display) {
            vull_destroy_bitmap(d);
            d = nullptr;
        }
        pstate.draw_surface = nullptr;
        vull_destroy_zibo6_cart(pitem.cart);
        pitem.cart = nullptr;
        vull_destroy_zibo6_cart(pstate.memory_cart);
        pstate.memory_cart = nullptr;
        vull_destroy_buffer(app.last_error_text);
        app.last_error_text = nullptr;
        vull_free(app.cstore_targets);
        app.cstore_targets = nullptr;
        vull_quit = 0;
    }
    Runtime(const Runtime &) = delete;
    Runtime &operator=(const Runtime &) = delete;

    // The working cart's code, split into tabs as a load does.
    void load(const std::string &code) {
        std::snprintf(pitem.cart->code, ZIBO6_CODE_SIZE, "%s", code.c_str());
        split_code_to_tabs();
    }

    // run_cart (the shell's pending run), then up to frames slices while the
    // machine runs; returns everything printed to standard output.
    std::string run(const std::string &code, int frames = 10) {
        load(code);
        testing::internal::CaptureStdout();
        pstate.pending_action = 1;
        run_cart();
        pstate.pending_action = 0;
        slices(frames);
        return testing::internal::GetCapturedStdout();
    }

    // Slices as the shell's frame loop runs them: a pending suspend first,
    // then the slice, and the cart frame counter.
    int slices(int frames) {
        int n = 0;
        for (; n < frames; n++) {
            if (pstate.pending_action == 2) {
                pstate.pending_action = 0;
                suspend_program();
            }
            if (pstate.machine_mode != 1) break;
            run_slice();
            pstate.cart_frame++;
        }
        return n;
    }

    std::string errors() const {
        if (app.last_error_text == nullptr) return "";
        return std::string(reinterpret_cast<const char *>(app.last_error_text->data),
                           static_cast<size_t>(app.last_error_text->length));
    }
};

} // namespace z6run
