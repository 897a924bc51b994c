// Undo stack of byte patches: patch layout, history walks, and random edit
// sessions whose every state must come back exactly.
#include "engine/undo.h"
#include "engine/disk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

cbuffer *make(const std::string &s) {
    cbuffer *b = vull_create_buffer((int)s.size());
    if (!s.empty()) cbuffer_add_data(b, s.data(), (int)s.size());
    return b;
}

std::string str(cbuffer *b) {
    return b ? std::string((const char *)b->data, (size_t)b->length) : std::string("<null>");
}

std::vector<int32_t> words(cbuffer *b, int n) {
    std::vector<int32_t> w(n);
    std::memcpy(w.data(), b->data, 4 * (size_t)n);
    return w;
}

struct stack_guard {
    vull_undo_stack *s = vull_create_undo_stack();
    ~stack_guard() { vull_destroy_undo_stack(s); }
};

} // namespace

TEST(Undo, PushUndoRedoWalk) {
    stack_guard g;
    EXPECT_EQ(vull_undo(g.s), nullptr);
    EXPECT_EQ(vull_redo(g.s), nullptr);
    EXPECT_EQ(vull_push_undo_state(make("hello"), g.s, 0), 0);
    EXPECT_EQ(vull_push_undo_state(make("hello"), g.s, 0), 0);
    EXPECT_EQ(vull_push_undo_state(make("help!"), g.s, 0), 1);
    EXPECT_EQ(vull_push_undo_state(make("help!!"), g.s, 0), 1);
    EXPECT_EQ(str(vull_undo(g.s)), "help!");
    EXPECT_EQ(str(vull_undo(g.s)), "hello");
    EXPECT_EQ(vull_undo(g.s), nullptr);
    EXPECT_EQ(str(g.s->current_state), "hello");
    EXPECT_EQ(str(vull_redo(g.s)), "help!");
    // A push after an undo drops the redo history.
    EXPECT_EQ(vull_push_undo_state(make("x"), g.s, 0), 1);
    EXPECT_EQ(vull_redo(g.s), nullptr);
    EXPECT_EQ(str(vull_undo(g.s)), "help!");
    EXPECT_EQ(str(vull_undo(g.s)), "hello");

    vull_clear_undo_stack(g.s);
    EXPECT_EQ(vull_undo(g.s), nullptr);
    EXPECT_EQ(vull_push_undo_state(make("fresh"), g.s, 0), 0);

    // An empty state inside a history is kept like any other.
    EXPECT_EQ(vull_push_undo_state(make(""), g.s, 0), 1);
    EXPECT_EQ(vull_push_undo_state(make("again"), g.s, 0), 1);
    EXPECT_EQ(str(vull_undo(g.s)), "");
    EXPECT_EQ(str(vull_undo(g.s)), "fresh");
    vull_destroy_undo_stack(nullptr);
    vull_clear_undo_stack(nullptr);
}

TEST(Undo, PatchLayout) {
    // help! back to hello: L 5, P 3, S 0, mask 0x03, bytes "lo", tail length 0.
    cbuffer *a = make("help!"), *b = make("hello");
    cbuffer *p = generate_patch(a, b, 0);
    ASSERT_EQ(p->length, 12 + 1 + 2 + 4);
    EXPECT_EQ(words(p, 3), (std::vector<int32_t>{5, 3, 0}));
    EXPECT_EQ(p->data[12], 0x03);
    EXPECT_EQ(std::string((char *)p->data + 13, 2), "lo");
    cbuffer *r = apply_patch(p, a);
    EXPECT_EQ(str(r), "hello");
    for (cbuffer *x : {a, b, p, r}) vull_destroy_buffer(x);

    // abXdef back to abcdef: the suffix stops at half the head.
    a = make("abXdef"), b = make("abcdef");
    p = generate_patch(a, b, 0);
    EXPECT_EQ(words(p, 3), (std::vector<int32_t>{6, 2, 3}));
    EXPECT_EQ(p->data[12], 0x01);
    EXPECT_EQ(p->data[13], 'c');
    for (cbuffer *x : {a, b, p}) vull_destroy_buffer(x);

    // A state that grew: the patch back to ab has no mask.
    a = make("abcd"), b = make("ab");
    p = generate_patch(a, b, 0);
    EXPECT_EQ(p->length, 16);
    EXPECT_EQ(words(p, 3), (std::vector<int32_t>{2, 2, 0}));
    r = apply_patch(p, a);
    EXPECT_EQ(str(r), "ab");
    for (cbuffer *x : {a, b, p, r}) vull_destroy_buffer(x);

    // Peeking copies the newest patch and leaves the buffer alone.
    stack_guard g;
    vull_push_undo_state(make("hello"), g.s, 0);
    vull_push_undo_state(make("help!"), g.s, 0);
    int before = g.s->undo_patches->length;
    cbuffer *peek = vull_undo_peek_patch(g.s->undo_patches);
    EXPECT_EQ(peek->length, before - 4);
    EXPECT_EQ(g.s->undo_patches->length, before);
    vull_destroy_buffer(peek);
    EXPECT_EQ(vull_undo_peek_patch(g.s->redo_patches), nullptr);
    EXPECT_EQ(vull_undo_peek_patch(nullptr), nullptr);
}

TEST(Undo, CompareLengthAndTail) {
    stack_guard g;
    vull_push_undo_state(make("abcdWXYZ"), g.s, 0);
    EXPECT_EQ(vull_push_undo_state(make("abcd1234"), g.s, -4), 0);
    EXPECT_EQ(vull_push_undo_state(make("abcd1234"), g.s, -100), 0);
    // A compare length beyond the states compares the whole state, no further.
    EXPECT_EQ(vull_push_undo_state(make("abcdWXYZ"), g.s, 1000), 0);
    EXPECT_EQ(vull_push_undo_state(make("abcdWXY!"), g.s, 1000), 1);

    // Only the tail changed: recorded, and undo brings the tail back whole.
    stack_guard t;
    t.s->tail_size = 24;
    std::string text = "some text";
    std::string tail1(24, 'a'), tail2(24, 'b');
    vull_push_undo_state(make(text + tail1), t.s, 0);
    EXPECT_EQ(vull_push_undo_state(make(text + tail2), t.s, 0), 1);
    cbuffer *peek = vull_undo_peek_patch(t.s->undo_patches);
    EXPECT_EQ(words(peek, 3), (std::vector<int32_t>{9, 9, 5})); // P covers the head, M < 0
    EXPECT_EQ(peek->length, 12 + 24 + 4);
    vull_destroy_buffer(peek);
    EXPECT_EQ(str(vull_undo(t.s)), text + tail1);
    EXPECT_EQ(str(vull_redo(t.s)), text + tail2);

    // A state shorter than the tail is refused and the history stays usable.
    EXPECT_EQ(vull_push_undo_state(make("short"), t.s, 0), 0);
    EXPECT_EQ(str(t.s->current_state), text + tail2);
    EXPECT_EQ(str(vull_undo(t.s)), text + tail1);
}

TEST(Undo, RandomEditSessionsReplayExactly) {
    std::mt19937 rng(1234);
    for (int tail : {0, 1, 24}) {
        for (int session = 0; session < 20; session++) {
            stack_guard g;
            g.s->tail_size = tail;
            std::string cur(tail + rng() % 40, 'x');
            for (char &c : cur) c = (char)('a' + rng() % 4);
            std::vector<std::string> history{cur};
            vull_push_undo_state(make(cur), g.s, 0);
            for (int step = 0; step < 60; step++) {
                std::string next = cur;
                int head = (int)next.size() - tail;
                int at = head ? (int)(rng() % (head + 1)) : 0;
                switch (rng() % 4) {
                case 0: next.insert(at, std::string(rng() % 9, (char)('a' + rng() % 4))); break;
                case 1: next.erase(at, std::min<int>(head - at, rng() % 9)); break;
                case 2:
                    for (int k = at; k < head && k < at + 3; k++) next[k] = (char)('a' + rng() % 4);
                    break;
                default:
                    for (int k = 0; k < tail; k++)
                        next[next.size() - 1 - k] = (char)('0' + rng() % 10);
                }
                int recorded = vull_push_undo_state(make(next), g.s, 0);
                EXPECT_EQ(recorded, next != cur ? 1 : 0);
                if (recorded) history.push_back(next);
                cur = next;
            }
            // Walk all the way back, all the way forward, then half back again.
            for (size_t i = history.size() - 1; i > 0; i--)
                ASSERT_EQ(str(vull_undo(g.s)), history[i - 1]) << "tail " << tail << " step " << i;
            EXPECT_EQ(vull_undo(g.s), nullptr);
            for (size_t i = 1; i < history.size(); i++) ASSERT_EQ(str(vull_redo(g.s)), history[i]);
            EXPECT_EQ(vull_redo(g.s), nullptr);
            for (size_t i = history.size() - 1; i > history.size() / 2; i--)
                ASSERT_EQ(str(vull_undo(g.s)), history[i - 1]);
        }
    }
}

TEST(Undo, InterleavedPushUndoRedoFollowTheModel) {
    // A model history with a position: a push drops everything after the
    // position, undo and redo move it. The stack must agree after every step.
    std::mt19937 rng(77);
    for (int tail : {0, 24}) {
        stack_guard g;
        g.s->tail_size = tail;
        std::string first(tail + 5, 'a');
        std::vector<std::string> model{first};
        size_t at = 0;
        vull_push_undo_state(make(first), g.s, 0);
        for (int step = 0; step < 400; step++) {
            int op = (int)(rng() % 5);
            if (op < 3) {
                std::string next = model[at];
                int head = (int)next.size() - tail;
                int pos = (int)(rng() % (head + 1));
                if (op == 0) next.insert(pos, std::string(1 + rng() % 4, (char)('a' + rng() % 3)));
                if (op == 1 && head > 0) next.erase(pos, 1 + rng() % 3);
                if (op == 2 && tail > 0)
                    next[next.size() - 1 - rng() % tail] = (char)('0' + rng() % 10);
                int recorded = vull_push_undo_state(make(next), g.s, 0);
                ASSERT_EQ(recorded, next != model[at] ? 1 : 0) << step;
                if (recorded) {
                    model.resize(at + 1);
                    model.push_back(next);
                    at++;
                }
            } else if (op == 3) {
                cbuffer *s = vull_undo(g.s);
                if (at == 0) {
                    ASSERT_EQ(s, nullptr) << step;
                } else {
                    ASSERT_EQ(str(s), model[--at]) << step;
                }
            } else {
                cbuffer *s = vull_redo(g.s);
                if (at + 1 == model.size()) {
                    ASSERT_EQ(s, nullptr) << step;
                } else {
                    ASSERT_EQ(str(s), model[++at]) << step;
                }
            }
            ASSERT_EQ(str(g.s->current_state), model[at]) << step;
        }
    }
}
