// Time slices: one resume of the cart's thread per section within the frame's
// CPU budget, the collector and the memory limit between sections, the
// frame-rate governor and the performance ring with its overlay and spinner.
#include <cstdio>
#include <cstring>

#include "cart/cdata.h"
#include "console/heap.h"
#include "console/gfx_print.h"
#include "console/gfx_shape.h"
#include "console/run.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/config.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/text.h"
#include "engine/vmath.h"
#include "engine/vull.h"
#include "platform/script.h"
#include "platform/system.h"
#include "platform/video.h"
#include "vm/lcpu.h"
#include "vm/ldebug.h"
#include "vm/lgc.h"
#include "vm/lstate.h"

int32_t cycles_2_frame_capacity(int64_t cycles) {
    int64_t budget =
        pstate.target_fps > 0 ? Z6_CPU_HZ / pstate.target_fps : Z6_DEFAULT_SLICE_BUDGET;
    int64_t v = cycles * 0x10000 / budget;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return static_cast<int32_t>(v);
}

uint32_t get_cpu_cycles_since_flip(int which) {
    return which == 0 ? static_cast<uint32_t>(lua_get_cpu_cycles())
                      : static_cast<uint32_t>(pstate.system_cycles);
}

void zibo6_register_cycles_spent_in_skipped_frames(int n) {
    if (n < 0) return;
    int64_t v = int64_t(pstate.skipped_frame_cycles) + n;
    pstate.skipped_frame_cycles = static_cast<int32_t>(v > 0x8840000 ? 0x8840000 : v);
}

/* ---- protected collector calls ---- */

// Collector work runs finalisers (a cart's __gc): it goes through a
// protected call on the guard thread so that an error there is a runtime
// error, never an abort.
static int gc_call(lua_State *L) {
    int what = static_cast<int>(lua_tointeger(L, 1));
    int data = static_cast<int>(lua_tointeger(L, 2));
    if (what < 0)
        luaC_fullgc(L, 1);
    else
        lua_gc(L, what, data);
    return 0;
}

// 0 when done, else an error was reported and the cart stopped.
// Finalisers run here can never yield, nor pass on a yield of coroutines
// they resume (those hold theirs as well), so what the cart's slice already
// spent must not count against their put-off yield: they start from a
// fresh slice counter, and only a runaway one is stopped.  Their cycles
// are still charged to the slice.
static int protected_gc(int what, int data) {
    lua_State *G = zrun.L_guard;
    if (G == nullptr) return 0;
    lua_settop(G, 0);
    lua_pushcfunction(G, gc_call);
    lua_pushinteger(G, what);
    lua_pushinteger(G, data);
    uint32_t carried = cpu_cycles_slice;
    cpu_cycles_slice = 0;
    int status = lua_pcall(G, 2, 0, 0);
    cpu_cycles_slice += carried;
    if (status == LUA_OK) return 0;
    std::string message = error_object_text(G, -1);
    if (message.empty()) message = "error in __gc";
    lua_settop(G, 0);
    if (pstate.reset_glitch_counter >= 1) return 1;
    int was_cart = pstate.cart_code_running;
    suspend_program();
    zrun.run_failed = 1;
    pstate.cart_code_running = was_cart;
    report_runtime_error(nullptr, message.c_str());
    return 1;
}

static int64_t memory_in_use() {
    return int64_t(pstate.script_memory_used) + int64_t(pstate.memory_overhead);
}

static void out_of_memory() {
    reset_lua_machine();
    suspend_program();
    zibo_print_col("out of memory", 6);
    zrun.run_failed = 1;
}

void run_slice_section() {
    lua_State *L = zrun.L0;
    if (L == nullptr) return;
    lua_gc(L, LUA_GCRESTART, 0);
    bool running = lua_gc(L, LUA_GCISRUNNING, 0) != 0;
    if (running) {
        if (protected_gc(zrun.gc_strikes > 64 ? LUA_GCCOLLECT : LUA_GCSTEP,
                         zrun.gc_strikes > 64 ? 0 : 200))
            return;
    }
    if (running && memory_in_use() > Z6_SOFT_MEMORY_LIMIT) {
        if (pstate.cart_frame != zrun.gc_strike_frame) {
            zrun.gc_strikes++;
            zrun.gc_strike_frame = pstate.cart_frame;
        }
        int64_t before = memory_in_use();
        if (protected_gc(LUA_GCCOLLECT, 0)) return;
        if (memory_in_use() > Z6_SOFT_MEMORY_LIMIT) {
            if (lua_gc(L, LUA_GCISRUNNING, 0)) {
                if (protected_gc(-1, 0)) return;
            } else {
                vull_debug("gc not running; could not perform emergency collection\n");
            }
            vull_debugf("gc hard collect: %d -> %d (overhead:%d)\n", static_cast<int>(before),
                        static_cast<int>(memory_in_use()), pstate.memory_overhead);
        }
        if (memory_in_use() > Z6_SOFT_MEMORY_LIMIT) {
            out_of_memory();
            return;
        }
    }
    lua_gc(L, LUA_GCSTOP, 0);

    if (pstate.machine_mode == 1) {
        lua_cpu_prepare_for_resume();
        zibo6_runtime_line = 0;
        // a refusal belongs to this section's error only: one a coroutine
        // caught earlier must not take the next error's traceback
        pstate.host_allocation_failed = 0;
        int status = lua_resume(L, nullptr, 0);
        if (status == LUA_OK) {
            suspend_program();
            if (L == zrun.L0_cart) app.cart_resumable = 0;
        } else if (status != LUA_YIELD) {
            if (pstate.reset_glitch_counter < 1) {
                std::string message = error_object_text(L, -1);
                // a memory error leaves no line, and one raised in a prelude
                // wrapper (line 2) belongs to the cart line that called it
                if (zibo6_runtime_line <= 2) {
                    int line = zibo6_error_line(L);
                    if (line > zibo6_runtime_line) zibo6_runtime_line = line;
                }
                int was_cart = pstate.cart_code_running;
                suspend_program();
                zrun.run_failed = 1;
                pstate.cart_code_running = was_cart;
                report_runtime_error(L, message.c_str());
            }
        }
        if (pstate.cartdata_dirty &&
            vull_ms_between(zrun.last_cdata_save_ms, vull_get_time()) > 1000) {
            save_cdata();
            zrun.last_cdata_save_ms = vull_get_time();
        }
    }
}

// The delayed-print continuation runs protected too: it may raise.
static int continue_print_call(lua_State *L) {
    int more = continue_print_text();
    std::string error = print_take_error();
    if (!error.empty()) return zibo6_runtime_error(L, error.c_str());
    lua_pushboolean(L, more != 0);
    return 1;
}

void run_slice(int budget) {
    int fps = pstate.fps > 0 ? pstate.fps : 30;
    lua_set_cpu_cycles_slice_max(budget > 0 ? budget : Z6_CPU_HZ / fps);
    lua_cpu_prepare_for_slice();
    app.cart_item_chosen = 0;

    if (print_context.pending && zrun.L_guard) {
        lua_State *G = zrun.L_guard;
        lua_settop(G, 0);
        lua_pushcfunction(G, continue_print_call);
        if (lua_pcall(G, 0, 1, 0) != LUA_OK) {
            std::string message = error_object_text(G, -1);
            lua_settop(G, 0);
            int was_cart = pstate.cart_code_running;
            suspend_program();
            zrun.run_failed = 1;
            pstate.cart_code_running = was_cart;
            report_runtime_error(nullptr, message.c_str());
            return;
        }
        bool more = lua_toboolean(G, -1);
        lua_settop(G, 0);
        if (more) return;
    }
    for (int i = 0; i < Z6_MAX_SECTIONS; i++) {
        pstate.memory_yield_requested = 0;
        run_slice_section();
        if (!pstate.memory_yield_requested) break;
    }
}

/* ---- governor ---- */

void update_frame_rate() {
    for (int i = 0; i + 1 < Z6_HOST_FPS_HISTORY; i++)
        zrun.host_fps_history[i] = zrun.host_fps_history[i + 1];
    zrun.host_fps_history[Z6_HOST_FPS_HISTORY - 1] = vull_get_fps();
    int sum = 0, count = 0;
    for (int h : zrun.host_fps_history)
        if (h) sum += h, count++;
    int A = count ? sum / count : 0;

    int32_t U = 16 << 16;
    if (zrun.cpu_mark_cycles[2] > zrun.cpu_mark_cycles[0]) {
        zrun.cpu_fraction_prev = zrun.cpu_fraction;
        zrun.cpu_fraction =
            cycles_2_frame_capacity(int64_t(zrun.cpu_mark_cycles[2] - zrun.cpu_mark_cycles[0]));
        U = zrun.cpu_fraction > zrun.cpu_fraction_prev ? zrun.cpu_fraction : zrun.cpu_fraction_prev;
    }
    int marked_ms = vull_ms_between(zrun.cpu_mark_ms[0], zrun.cpu_mark_ms[2]);
    if (marked_ms < 0) return;

    // With the host's frame-rate control off the host counts as keeping up; so
    // it does under the input script, where a pass is a frame however long it takes.
    int H = 0;
    if (app.host_framerate_control && !vull_script_on()) {
        int sleep =
            vull_is_app_active() ? cconfig.foreground_sleep_ms : cconfig.background_sleep_ms;
        H = sleep + marked_ms +
            (zrun.last_draw_ms > 0 ? zrun.last_draw_ms : 0) + zrun.penalty;
    } else {
        A = 10000;
    }
    if (app.halve_rate_request && pstate.fps == pstate.target_fps) {
        app.halve_rate_request = 0;
        pstate.fps /= 2;
        return;
    }
    app.halve_rate_request = 0;
    int now = vull_get_time();
    if (pstate.fps == 60 && pstate.target_fps == 60 && A < 60) {
        pstate.fps = 30;
        if (vull_is_app_active() && vull_ms_between(zrun.last_lowering_ms, now) < 2000) {
            int p = zrun.penalty < 4 ? zrun.penalty : 4;
            zrun.penalty = p + 1;
        }
        zrun.last_lowering_ms = now;
        return;
    }
    if (pstate.fps < pstate.target_fps && A >= pstate.target_fps &&
        (pstate.target_fps == 30 || H < 17)) {
        if (U <= 64511) pstate.fps = pstate.target_fps;
    }
}

/* ---- performance ring ---- */

void record_resource_data() {
    int32_t *r = app.perf[app.perf_index & (Z6_PERF_RECORDS - 1)];
    int64_t mem = memory_in_use();
    if (mem < 0) mem = 0;
    if (mem > 0x200000) mem = 0x200000;
    r[Z6_PERF_MEMORY] = static_cast<int32_t>(mem * 64);
    r[Z6_PERF_SCRIPT_CPU] = cycles_2_frame_capacity(get_cpu_cycles_since_flip(0));
    r[Z6_PERF_SYSTEM_CPU] = cycles_2_frame_capacity(get_cpu_cycles_since_flip(1));
    r[Z6_PERF_COLOUR] = app.halve_rate_request ? 7 : (pstate.fps < pstate.target_fps ? 14 : 6);
    r[Z6_PERF_ACCUMULATOR] = app.frame_accumulator;
    r[Z6_PERF_HOST_FPS] = vull_get_fps();
    app.perf_index = (app.perf_index + 1) & (Z6_PERF_RECORDS - 1);
    std::memset(app.perf[app.perf_index], 0, sizeof app.perf[0]);
}

void draw_resource_data(vull_bitmap *bmp) {
    if (bmp == nullptr || pstate.machine_mode != 1 || !pstate.cart_code_running) return;
    draw_tinted_rect_adaptive(bmp, 60, 4, 123, 26, 0);
    vull_set_clip(bmp, 60, 4, 124, 27);
    for (int i = 0; i < Z6_PERF_RECORDS; i++) {
        const int32_t *r = app.perf[(app.perf_index + i) & (Z6_PERF_RECORDS - 1)];
        int x = 60 + i;
        if (i > 0)
            vull_putpixel(bmp, x, r[Z6_PERF_ACCUMULATOR] / 32768 + 2,
                          r[Z6_PERF_ACCUMULATOR] < 0x20000 ? 2 : 8);
        vull_putpixel(bmp, x, 19 - r[Z6_PERF_SKIPPED], 2);
        int64_t c = r[Z6_PERF_SCRIPT_CPU];
        if (c < 0) c = 0;
        if (c > 0x17fff) c = 0x17fff;
        vull_putpixel(bmp, x, 19 - static_cast<int>(c * 16 / 98304),
                      r[Z6_PERF_COLOUR] ? r[Z6_PERF_COLOUR] : 1);
    }
    const int32_t *newest =
        app.perf[(app.perf_index + Z6_PERF_RECORDS - 1) & (Z6_PERF_RECORDS - 1)];
    char text[64];
    if (vull_get_key_state(225)) {
        std::snprintf(text, sizeof text, "%d/%d %3.1f fps", pstate.fps, pstate.target_fps,
                      double(newest[Z6_PERF_HOST_FPS]));
    } else {
        int64_t sum = 0;
        for (auto &r : app.perf) sum += r[Z6_PERF_SCRIPT_CPU];
        std::snprintf(text, sizeof text, "%d/%d %1.2f %1.2f", pstate.fps, pstate.target_fps,
                      newest[Z6_PERF_SCRIPT_CPU] / 65536.0, sum / 64.0 / 65536.0);
    }
    vull_draw_text_ex(bmp, text, pstate.font_pod ? pstate.font_pod : vull_font1, 63, 20,
                      VULL_TEXT_TINT, pstate.fps < pstate.target_fps ? 8 : 13);
    vull_reset_clip(bmp);
    vull_rect(bmp, 59, 3, 124, 27, 0);
}

static void spinner_cell(vull_bitmap *bmp, int cx, int cy, int colour) {
    vull_rectfill(bmp, cx - 1, cy - 1, cx + 1, cy + 1, 0);
    vull_putpixel(bmp, cx, cy, static_cast<uint32_t>(colour));
}

void draw_cpu_spinner(vull_bitmap *bmp) {
    if (bmp == nullptr || !app.cart_has_draw || pstate.cart_frame < 240) return;
    if (pstate.machine_mode != 1 || !pstate.cart_code_running) return;
    if (cycles_2_frame_capacity(get_cpu_cycles_since_flip(0)) < 0x780000) return;
    int32_t t = vull_get_time() / 120;
    static constexpr int32_t PA[3] = {41205, 43215, 45225}, PK[3] = {82, 86, 90};
    static constexpr int32_t QA[3] = {16, 24, 32}, QK[3] = {8, 12, 16};
    for (int k = 0; k < 3; k++)
        for (int col = 0; col < 3; col++) {
            int cx = 4 + 2 * col, cy = 4 + 2 * k;
            // wrapping 32-bit arithmetic, as the pattern was designed with
            int32_t P = int32_t(uint32_t(PA[col]) * uint32_t(t) + 103u +
                                uint32_t(PK[col]) * uint32_t(t) * uint32_t(k));
            int32_t m = P % 4701;
            if ((m - m / 97) & 4) spinner_cell(bmp, cx, cy, int(vull_random(2)) * 2 + 12);
            int32_t Q = int32_t(uint32_t(QA[col]) * uint32_t(t) + 103u +
                                uint32_t(QK[col]) * uint32_t(t) * uint32_t(k));
            if (((Q % 4701) % 101) & 8) spinner_cell(bmp, cx, cy, 7);
        }
}
