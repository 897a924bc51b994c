// The PNG cart: a 160 x 205 picture of a cartridge whose pixels carry the
// ROM image and a trailer (version, platform, SHA-1) in their low two bits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct zibo6_cart;
struct vull_bitmap;
struct vull_file;
struct vull_rgb;

constexpr int PNG_CART_WIDTH = 160;
constexpr int PNG_CART_HEIGHT = 205;
constexpr int PNG_CART_IMAGE_SIZE = 32800;  // ROM image and trailer
constexpr int PNG_CART_TEMPLATE_ITEM = 145; // resource pod entry of the blank cartridge
constexpr int PNG_CART_LABEL_X = 16;
constexpr int PNG_CART_LABEL_Y = 24;

// Status of the last PNG cart read.
enum : int {
    PNG_CART_OK = 0,
    PNG_CART_NOT_PNG = 1,    // not a readable PNG
    PNG_CART_NO_FILE = 2,    // no file
    PNG_CART_FUTURE = 3,     // future version refused
    PNG_CART_CORRUPTED = 4,  // digest does not match
    PNG_CART_WRONG_SIZE = 5, // not 160 x 205
};
extern int zibo6_png_cart_status;

// 0 written; 1 when the code does not fit the image or the file cannot be written.
int save_zibo6_cart_png(zibo6_cart *cart, const char *path);
int save_zibo6_cart_png_to_file(zibo6_cart *cart, vull_file *f); // the PNG's bytes appended to f
// A PNG cart saved many times in a row (a cart storing into it a byte at a time): kept
// encoded with stored deflate blocks, so that a changed ROM byte costs four file bytes, the
// SHA-1 and a few checksums instead of a whole encode. The file is a valid PNG cart of the
// same picture and image, about 130 KB where a normal save is a tenth of that.
struct png_cart_draft;
png_cart_draft *png_cart_draft_create(zibo6_cart *cart); // null when the code does not fit
void png_cart_draft_destroy(png_cart_draft *d);
// The file's bytes for cart as it is now, where ROM bytes first .. first + count - 1 may
// have changed since the draft was made or last updated (its other bytes, code and label not).
const std::vector<uint8_t> &png_cart_draft_update(png_cart_draft *d, zibo6_cart *cart, int first,
                                                  int count);

// A new cart or null; sets zibo6_png_cart_status. Reads f from its position to its end.
zibo6_cart *load_zibo6_cart_png_from_file(vull_file *f);
// As above from a path, and the cart's label from the picture.
zibo6_cart *load_zibo6_cart_png(const char *path);
// As above from the bytes of a file.
zibo6_cart *load_zibo6_cart_png_from_bytes(const uint8_t *data, size_t size);

// The picture's 128 x 128 region at (16, 24) as palette indices; null when the
// file is no PNG of at least that size.
vull_bitmap *create_label_from_file(const char *path);

// Draws the code's first comment line ("--" and one space skipped, at most 31
// characters) with the system font; nothing when the first line is no comment.
void draw_cart_comment(vull_bitmap *bitmap, const char *code, int x, int y);

// The colours labels and screenshots are written with: the display palette
// once the player set one up, else a fixed table of distinct colours.
const vull_rgb *cart_display_colours();
