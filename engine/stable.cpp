// String tables.
//
// Arrays grow to the next power of two when their count reaches one, so the
// record needs no capacity fields.
#include "engine/stable.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/vull.h"

#include <cstring>

const char vull_no_stable_string[] = " ";

namespace {

constexpr int STABLE_LINE = 1024; // the line reader's buffer: 1023 characters

char *dup_range(const char *s, int n) {
    char *t = (char *)vull_calloc(n + 1);
    if (t && n > 0) std::memcpy(t, s, (size_t)n);
    return t;
}

// Makes room for one more element in an array holding count of them.
bool grow(void **array, int count, int elem_size) {
    // Capacity is 4 for 1-4 elements, then the next power of two.
    if (count > 0 && (count < 4 || (count & (count - 1)))) return true;
    int bytes;
    if (!vull_checked_size(count ? 2 * (int64_t)count : 4, elem_size, 0, &bytes)) return false;
    void *p = vull_realloc(*array, bytes);
    if (!p) return false;
    *array = p;
    return true;
}

/*
** A key equal to the key added last continues that key's list; any other is
** appended, even when it occurred before (lookups then find the first).
*/
bool add_key(vull_stable *t, const char *key, int n) {
    if (t->num_keys > 0) {
        const char *last = t->keys[t->num_keys - 1];
        if ((int)std::strlen(last) == n && std::memcmp(last, key, (size_t)n) == 0) return true;
    }
    if (!grow((void **)&t->keys, t->num_keys, (int)sizeof(char *))) return false;
    if (!grow((void **)&t->first, t->num_keys, (int)sizeof(int32_t))) return false;
    char *k = dup_range(key, n);
    if (!k) return false;
    t->keys[t->num_keys] = k;
    t->first[t->num_keys] = t->num_strings;
    t->num_keys++;
    return true;
}

bool add_string(vull_stable *t, const char *s, int n) {
    if (t->num_keys == 0) return true; // strings before any key belong to nothing
    if (!grow((void **)&t->strings, t->num_strings, (int)sizeof(char *))) return false;
    char *str = dup_range(s, n);
    if (!str) return false;
    t->strings[t->num_strings++] = str;
    return true;
}

vull_stable *new_table() {
    auto *t = (vull_stable *)vull_calloc((int)sizeof(vull_stable));
    if (t) vull_items_created++;
    return t;
}

// Skips to the first identifier character; its index, or -1 when a '/' or
// the end of the line comes first.
int find_key_start(const char *line) {
    for (int i = 0; line[i]; i++) {
        if (line[i] == '/') return -1;
        if (is_key_char((unsigned char)line[i])) return i;
    }
    return -1;
}

int key_length(const char *s) {
    int n = 0;
    while (s[n] && is_key_char((unsigned char)s[n])) n++;
    return n;
}

// One line of the block form; *in_block carries the state between lines.
bool block_line(vull_stable *t, const char *line, int *in_block) {
    if (!line[0] || line[0] == '/') return true;
    if (!*in_block) {
        int k = find_key_start(line);
        if (k < 0) return true;
        *in_block = 1;
        return add_key(t, line + k, key_length(line + k));
    }
    if (std::strchr(line, '}')) {
        *in_block = 0;
        return true;
    }
    const char *p = line;
    while ((p = std::strchr(p, '"'))) {
        const char *s = p + 1;
        const char *e = std::strchr(s, '"');
        int n = e ? (int)(e - s) : (int)std::strlen(s);
        if (!add_string(t, s, n)) return false;
        if (!e) break;
        p = e + 1;
        if (*p == '/') break;
    }
    return true;
}

bool config_line(vull_stable *t, const char *line) {
    if (!line[0] || line[0] == '/') return true;
    int k = find_key_start(line);
    if (k < 0) return true;
    int n = key_length(line + k);
    if (!add_key(t, line + k, n)) return false;
    const char *p = line + k + n;
    if (!*p) return true;
    if (p[0] == ':' && p[1] == ':') {
        while (*p && (vull_is_blank(*p) || *p == ':')) p++;
        while (*p) {
            const char *s = p;
            while (*p && !vull_is_blank(*p)) p++;
            if (!add_string(t, s, (int)(p - s))) return false;
            while (*p && vull_is_blank(*p)) p++;
        }
        return true;
    }
    if (*p == ':' || vull_is_blank(*p)) {
        while (*p && (vull_is_blank(*p) || *p == ':')) p++;
        return !*p || add_string(t, p, (int)std::strlen(p));
    }
    return add_string(t, p, (int)std::strlen(p));
}

// Reads every line of f with one of the line parsers; null (table freed) on
// running out of memory, so a caller never sees a half-read table.
template <typename F> vull_stable *read_lines(vull_file *f, F parse) {
    vull_stable *t = new_table();
    if (!t) return nullptr;
    char line[STABLE_LINE];
    while (vull_fgets_sensitive(line, STABLE_LINE, f)) {
        if (!parse(t, line)) {
            vull_destroy_stable(t);
            return nullptr;
        }
    }
    return t;
}

} // namespace

int is_key_char(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

vull_stable *vull_load_stable_from_file(vull_file *f) {
    if (!f) return nullptr;
    int in_block = 0;
    return read_lines(
        f, [&](vull_stable *t, const char *line) { return block_line(t, line, &in_block); });
}

vull_stable *vull_load_stable(const char *path) {
    if (!path) return nullptr;
    vull_file *f = vull_fopen(path, "r");
    if (!f) return nullptr;
    vull_stable *t = vull_load_stable_from_file(f);
    vull_fclose(f);
    return t;
}

vull_stable *vull_load_stable_config(const char *path) {
    if (!path) return nullptr;
    vull_file *f = vull_fopen(path, "r");
    if (!f) return nullptr;
    vull_stable *t = read_lines(f, config_line);
    vull_fclose(f);
    return t;
}

// Index of the first key equal to key, or -1.
static int find_key(const vull_stable *t, const char *key) {
    if (!t || !key) return -1;
    for (int i = 0; i < t->num_keys; i++)
        if (std::strcmp(t->keys[i], key) == 0) return i;
    return -1;
}

static int key_end(const vull_stable *t, int k) {
    return k + 1 < t->num_keys ? t->first[k + 1] : t->num_strings;
}

const char *vull_sts(const vull_stable *table, const char *key, int index) {
    int k = find_key(table, key);
    // Compared as a count, so a huge index cannot wrap past the key's strings.
    if (k < 0 || index < 0 || index >= key_end(table, k) - table->first[k])
        return vull_no_stable_string;
    return table->strings[table->first[k] + index];
}

int cdict_entries(const vull_stable *table, const char *key) {
    int k = find_key(table, key);
    return k < 0 ? 0 : key_end(table, k) - table->first[k];
}

void vull_destroy_stable(vull_stable *table) {
    if (!table) return;
    for (int i = 0; i < table->num_keys; i++) vull_free(table->keys[i]);
    for (int i = 0; i < table->num_strings; i++) vull_free(table->strings[i]);
    vull_free(table->keys);
    vull_free(table->strings);
    vull_free(table->first);
    vull_free(table);
    vull_items_created--;
}
