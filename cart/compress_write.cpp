// Code compression: the pxa block writer. The compressor's choices decide the
// bytes of every saved PNG cart and ROM image, so its scoring rules are kept
// exactly, not merely "good".
#include "cart/compress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "cart/compress_mtf.h"

namespace {

constexpr int MAX_DISTANCE = 32767;
constexpr int RAW_SEGMENT_BYTES = 31; // a segment is checked once it exceeds this

int table_index(const mtf_table &t, uint8_t c) {
    return int(std::find(t.begin(), t.end(), c) - t.begin());
}

// Literal width n: index ranges 0-15, 16-47, 48-111, 112-239, 240-255.
constexpr int literal_width(int index) {
    int n = 4;
    while (index >= (2 << n) - 16) n++;
    return n;
}
static_assert(literal_width(15) == 4 && literal_width(16) == 5 && literal_width(47) == 5 &&
              literal_width(111) == 6 && literal_width(239) == 7 && literal_width(240) == 8);

// ---- bit writer: LSB first, into a growable byte vector ----
struct bit_writer {
    std::vector<uint8_t> bytes;
    int64_t pos = 0; // bits written

    void put(int bit) {
        size_t byte = size_t(pos >> 3);
        if (byte >= bytes.size()) bytes.push_back(0);
        if (bit) bytes[byte] |= uint8_t(1 << (pos & 7));
        pos++;
    }
    void put_bits(uint32_t v, int n) {
        for (int i = 0; i < n; i++) put(int((v >> i) & 1));
    }
    // Drops everything from bit position p on.
    void rewind(int64_t p) {
        pos = p;
        bytes.resize(size_t((p + 7) >> 3));
        if (p & 7) bytes.back() &= uint8_t((1 << (p & 7)) - 1);
    }
    int byte_index() const { return int(pos >> 3); }
};

// ---- the hash lookup: positions of every 3-character hash, in order ----
// One array sorted by hash (a counting sort), each hash's positions in text
// order: made at its full size once, so a call allocates nothing.
struct hash_lookup {
    static constexpr int HASHES = 4096;
    // Up to this many positions a sort of (hash, position) keys is cheaper than
    // a pass over every hash: a cart's hash text or a short program.
    static constexpr int FEW = 512;
    std::array<uint32_t, HASHES + 1> start{}; // hash h's positions: [start[h], start[h + 1])
    std::vector<uint16_t> pos = std::vector<uint16_t>(PXA_TEXT_MAX);
    static int hash(const uint8_t *t) { return (7 * t[0] + 1503 * t[1] + 51717 * t[2]) & 0xfff; }
    void build(const uint8_t *t, int len) {
        if (len - 2 <= FEW) return build_few(t, len);
        start.fill(0);
        for (int p = 0; p + 2 < len; p++) start[size_t(hash(t + p)) + 1]++;
        for (int h = 0; h < HASHES; h++) start[size_t(h) + 1] += start[size_t(h)];
        std::array<uint32_t, HASHES> next;
        std::copy(start.begin(), start.end() - 1, next.begin());
        for (int p = 0; p + 2 < len; p++) pos[next[size_t(hash(t + p))]++] = uint16_t(p);
    }
    // The same buckets for a short text, setting the bounds of the hashes it
    // holds only: no other bucket is ever asked for, since every position
    // looked up has three characters.
    void build_few(const uint8_t *t, int len) {
        std::array<uint32_t, FEW> keys;
        int n = 0;
        for (int p = 0; p + 2 < len; p++)
            keys[size_t(n++)] = uint32_t(hash(t + p)) << 16 | uint32_t(p);
        std::sort(keys.begin(), keys.begin() + n);
        for (int i = 0; i < n;) {
            uint32_t h = keys[size_t(i)] >> 16;
            start[h] = uint32_t(i);
            for (; i < n && keys[size_t(i)] >> 16 == h; i++)
                pos[size_t(i)] = uint16_t(keys[size_t(i)]);
            start[h + 1] = uint32_t(i);
        }
    }
    std::span<const uint16_t> bucket(int h) const {
        return {pos.data() + start[size_t(h)], pos.data() + start[size_t(h) + 1]};
    }
};

struct match {
    int length = 0;
    int distance = 0;
    int score = 0;
};

int distance_groups(int d) { return d < 32 ? 1 : d < 1024 ? 2 : 3; }

// The best earlier occurrence of text[p..]: highest score, first one on ties.
match find_repeatable_block(const hash_lookup &h, const uint8_t *t, int len, int p) {
    match best;
    if (len - p < 3) return best;
    const std::span<const uint16_t> b = h.bucket(hash_lookup::hash(t + p));
    // Positions are sorted: start at the first one inside the window.
    auto it = std::lower_bound(b.begin(), b.end(), uint16_t(std::max(0, p - MAX_DISTANCE)));
    for (; it != b.end() && *it < p; ++it) {
        int q = *it;
        int period = p - q;
        int n = 0;
        // Past p the source repeats the last period characters (overlapping copy).
        while (p + n < len && t[p + n] == t[q + (n % period)]) n++;
        int g = distance_groups(period);
        int cost = std::min(g, 2) + 5 * g + 4;
        int score = n * 256 / cost;
        if (score > best.score) best = {n, period, score};
    }
    return best;
}

int literal_score(int index) {
    if (index < 16) return 42;
    return 256 / (2 * literal_width(index) - 2);
}

void write_literal(bit_writer &w, mtf_table &t, uint8_t c) {
    int i = table_index(t, c);
    int n = literal_width(i);
    w.put(1);
    for (int k = 0; k < n - 4; k++) w.put(1);
    w.put(0); // u is at most 4, well below 16: the terminating zero is always written
    w.put_bits(uint32_t(i - ((1 << n) - 16)), n);
    move_to_front(t, i);
}

void write_backref(bit_writer &w, int distance, int length) {
    int d = distance - 1;
    w.put(0);
    if (d < 32) {
        w.put(1), w.put(1), w.put_bits(uint32_t(d), 5);
    } else if (d < 1024) {
        w.put(1), w.put(0), w.put_bits(uint32_t(d), 10);
    } else {
        w.put(0), w.put_bits(uint32_t(d), 15);
    }
    int rest = length - 3;
    while (rest >= 7) w.put_bits(7, 3), rest -= 7;
    w.put_bits(uint32_t(rest), 3);
}

} // namespace

int pxa_compress(const char *text_in, uint8_t *out, int length) {
    int len = std::min(length, PXA_TEXT_MAX);
    if (len <= 0) return 0;
    // A private copy: the caller's text may be the code buffer being rebuilt.
    std::vector<uint8_t> text(text_in, text_in + len);
    const uint8_t *t = text.data();
    static hash_lookup lookup; // kept between calls
    lookup.build(t, len);

    bit_writer w;
    w.bytes.reserve(size_t(len) + 64);
    w.bytes.assign(PXA_HEADER_SIZE, 0); // the header, filled in at the end
    w.pos = PXA_HEADER_SIZE * 8;
    mtf_table table = identity_table();
    mtf_table saved = table;
    int64_t check_bit = w.pos;
    int check_text = 0;
    bool prev_raw = false;

    int p = 0;
    while (p < len) {
        match m = find_repeatable_block(lookup, t, len, p);
        int lit = literal_score(table_index(table, t[p]));
        bool literal = m.length < 3 || m.score <= lit;
        if (!literal && m.score < 128) {
            int better = m.score * 6 / 5;
            if (find_repeatable_block(lookup, t, len, p + 1).score > better ||
                find_repeatable_block(lookup, t, len, p + 2).score > better)
                literal = true;
        }
        if (literal) {
            write_literal(w, table, t[p]);
            p++;
        } else {
            write_backref(w, m.distance, m.length);
            p += m.length;
        }

        int used = w.byte_index() - int(check_bit >> 3);
        int consumed = p - check_text;
        if (used > RAW_SEGMENT_BYTES || p >= len) {
            if (used > consumed + (prev_raw ? 0 : 3)) {
                // Coding cost more than the characters: store them verbatim.
                if (prev_raw) {
                    w.rewind(check_bit - 8); // reopen the previous run
                } else {
                    w.rewind(check_bit);
                    w.put(0), w.put(1), w.put(0), w.put_bits(0, 10);
                }
                for (int k = check_text; k < p; k++) w.put_bits(t[k], 8);
                w.put_bits(0, 8);
                table = saved;
                prev_raw = true;
            } else {
                saved = table;
                prev_raw = false;
            }
            check_bit = w.pos;
            check_text = p;
        }
    }

    int total = int(w.bytes.size());
    if (total > len) { // the block would be longer than the text
        std::memcpy(out, t, size_t(len));
        return len;
    }
    std::memcpy(w.bytes.data(), PXA_MAGIC, 4);
    w.bytes[4] = uint8_t(len >> 8), w.bytes[5] = uint8_t(len);
    w.bytes[6] = uint8_t(total >> 8), w.bytes[7] = uint8_t(total);
    std::memcpy(out, w.bytes.data(), size_t(total));
    return total;
}

int compress_mini(const char *text, uint8_t *out, int length) {
    return pxa_compress(text, out, length);
}
