// Engine file layer: C-library streams, memory blocks, growable buffers and the virtual disk
// behind one record, typed little-endian I/O, line readers, path helpers and whole files.
#pragma once
#include <cstdint>
#include <cstdio>
#include "engine/mem.h"
#include "engine/vull.h" // VULL_PATH_LEN: engine path buffers, 1023 characters + NUL

constexpr uint32_t VULL_FILE_STREAM = 0; // vull_file.kind: C-library stream
constexpr uint32_t VULL_FILE_MEMORY = 1; // vull_file.kind: memory block
constexpr int VULL_VDISK_MAX = 512;      // files the virtual disk can hold
constexpr int VULL_VDISK_NAME = 64;      // key field: keys of 64 or more characters are refused

// One engine file (a guarded block). A cbuffer is the memory kind with an owned block.
struct vull_file {
    uint32_t kind;              // VULL_FILE_STREAM or VULL_FILE_MEMORY
    int32_t vdisk;              // 1 for files of the virtual disk (never released by vull_fclose)
    FILE *stream;               // the C-library stream (kind 0)
    uint8_t *data;              // the memory block (kind 1)
    int32_t length;             // bytes of valid data, the highest position written (kind 1)
    int32_t position;           // read and write position (kind 1)
    char name[VULL_VDISK_NAME]; // virtual-disk key: base name and extension
    int32_t capacity;           // bytes of an owned, growable block; 0 when the caller owns it
};

// The largest file a reader takes that names no bound of its own kind.
constexpr int64_t VULL_READ_MAX = int64_t(64) << 20;

// Opening and closing. A mode beginning with 'r' opens through the guarded open
// (vull_open_read: a regular file of at most max bytes) and falls back to the virtual disk.
vull_file *vull_fopen(const char *path, const char *mode, int64_t max = VULL_READ_MAX);
vull_file *vull_fopen_memory(void *data, int length); // caller's block: fixed size, not owned
// 0, or EOF when closing a stream failed (its buffered writes did not reach the file).
int vull_fclose(vull_file *f); // null and virtual-disk files: nothing
// Virtual disk: files named by base name + extension; "w" creates or empties, "r" rewinds.
// Null for an unknown key read, another mode, a key of 64+ characters or a full disk.
vull_file *vull_fopen_vdisk(const char *path, const char *mode);
// The virtual disk's key of a path (base name and extension) into key
// (VULL_VDISK_NAME bytes); false when the path has none or it does not fit.
bool vull_vdisk_key(const char *path, char *key);
int vdisk_file_owned(vull_file *f);

// Reading and writing. Streams return whole items as the C library does; memory files
// return BYTES. Memory reads outside [0, length) copy nothing; memory writes at a negative
// position, past 1 GiB or past the end of a fixed block are refused or cut short.
int vull_fread(void *buf, int size, int n, vull_file *f);
int vull_fwrite(const void *buf, int size, int n, vull_file *f); // growable + null buf: zeros
int vull_feof(vull_file *f);
int vull_fseek(vull_file *f, int offset, int whence); // only whence 1 (SEEK_CUR) acts
int vull_fgetc(vull_file *f);                         // memory: 0 outside the data
char *vull_fgets(char *buf, int n, vull_file *f);     // stream: C library's, keeps the newline
char *vull_fgets_sensitive(char *buf, int n, vull_file *f); // engine line reader, both kinds
// One whole line of at most max characters into a growable buffer (same line ends as
// vull_fgets_sensitive), NUL-terminated at data[length]. 1 when a line end closed it, 0 when
// the data ended it, -1 when there is no line left or the buffer cannot grow, -2 when the line
// is longer than max (read no further than that; the buffer then holds "").
int vull_fgets_line(cbuffer *line, vull_file *f, int max = INT32_MAX);
int vull_fprintf_1d(vull_file *f, const char *format, int a);
int vull_fprintf_4x(vull_file *f, const char *format, int a, int b, int c, int d);
int vull_fprintf_1s(vull_file *f, const char *format, const char *text);

// Typed little-endian values. Short memory reads give 0 for the missing high bytes; the
// signed readers sign-extend. Writers return the bytes (memory) or items (stream) written.
int8_t vull_fread_int8(vull_file *f);
uint8_t vull_fread_uint8(vull_file *f);
int16_t vull_fread_int16(vull_file *f);
uint16_t vull_fread_uint16(vull_file *f);
int32_t vull_fread_int32(vull_file *f);
uint32_t vull_fread_uint32(vull_file *f);
float vull_fread_float(vull_file *f);
int vull_fwrite_int8(int8_t v, vull_file *f);
int vull_fwrite_uint8(uint8_t v, vull_file *f);
int vull_fwrite_int16(int16_t v, vull_file *f);
int vull_fwrite_uint16(uint16_t v, vull_file *f);
int vull_fwrite_int32(int32_t v, vull_file *f);
int vull_fwrite_uint32(uint32_t v, vull_file *f);
int vull_fwrite_float(float v, vull_file *f);
// Arrays copied as they lie; return the count of whole values transferred.
int vull_fread_int16s(int16_t *buf, int count, vull_file *f);
int vull_fwrite_int16s(const int16_t *data, int count, vull_file *f);
int vull_fread_int32s(int32_t *buf, int count, vull_file *f);
int vull_fwrite_int32s(const int32_t *data, int count, vull_file *f);
// Stored order is the host's (little-endian): these return their argument.
constexpr int16_t vull_fix_int16(int16_t v) { return v; }
constexpr uint16_t vull_fix_uint16(uint16_t v) { return v; }
constexpr int32_t vull_fix_int32(int32_t v) { return v; }
constexpr uint32_t vull_fix_uint32(uint32_t v) { return v; }

// Paths. Every out buffer holds VULL_PATH_LEN bytes; results are cut to 1023 characters.
void vull_fix_backslashes(char *path);
// Cleaned folder path ending in '/' (leading and trailing blanks and control characters
// dropped, '\\' made '/', doubled '/' collapsed); into a shared buffer when out is null.
char *vull_fix_path_string(const char *path, char *out);
char *vull_get_filename_extension(const char *path, char *out); // after the last '.', no dot
// Each output may be null. The extension keeps its dot; the folder keeps its trailing '/'.
void vull_split_filename(const char *path, char *folder, char *name, char *extension);
void vull_split_filename_ex(const char *path, char *folder, char *name, char *extension,
                            int double_extension);
char *vull_get_filename_without_path(const char *path);   // points into path; null for null
char *vull_get_path_without_filename(const char *path);   // shared buffer, cut after '/' '\\'
char *vull_resolve_filename(const char *path, char *out); // absolute, "." ".." "~" resolved
int vull_unroll_filename(const char *path, char *out);    // resolved + '/'; length before it
// A folder setting as the player keeps it: cleaned as vull_fix_path_string does, then made
// absolute against the working folder, so it names the same folder from wherever the player
// runs next. Empty stays empty; false (out emptied) when the absolute form does not fit.
bool vull_absolute_folder(const char *text, char *out);

// 6-bit character tables.
char vull_int6_to_ascii(int value); // 0 outside 0..63
int vull_ascii_to_int6(int code);   // 0 outside 0..127 and for characters not in the alphabet

// Whole files.
// The whole of a regular file of at most max bytes (guarded open; no virtual disk), its
// position left at the end; null when refused, unreadable or longer than max.
cbuffer *vull_load_file(const char *path, int64_t max);
// Source read as vull_load_file reads it. 0 ok, 1 no source, 2 no target.
int vull_copy_file(const char *source, const char *target, int64_t max);

// The one writer of every file the player writes for the user. The bytes go to a new file
// in the target's folder, which is written, flushed to the disk and closed with every step
// checked, and only then renamed over the target: on any failure the target keeps what it
// held and the temporary file is removed. The temporary file has the final permissions from
// the start (the replaced file's), and the folder is flushed after the rename. A link is
// followed (a dangling one makes the file it names, never its folders); a file made read-only
// is refused (vull_file_read_only), whoever runs the player; an existing device or pipe is
// written in place. Temporary files of writers killed mid-write (their process gone, older
// than a minute) are removed from the folder. 0 written, 1 not.
int vull_save_file(const char *path, const void *data, int64_t length);
// The same writer for a file made in pieces: vull_save_begin makes the new file (null when
// it cannot), vull_save_write adds to it (1 once any step failed), vull_save_end puts it in
// place of the target (0) or, after a failed step or when keep is false, removes it and
// leaves the target as it was (1).
struct vull_save;
constexpr int VULL_SAVE_FLUSH_LATER = 1; // the flush to the disk waits for vull_flush_saved_files
// Saved again soon (many times a frame): flushed later, and the file it replaces is kept
// aside until vull_flush_saved_files for the next save of the same target to write into
// and swap in, so a save costs one write and one rename. Until that flush a file a reader
// opened stays whole only until the save after the one that replaced it.
constexpr int VULL_SAVE_REPEATED = 2;
vull_save *vull_save_begin(const char *path, int flags = 0);
int vull_save_write(vull_save *s, const void *data, int64_t length);
int vull_save_end(vull_save *s, bool keep = true);
// Flushes to the disk the files saved with VULL_SAVE_FLUSH_LATER since the last call and
// removes the spares of VULL_SAVE_REPEATED (done by itself when too many wait).
void vull_flush_saved_files();
