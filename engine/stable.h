// String tables: keys mapped to ordered lists of strings, read from small
// text files in a block form or a key-value form (.nfo cart information).
#pragma once
#include <cstdint>

struct vull_file;

struct vull_stable {
    int32_t num_keys;    // keys in the table
    int32_t num_strings; // strings of all keys together
    char **keys;         // key texts, in the order first read
    char **strings;      // all strings; one key's strings lie next to each other
    int32_t *first;      // per key: index of its first string in strings
};

// Shared text of one blank, returned for every missing entry.
extern const char vull_no_stable_string[];

vull_stable *vull_load_stable(const char *path);        // block form; null when it cannot be opened
vull_stable *vull_load_stable_from_file(vull_file *f);  // block form from an open file
vull_stable *vull_load_stable_config(const char *path); // key-value form; null when unopenable
// The index-th string (from 0) of the key; vull_no_stable_string when missing.
const char *vull_sts(const vull_stable *table, const char *key, int index);
int cdict_entries(const vull_stable *table, const char *key); // 0 when missing
void vull_destroy_stable(vull_stable *table);                 // accepts null
int is_key_char(int c); // 1 for 'A'-'Z', 'a'-'z', '0'-'9' and '_'
