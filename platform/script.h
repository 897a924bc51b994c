// The test input script: input and window dumps tied to frame numbers, so a
// window test does the same thing at the same console frame on any machine.
//
// One step a line; blank lines and lines starting with '#' are skipped:
//   frame N keydown NAME | keyup NAME        a key (Escape, Down, z, LCtrl, F1 ...)
//   frame N text WORDS                       typed text, one character an event
//   frame N mousemove X Y                    the pointer, in window pixels
//   frame N mousedown B | mouseup B          B: left, middle or right
//   frame N dump PATH                        the window's picture as a PNG
//   frame N quit                             the quit event
// A frame is one pass of the engine's frame loop, counted from 1. Steps of
// frame N are pushed into the back end's event queue at the start of pass N,
// so they take the path real input takes; frames may repeat but not go back.
// While a script runs, the keys held, the pointer and the pump's clock are
// the script's, the pump does not sleep, and the console advances by exactly
// one frame a pass (the shell asks vull_script_on).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int VULL_SCRIPT_MAX_BYTES = 1 << 16; // a longer file is refused
constexpr int VULL_SCRIPT_MAX_LINE = 512;      // characters a line
constexpr int VULL_SCRIPT_MAX_FRAME = 1000000;
constexpr int VULL_SCRIPT_MS_PER_FRAME = 33; // the pump's clock while a script runs

enum class vull_script_op : uint8_t {
    key_down,
    key_up,
    text,
    motion,
    button_down,
    button_up,
    dump,
    quit
};

struct vull_script_step {
    int32_t frame;
    vull_script_op op;
    int32_t code;     // scancode, or button (1 left, 2 middle, 3 right)
    int32_t x, y;     // pointer position
    std::string text; // typed text, or the dump's path
};

// Writes a picture (0xAARRGGBB rows, w x h) to path; 0 when written.
using vull_script_saver = int (*)(const char *path, const uint32_t *argb, int w, int h);

// Parses a whole script; false with "line N: what is wrong" in error.
bool vull_script_parse(const char *bytes, size_t n, std::vector<vull_script_step> &steps,
                       std::string &error);
// Reads and parses the script at path and turns it on; dumps go through save.
// False with a message naming the file in error (the script stays off).
bool vull_script_start(const char *path, vull_script_saver save, std::string &error);
void vull_script_stop();
bool vull_script_on();
int64_t vull_script_frame(); // passes begun; 0 before the first

// The start of a frame loop pass: pushes the steps of this pass.
void vull_script_pass();
// For the back end's presentation: true while a dump waits for a picture; it
// then hands the picture it presents to vull_script_picture, which writes it
// to every waiting dump's path (the first picture presented at or after the
// dump's frame).
bool vull_script_dump_wanted();
void vull_script_picture(const uint32_t *argb, int w, int h);
