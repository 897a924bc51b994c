// Cart data: one store of 64 numbers a running cart opens with cartdata(id),
// kept in console memory 0x5e00-0x5eff and in <cdata folder>/<id>.z6d.txt.
#pragma once
#include <cstdint>

constexpr int CDATA_ID_MAX = 64;     // characters of an id
// The largest cart-data file read: the player writes about 600 bytes; hand-edited
// blanks and comments have room, anything larger is not cart data.
constexpr int64_t CDATA_FILE_MAX = 65536;
constexpr int CDATA_WORDS = 64;      // numbers of a store
constexpr int CDATA_FILE_SIZE = 520; // 8 lines of 8 words "%08x", each line ending "\n"

// 0 opened from its file; 1 no cart running, or opened without a file;
// 2 refused (error then names the runtime error to raise); 3 no id.
int load_cdata(const char *id, const char **error = nullptr);
// 0 written or nothing to write; 1 the file could not be written whole.
int save_cdata();
// Closes the store (a new run must call cartdata() again).
void clear_cdata();
const char *cdata_id(); // "" when no store is open
bool is_legal_cdata_cart_label_char(int c);

void do_export(); // nothing: stand-alone export is empty in this program
void do_import();
