// The objects of engine/hooks.h, empty until a higher layer fills them.
#include "engine/hooks.h"

#include <cstdio>
#include <cstdlib>

#include "engine/vull.h"

vull_app_funcs vull_app;
vull_audio_funcs vull_audio;
cpod_audio_items cpod_audio;
vull_load_config_fn vull_load_config_func;
vull_save_config_fn vull_save_config_func;
vull_destroy_item_fn vull_destroy_item_func;
vull_load_item_fn vull_load_item_func;
vull_save_item_fn vull_save_item_func;
int (*vull_vdisk_miss_hook)(const char *key);

void vull_set_app_funcs(const vull_app_funcs &funcs) { vull_app = funcs; }
void vull_set_audio_funcs(const vull_audio_funcs &funcs) { vull_audio = funcs; }
void cpod_set_audio_items(const cpod_audio_items &items) { cpod_audio = items; }
void vull_set_load_config_func(vull_load_config_fn fn) { vull_load_config_func = fn; }
void vull_set_save_config_func(vull_save_config_fn fn) { vull_save_config_func = fn; }
void vull_set_destroy_item_func(vull_destroy_item_fn fn) { vull_destroy_item_func = fn; }
void vull_set_load_item_func(vull_load_item_fn fn) { vull_load_item_func = fn; }
void vull_set_save_item_func(vull_save_item_fn fn) { vull_save_item_func = fn; }

void vull_missing_attach(const char *what, const char *attach_call) {
    std::fprintf(stderr, "** %s needs %s, which this program did not call\n", what, attach_call);
    vull_debugf("** %s needs %s, which this program did not call\n", what, attach_call);
}

void vull_unattached_hook(const char *table, const char *attach_call) {
    vull_missing_attach(table, attach_call);
    std::exit(1);
}
