// Online board client: listings, carts and cart information files fetched one
// at a time by wget on a worker thread, reported through app.download_state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "shell/browse.h"

constexpr int BOARD_HOST_LEN = 256;

// The client's record (the download slot's fields that app_state lacks).
struct board_state {
    char host[BOARD_HOST_LEN]; // board web server, "http://host[:port]"; -bbs_host, never saved
    int32_t timeout;           // seconds; 0 = the engine's timeout option
    char final_listing[1024];  // listing file the temp file is copied to once it loads
    int32_t listing_append;    // the running listing request is a "load more"
    int32_t listing_list;      // list the running listing request fills
    int32_t load_result;       // 5 info, 6 cart loaded, -1 none, -2 fetch failed, -3 no connection
    char title[BROWSE_TEXT_LEN]; // sanitised title of the cart being fetched
    char lid[BROWSE_TEXT_LEN];   // lid of the running load by id
    int32_t cart_download;       // a board cart download runs
};
extern board_state board;

// Sets the board host from the command line (-bbs_host); false (host unchanged)
// unless it is host characters [A-Za-z0-9.-] with an optional ":port" (1-65535),
// after an optional "http://" or "https://" (plain http when none is given).
bool board_set_host(const char *host);

int download_file(const char *url, const char *local, int timeout);
int download_bbs_cart(const char *lid);
int download_list(int list_index, int start_index);
int download_nfo(const char *lid);
void get_bbs_cart_url(const char *host, const char *lid, char *out, size_t out_size);
int check_bbs_file_ok(const char *path); // 2 usable, 3 missing, empty or a PNG that does not decode
void cancel_download(const char *message);
// At exit: a running fetch is ended (its wget killed, its partial file deleted).
void board_exit();
void dl_on_load();  // the finished fetch's file checks: state 2 or 3
void dl_on_error(); // the fetch failed: state 3
void update_browse_download();
void update_load_download();
int board_load_by_id(const char *lid); // the prompt's load of a board cart by its id

// Reads a listing image into a list (appending for "load more"); 0, or 1 with the
// list unchanged when the image does not decode.
int load_listing_image(browse_list *list, const char *path, int append);
void browse_load_cached_listing(browse_list *list);

// Cart information (.nfo): 0 read, 1 none or unusable (a lid that is not safe).
int set_item_from_nfo(browse_item *item, const char *path);
int set_running_item_from_nfo(const char *path);
int check_cart_update_nfo();
// Re-reads the running cart's information and fetches its newer cart; 0 started.
int browse_update_cartridge_to_newer_version();

void browse_toggle_favourite_0(const char *lid, const char *text);
void browse_toggle_favourite_ingame(const char *lid, const char *text);
void browse_toggle_favourite(); // the browser's current item, saved to favourites.txt
