// The player shell's readers of untrusted bytes, one entry each for the
// libFuzzer targets and the corpus replay: console config.txt lines with the
// command line, and the data file's entries.
#pragma once
#include <cstddef>
#include <cstdint>

// Splits the bytes into lines and words: every line goes to the console's
// config reader, the words to the option scan; the settings must end in range.
int shell_fuzz_config(const uint8_t *data, size_t size);
// Reads the bytes as data.pod and opens its entries as the player does.
int shell_fuzz_data_file(const uint8_t *data, size_t size);
