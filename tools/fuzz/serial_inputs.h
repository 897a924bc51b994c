// Feeds one untrusted input to the serial channels as a cart would drive them:
// transfers on any channel with any address and length, settings texts, frame
// ends, dropped files and the audio hook. Used by fuzz_serial and the replay test.
#pragma once
#include <cstddef>
#include <cstdint>

int serial_hostile_input(const uint8_t *data, size_t size);
