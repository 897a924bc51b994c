// Text buffer field: lines and offsets, edits at the ends of the text and of
// the capacity, scrolling at the ends of the view, snapshots with undo and
// redo, search, clipboard, drawing and the key handler.
#include "engine/ctext.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/text.h"
#include "engine/undo.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct field {
    ctext *r;
    explicit field(const std::string &text, int capacity = 1000) {
        r = vull_create_ctext(nullptr, capacity);
        EXPECT_NE(r, nullptr);
        vull_clear_undo_stack(r->undo);
        std::strcpy(r->text, text.c_str());
        r->char_width = 4;
        r->line_height = 6;
        r->tab_width = 16;
        vull_backup_ctext(r);
    }
    ~field() { vull_destroy_ctext(r); }
    std::string text() const { return r->text; }
    void at(int cursor) { r->cursor = r->sel_start = r->sel_end = cursor; }
};

std::string lines(int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += "line " + std::to_string(i) + "\n";
    return s;
}

} // namespace

TEST(Ctext, LinesAndOffsets) {
    const char *t = "a\nb\nc";
    EXPECT_EQ(ctext_get_line_number_for_pos(t, 4), 2);
    EXPECT_EQ(ctext_get_line_number_for_pos(t, 0), 0);
    EXPECT_EQ(ctext_get_line_number_for_pos(t, 100), 2); // stops at the end of the text
    EXPECT_EQ(ctext_get_line_number_for_pos("", 5), 0);
    EXPECT_EQ(ctext_get_pos_for_line_number(t, 2), 4);
    EXPECT_EQ(ctext_get_pos_for_line_number(t, 7), 5);
    EXPECT_EQ(ctext_get_pos_for_line_number(t, 0), 0);
    EXPECT_EQ(ctext_get_pos_for_line_number(t, -3), 0);
    EXPECT_EQ(ctext_get_pos_for_line_number("", 1), 0);
    EXPECT_EQ(ctext_get_pos_for_line_number("x\n", 1), 2); // the empty last line
}

TEST(Ctext, PixelPositions) {
    field f("ab\tc\n\x80x\n");
    // a=0 b=4 tab to 16, c=16; second row: wide glyph is 8 wide, x at 8.
    f.at(3);
    int x, y;
    vull_get_ctextfield_cursor_pos(f.r, &x, &y);
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 0);
    f.at(6);
    vull_get_ctextfield_cursor_pos(f.r, &x, &y);
    EXPECT_EQ(x, 8);
    EXPECT_EQ(y, 6);
    EXPECT_EQ(get_line_x(f.r), 8);
    EXPECT_EQ(get_line_cpos(f.r), 1);
    f.at(100); // beyond the text: clamped to its end by the field's own calls
    EXPECT_EQ(get_line_cpos(f.r), 0);

    EXPECT_EQ(vull_get_ctextfield_pos_for_cursor(f.r, 5, 0), 1);
    EXPECT_EQ(vull_get_ctextfield_pos_for_cursor(f.r, 10, -4), 2); // y below 1: first row
    EXPECT_EQ(vull_get_ctextfield_pos_for_cursor(f.r, -9, 7), 5);  // x below 0: the row's start
    EXPECT_EQ(vull_get_ctextfield_pos_for_cursor(f.r, 7, 7), 5);   // inside the wide glyph
    EXPECT_EQ(vull_get_ctextfield_pos_for_cursor(f.r, 999, 7), 7); // past the row: its end
    EXPECT_EQ(vull_get_ctextfield_pos_for_cursor(f.r, 0, 999), 8); // past the last row
    EXPECT_EQ(line_x_to_cpos(f.r, 0, 12), 2);
}

TEST(Ctext, EditsAtTheEndsAndTheCapacity) {
    field f("hello", 8);
    f.at(5);
    EXPECT_EQ(ctext_insert_text_ex(f.r, "1234", 5, 1), 0); // 9 > 8: refused
    EXPECT_EQ(f.text(), "hello");
    EXPECT_EQ(f.r->cursor, 5);
    EXPECT_EQ(ctext_insert_text(f.r, "abc", 99), 8); // offset past the end: appended
    EXPECT_EQ(f.text(), "helloabc");
    ctext_insert_character(f.r, 'z'); // full
    EXPECT_EQ(f.text(), "helloabc");
    ctext_remove_text(f.r, 6, 100);
    EXPECT_EQ(f.text(), "helloa");
    ctext_remove_text(f.r, -5, 1);
    EXPECT_EQ(f.text(), "elloa");
    EXPECT_LE(f.r->cursor, 5);
    f.at(0);
    ctext_insert_character(f.r, 'H');
    EXPECT_EQ(f.text(), "Helloa");
    EXPECT_EQ(f.r->cursor, 1);

    // Carriage returns of pasted lines are dropped; the cursor skips only what stayed.
    field g("", 50);
    EXPECT_EQ(ctext_insert_text(g.r, "a\r\nb\r\n", 0), 4);
    EXPECT_EQ(g.text(), "a\nb\n");

    // Selection removal puts the ends in order.
    field s("0123456789");
    s.r->sel_start = 7;
    s.r->sel_end = 2;
    EXPECT_EQ(ctextfield_delete_selected(s.r), 1);
    EXPECT_EQ(s.text(), "01789");
    EXPECT_EQ(s.r->cursor, 2);
    EXPECT_EQ(ctextfield_delete_selected(s.r), 0);
}

TEST(Ctext, ScrollingAtTheEndsOfTheView) {
    field f(lines(60));
    f.r->element = nullptr;
    last_ctext_width = 128;
    last_ctext_height = 128;
    // Line 30 lies below the view: it becomes the last fully visible line.
    f.at(ctext_get_pos_for_line_number(f.r->text, 30));
    ctext_bound_scrolling_to_cursor(f.r, 0);
    EXPECT_EQ(f.r->scroll_y, 180 - (128 - 6));
    // A line already in view does not move the view.
    f.at(ctext_get_pos_for_line_number(f.r->text, 20));
    ctext_bound_scrolling_to_cursor(f.r, 0);
    EXPECT_EQ(f.r->scroll_y, 58);
    // Above the view: the line goes to the top; the top of the text never scrolls below 0.
    f.at(ctext_get_pos_for_line_number(f.r->text, 5));
    ctext_bound_scrolling_to_cursor(f.r, 0);
    EXPECT_EQ(f.r->scroll_y, 30);
    f.at(0);
    ctext_bound_scrolling_to_cursor(f.r, 52);
    EXPECT_EQ(f.r->scroll_y, 0);
    // The end of the text.
    f.at((int)std::strlen(f.r->text));
    ctext_bound_scrolling_to_cursor(f.r, 0);
    EXPECT_EQ(f.r->scroll_y, 360 - 122);
    // A margin puts the line that far from the top; tall fields use a third of their height.
    f.at(ctext_get_pos_for_line_number(f.r->text, 30));
    ctext_bound_scrolling_to_cursor(f.r, 52);
    EXPECT_EQ(f.r->scroll_y, 180 - 52);
    last_ctext_height = 300;
    ctext_bound_scrolling_to_cursor(f.r, 52);
    EXPECT_EQ(f.r->scroll_y, 180 - 100);

    // Horizontal: a long line scrolls so the cursor's character fits, and back.
    field w(std::string(100, 'x'));
    last_ctext_height = 128;
    w.at(100);
    ctext_bound_scrolling_to_cursor(w.r, 0);
    EXPECT_EQ(w.r->scroll_x, 400 + 4 - 128);
    w.at(10);
    ctext_bound_scrolling_to_cursor(w.r, 0);
    EXPECT_EQ(w.r->scroll_x, 40);
    w.at(0);
    ctext_bound_scrolling_to_cursor(w.r, 0);
    EXPECT_EQ(w.r->scroll_x, 0);
}

TEST(Ctext, SnapshotsUndoAndRedo) {
    field f("abc");
    // Moving the cursor alone adds no step.
    f.at(2);
    f.r->scroll_y = 12;
    vull_backup_ctext(f.r);
    EXPECT_EQ(ctext_undo(f.r), 0);
    EXPECT_EQ(f.text(), "abc");

    ctext_insert_character(f.r, ' '); // always snapshots first
    EXPECT_EQ(f.text(), "ab c");
    EXPECT_EQ(ctext_undo(f.r), 1);
    EXPECT_EQ(f.text(), "abc");
    EXPECT_EQ(f.r->cursor, 0); // the view of the snapshot that recorded this text
    EXPECT_EQ(ctext_redo(f.r), 1);
    EXPECT_EQ(f.text(), "ab c");
    EXPECT_EQ(f.r->cursor, 3);
    EXPECT_EQ(ctext_redo(f.r), 0);

    // The view-aware form records view changes.
    field v("abc");
    vull_backup_ctext_allow_view(v.r);
    v.r->scroll_x = 7;
    int before = v.r->undo->undo_patches->length;
    vull_backup_ctext_allow_view(v.r);
    EXPECT_GT(v.r->undo->undo_patches->length, before);

    EXPECT_EQ(restore_undo_ctext_state(nullptr, f.r), 0);
}

TEST(Ctext, RandomEditsReplayExactly) {
    std::mt19937 rng(99);
    field f("", 400);
    std::vector<std::string> states{f.text()};
    for (int i = 0; i < 300; i++) {
        int len = (int)f.text().size();
        vull_backup_ctext(f.r);
        if (rng() % 3 || len == 0) {
            std::string ins(1 + rng() % 5, (char)('a' + rng() % 26));
            if (rng() % 4 == 0) ins += '\n';
            ctext_insert_text_ex(f.r, ins.c_str(), (int)(rng() % (len + 1)), 0);
        } else {
            ctext_remove_text(f.r, (int)(rng() % len), 1 + (int)(rng() % 6));
        }
        if (f.text() != states.back()) states.push_back(f.text());
    }
    vull_backup_ctext(f.r);
    for (size_t i = states.size() - 1; i > 0; i--) {
        ASSERT_EQ(ctext_undo(f.r), 1);
        ASSERT_EQ(f.text(), states[i - 1]);
    }
    EXPECT_EQ(ctext_undo(f.r), 0);
    for (size_t i = 1; i < states.size(); i++) {
        ASSERT_EQ(ctext_redo(f.r), 1);
        ASSERT_EQ(f.text(), states[i]);
    }
}

TEST(Ctext, SnapshotFromALargerRecordIsCut) {
    field big(std::string(300, 'q'), 1000);
    field small("", 10);
    cbuffer *snap = big.r->undo->current_state;
    ASSERT_NE(snap, nullptr);
    EXPECT_EQ(restore_undo_ctext_state(snap, small.r), 1);
    EXPECT_EQ(small.text(), std::string(10, 'q'));
    EXPECT_LE(small.r->cursor, 10);
}

TEST(Ctext, SearchAndWordMovesStopAtTheEnds) {
    field f("foo bar foo baz");
    last_ctext_height = 128;
    std::strcpy(f.r->search_text, "foo");
    f.at(1);
    EXPECT_EQ(ctext_search_for_string(f.r, 1), 1);
    EXPECT_EQ(f.r->cursor, 8);
    EXPECT_EQ(f.r->sel_end, 11);
    EXPECT_EQ(ctext_search_for_string(f.r, 1), 1); // wraps to the first
    EXPECT_EQ(f.r->cursor, 0);
    EXPECT_EQ(ctext_search_for_string(f.r, -1), 0); // nothing before the first: stays
    EXPECT_EQ(f.r->cursor, 0);
    f.at(15);
    EXPECT_EQ(ctext_search_for_string(f.r, -1), 1);
    EXPECT_EQ(f.r->cursor, 8);
    f.r->search_text[0] = 0;
    EXPECT_EQ(ctext_search_for_string(f.r, 1), 0);

    std::strcpy(f.r->search_text, "x");
    EXPECT_EQ(ctext_search_for_line(f.r), 0);

    f.at(0);
    EXPECT_EQ(calculate_skip_steps(f.r, -1), 0);
    EXPECT_EQ(calculate_skip_steps(f.r, 1), 3);
    f.at(15);
    EXPECT_EQ(calculate_skip_steps(f.r, 1), 0);
    EXPECT_EQ(calculate_skip_steps(f.r, -1), -3);

    field l(lines(10));
    std::strcpy(l.r->search_text, "3");
    EXPECT_EQ(ctext_search_for_line(l.r), 1);
    EXPECT_EQ(l.r->cursor, ctext_get_pos_for_line_number(l.r->text, 2));
    std::strcpy(l.r->search_text, "500");
    EXPECT_EQ(ctext_search_for_line(l.r), 1);
    EXPECT_EQ(l.r->cursor, (int)std::strlen(l.r->text));

    field b("x\nfunction a()\nend\nfunction\tb()\n");
    b.at(0);
    EXPECT_EQ(ctext_search_for_bookmark(b.r, 1), 1);
    EXPECT_EQ(b.r->cursor, 2);
    EXPECT_EQ(ctext_search_for_bookmark(b.r, 1), 1);
    EXPECT_EQ(b.r->cursor, 19);
    EXPECT_EQ(ctext_search_for_bookmark(b.r, 1), 0);
    EXPECT_EQ(ctext_search_for_bookmark(b.r, -1), 1);
    EXPECT_EQ(b.r->cursor, 2);
}

TEST(Ctext, SelectionByClicks) {
    field f("a_1+=b \x80\x81 c\nnext");
    std::strcpy(f.r->search_text, "q");
    f.r->search_active = 1;
    ctext_select_from_double_click(f.r, 1);
    EXPECT_EQ(f.r->sel_start, 0);
    EXPECT_EQ(f.r->sel_end, 3);
    EXPECT_EQ(f.r->search_text[0], 0);
    EXPECT_EQ(f.r->search_active, 0);
    ctext_select_from_double_click(f.r, 4);
    EXPECT_EQ(f.r->sel_start, 3);
    EXPECT_EQ(f.r->sel_end, 5);
    ctext_select_from_double_click(f.r, 8);
    EXPECT_EQ(f.r->sel_start, 7);
    EXPECT_EQ(f.r->sel_end, 9);
    ctext_select_from_triple_click(f.r, 4);
    EXPECT_EQ(f.r->sel_start, 0);
    EXPECT_EQ(f.r->sel_end, 12);
    ctext_select_from_triple_click(f.r, 14);
    EXPECT_EQ(f.r->sel_start, 12);
    EXPECT_EQ(f.r->sel_end, 16);
    EXPECT_EQ(get_char_cat('A'), 0);
    EXPECT_EQ(get_char_cat('@'), 2);
    EXPECT_EQ(get_char_cat(200), 3);
    EXPECT_EQ(get_char_cat(' '), 0);
}

TEST(Ctext, LineOperations) {
    field f("one\ntwo\nthree");
    f.at(5);
    ctext_duplicate_line(f.r);
    EXPECT_EQ(f.text(), "one\ntwo\ntwo\nthree");
    EXPECT_EQ(f.r->cursor, 9);
    ctext_move_line(f.r, -1);
    EXPECT_EQ(f.text(), "one\ntwo\ntwo\nthree");
    f.at(14); // the last line, without a final newline
    ctext_move_line(f.r, -1);
    EXPECT_EQ(f.text(), "one\ntwo\nthree\ntwo");
    EXPECT_EQ(f.r->cursor, 10);
    f.at(0);
    ctext_move_line(f.r, -1); // the first line stays
    EXPECT_EQ(f.text(), "one\ntwo\nthree\ntwo");
    ctext_move_line(f.r, 1);
    EXPECT_EQ(f.text(), "two\none\nthree\ntwo");
    EXPECT_EQ(f.r->cursor, 4);
    f.at(16);
    ctext_move_line(f.r, 1); // the last line stays
    EXPECT_EQ(f.text(), "two\none\nthree\ntwo");

    field c("a\nb\nc");
    c.r->sel_start = 0;
    c.r->sel_end = 3;
    toggle_block_comment(c.r);
    EXPECT_EQ(c.text(), "--a\n--b\nc");
    EXPECT_EQ(c.r->sel_end, 7);
    toggle_block_comment(c.r);
    EXPECT_EQ(c.text(), "a\nb\nc");
    EXPECT_EQ(c.r->sel_end, 3);

    field b("while x do");
    b.at(10);
    EXPECT_EQ(start_of_block(b.r), 1);
    field r("  repeat");
    r.at(8);
    EXPECT_EQ(start_of_block(r.r), 2);
    field fn("local function f()\nx");
    fn.at(18);
    EXPECT_EQ(start_of_block(fn.r), 1);
    fn.at(5);
    EXPECT_EQ(start_of_block(fn.r), 0);
}

TEST(Ctext, ClipboardCopyAndPaste) {
    field f("Ab\x80");
    f.r->sel_start = 0;
    f.r->sel_end = 3;
    ctextfield_copy(f.r, 0);
    char *clip = vull_get_clipboard_text();
    EXPECT_STREQ(clip, "𝘢b█");
    vull_free(clip);
    f.r->punycode = 1;
    ctextfield_copy(f.r, 1);
    clip = vull_get_clipboard_text();
    EXPECT_STREQ(clip, "Ab█");
    vull_free(clip);

    vull_set_clipboard_text("X𝘢\r\ny");
    field p("", 20);
    ctextfield_paste(p.r);
    EXPECT_EQ(p.text(), "xA\ny"); // capitals lowered, carriage return dropped
    EXPECT_EQ(p.r->cursor, 4);
    EXPECT_EQ(ctext_undo(p.r), 1);
    EXPECT_EQ(p.text(), "");
    p.r->punycode = 1;
    ctextfield_paste(p.r);
    EXPECT_EQ(p.text(), "XA\ny");

    field tiny("", 2);
    ctextfield_paste(tiny.r); // too long: nothing
    EXPECT_EQ(tiny.text(), "");
}

TEST(Ctext, KeysThroughTheHandler) {
    field f("", 100);
    vull_gui_element e{};
    e.type = 4;
    e.width = 128;
    e.height = 64;
    e.flags = VULL_GUIF_FOCUS;
    std::memcpy(e.user, &f.r, sizeof f.r);
    f.r->element = &e;
    for (char c : std::string("\tif x then")) vhand_ctextfield(&e, c, 0, 0, VULL_GUIM_KEY);
    vhand_ctextfield(&e, 13, 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.text(), "\tif x then\n\t");
    vhand_ctextfield(&e, 8, 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.text(), "\tif x then\n");

    vullkey[224] = 1; // Ctrl
    vhand_ctextfield(&e, 'z', 0, 0, VULL_GUIM_KEY);
    EXPECT_NE(f.text(), "\tif x then\n");
    vhand_ctextfield(&e, 'y', 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.text(), "\tif x then\n");
    vhand_ctextfield(&e, 'a', 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.r->sel_start, 0);
    EXPECT_EQ(f.r->sel_end, 11);
    vhand_ctextfield(&e, 'f', 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.r->search_box, 1);
    vullkey[224] = 0;
    for (char c : std::string("x t")) vhand_ctextfield(&e, c, 0, 0, VULL_GUIM_KEY);
    EXPECT_STREQ(f.r->search_text, "x t");
    vhand_ctextfield(&e, 13, 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.r->sel_start, 4);
    vhand_ctextfield(&e, 27, 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(f.r->search_box, 0);
    EXPECT_EQ(f.text(), "\tif x then\n");

    // Tab on a selection indents each line and keeps the selection; Shift+Tab undoes it.
    field t("a\nb\nc", 100);
    std::memcpy(e.user, &t.r, sizeof t.r);
    t.r->element = &e;
    t.r->sel_start = 0;
    t.r->sel_end = 3;
    vhand_ctextfield(&e, 9, 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(t.text(), "\ta\n\tb\nc");
    EXPECT_EQ(t.r->sel_start, 0);
    EXPECT_EQ(t.r->sel_end, 5);
    vullkey[225] = 1; // Shift
    vhand_ctextfield(&e, 9, 0, 0, VULL_GUIM_KEY);
    EXPECT_EQ(t.text(), "a\nb\nc");
    EXPECT_EQ(t.r->sel_end, 3);
    // Shift+Return on a line that opens a block closes it.
    t.at(5);
    std::strcpy(t.r->text, "if x then");
    t.at(9);
    vhand_ctextfield(&e, 13, 0, 0, VULL_GUIM_KEY);
    vullkey[225] = 0;
    EXPECT_EQ(t.text(), "if x then\n\t\nend");
    EXPECT_EQ(t.r->cursor, 12);
    std::memcpy(e.user, &f.r, sizeof f.r);

    // Wheel scrolling never goes above the top; clicks place the cursor.
    f.r->scroll_y = 20;
    vhand_ctextfield(&e, 0, 1, 0, VULL_GUIM_WHEEL);
    EXPECT_EQ(f.r->scroll_y, 8);
    vhand_ctextfield(&e, 0, 5, 0, VULL_GUIM_WHEEL);
    EXPECT_EQ(f.r->scroll_y, 0);
    vhand_ctextfield(&e, 21, 2, 1, VULL_GUIM_PRESS);
    EXPECT_EQ(f.r->cursor, 2); // the tab is 16 wide, 'i' covers 16-19, 'f' 20-23
}

TEST(Ctext, Drawing) {
    vull_text_init();
    vull_bitmap *bmp = vull_create_bitmap(64, 32, 32);
    ASSERT_NE(bmp, nullptr);
    field f("!\n!");
    f.r->char_width = 6;
    vull_clear_bitmap(bmp);
    draw_ctext(bmp, 8, 4, 40, 20, f.r);
    EXPECT_EQ(vull_getpixel(bmp, 8, 4) & 0xFFFFFF, 0x404040u);
    EXPECT_EQ(vull_getpixel(bmp, 7, 4), 0u); // outside the field
    EXPECT_EQ(vull_getpixel(bmp, 48, 4), 0u);
    EXPECT_NE(vull_getpixel(bmp, 10, 4) & 0xFFFFFF, 0x404040u);  // '!' column 2, top row
    EXPECT_NE(vull_getpixel(bmp, 10, 10) & 0xFFFFFF, 0x404040u); // the second line
    // Scrolled past the text: only the background shows.
    f.r->scroll_y = 100;
    draw_ctext(bmp, 8, 4, 40, 20, f.r);
    EXPECT_EQ(vull_getpixel(bmp, 10, 4) & 0xFFFFFF, 0x404040u);
    vull_destroy_bitmap(bmp);
    vull_text_exit();
}

TEST(Ctext, HandlerMovesSearchBoxAndDrawMessage) {
    field f("\nyyyyyyyy", 100);
    vull_gui_element e{};
    e.type = 4;
    e.width = 128;
    e.height = 64;
    e.flags = VULL_GUIF_FOCUS;
    std::memcpy(e.user, &f.r, sizeof f.r);
    f.r->element = &e;
    auto key = [&](int k) { vhand_ctextfield(&e, k, 0, 0, VULL_GUIM_KEY); };
    // Arrow keys arrive as a -1 typed code with the key state at 3.
    auto arrow = [&](int scancode) {
        vullkey[scancode] = 3;
        key(-1);
        vullkey[scancode] = 0;
    };

    // The column to keep on a move down is the one after the typed text.
    for (char c : std::string("abc")) key(c);
    arrow(81);
    EXPECT_EQ(f.r->cursor, 4 + 3);

    // A move drops the selection: typing then replaces nothing elsewhere.
    vullkey[224] = 1;
    key('a');
    vullkey[224] = 0;
    ASSERT_EQ(f.r->sel_end - f.r->sel_start, 12);
    arrow(80); // left
    EXPECT_EQ(f.r->sel_start, f.r->sel_end);
    key('Q');
    EXPECT_EQ(f.text(), "abc\nyyyyyyyQy");

    // The search box takes typed codes 16-255 (bytes above 127 come as
    // negative text input), up to 253 of them, and keeps arrows to itself.
    vullkey[224] = 1;
    key('f');
    vullkey[224] = 0;
    ASSERT_EQ(f.r->search_box, 1);
    int cursor = f.r->cursor;
    key(5);
    key(-128);
    key(-1);
    EXPECT_STREQ(f.r->search_text, "\x80");
    arrow(80);
    EXPECT_EQ(f.r->cursor, cursor);
    for (int i = 0; i < 300; i++) key('q');
    EXPECT_EQ(std::strlen(f.r->search_text), 253u);
    key(8);
    EXPECT_EQ(std::strlen(f.r->search_text), 252u);
    key(27);
    EXPECT_EQ(f.r->search_box, 0);

    // Sent the draw message, the field draws into its rectangle on its target.
    vull_bitmap *bmp = vull_create_bitmap(160, 80, 32);
    ASSERT_NE(bmp, nullptr);
    vull_clear_bitmap(bmp);
    e.target = bmp;
    e.x = 10;
    e.y = 5;
    vhand_ctextfield(&e, 0, 0, 0, CTEXT_GUIM_DRAW);
    EXPECT_EQ(vull_getpixel(bmp, 10 + 127, 5 + 63) & 0xFFFFFF, 0x404040u);
    EXPECT_EQ(vull_getpixel(bmp, 9, 5), 0u);
    EXPECT_EQ(vull_getpixel(bmp, 10 + 128, 5), 0u);
    vull_destroy_bitmap(bmp);
}
