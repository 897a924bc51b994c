// Image files as engine bitmaps: PNG through LodePNG, uncompressed TGA (8 or
// 32 bits) and unpadded 24-bit BMP, plus the engine's zlib entry points.
#pragma once
#include <cstddef>
#include <cstdint>

struct vull_bitmap;
struct vull_palette_rec;
struct vull_file;

// Limits of decoded PNGs and of whole files read for decoding.
constexpr int VULL_PNG_MAX_SIDE = 16384;
constexpr int64_t VULL_PNG_MAX_FILE = 0x10000000; // 256 MB

// Error codes of the PNG entry points besides LodePNG's own decoder codes.
constexpr unsigned VULL_PNG_OK = 0;
constexpr unsigned VULL_PNG_CANNOT_OPEN = 78;
constexpr unsigned VULL_PNG_NO_MEMORY = 80;
constexpr unsigned VULL_PNG_TOO_MANY_PIXELS =
    92; // size past the caller's limit or the allocator's cap
constexpr unsigned VULL_PNG_NULL_FILE = 100;
constexpr unsigned VULL_PNG_FILE_TOO_LARGE = 333;

// PNG. Decoded and compressed blocks handed out below are released with free();
// LodePNG_loadFile's buffer with vull_free().
vull_bitmap *vull_load_png_from_file(vull_file *f); // 32-bit bitmap or null
vull_bitmap *vull_load_png(const char *path);       // stdio, else the virtual disk
// As vull_load_png for a picture of at most max_width x max_height: the file's
// size and the header are checked before any pixel is decoded. Null otherwise,
// with too_large (when given) 1 when the picture or its file was too large.
vull_bitmap *vull_load_png_within(const char *path, int max_width, int max_height,
                                  int *too_large = nullptr);
// As vull_load_png_within, the picture as R, G, B, A bytes (released with
// free()) and its size, for a reader that uses parts of a large picture: a
// whole bitmap would cost another copy of it.
uint8_t *vull_load_png_rgba_within(const char *path, int max_width, int max_height, int *width,
                                   int *height, int *too_large = nullptr);
// R, G, B, A bytes as bitmap pixels (native 0xAARRGGBB words); dst may be rgba.
void vull_rgba_to_pixels(uint8_t *dst, const uint8_t *rgba, size_t pixels);
int vull_save_png(const char *path,
                  const vull_bitmap *bmp); // 0, or LodePNG's error code (1: null bitmap)
unsigned LodePNG_loadFile(unsigned char **out, size_t *outsize, const char *path);
unsigned LodePNG_decode_file(unsigned char **out, unsigned *w, unsigned *h, const char *path,
                             int colour_type, unsigned bit_depth);
unsigned LodePNG_decode32_file(unsigned char **out, unsigned *w, unsigned *h, const char *path);
unsigned LodePNG_decode_vull_file(unsigned char **out, unsigned *w, unsigned *h, vull_file *f,
                                  int colour_type, unsigned bit_depth);
unsigned LodePNG_decode32_vull_file(unsigned char **out, unsigned *w, unsigned *h, vull_file *f);

// TGA and BMP. Readers return a new bitmap or null; writers 0 on success, 1 on failure.
vull_bitmap *vull_load_tga(const char *path);
vull_bitmap *vull_load_bmp(const char *path);
vull_bitmap *vull_load_image(const char *path); // BMP, else TGA
int vull_save_tga(const char *path, const vull_bitmap *bmp);
int vull_save_bmp(const char *path, const vull_bitmap *bmp);
vull_palette_rec *get_tga_palette(); // colour table of the last TGA read

// zlib streams with the engine's compression settings; LodePNG's error code, 0 on success.
unsigned vull_compress(const uint8_t *in, size_t length, uint8_t **out, size_t *out_length);
unsigned vull_decompress(const uint8_t *in, size_t length, uint8_t **out, size_t *out_length);
void vull_set_zlib_window_size(int n);
