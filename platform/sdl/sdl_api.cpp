// Opening SDL at run time: the library by its soname, each function by name.
#define Z6_SDL_API_LOADER
#include "platform/sdl/sdl_api.h"

#include <dlfcn.h>

#include <string>

#include "platform/system.h"

namespace {

constexpr const char *SDL_SONAME = "libSDL2-2.0.so.0";

sdl_api_table table;
bool table_ready;
bool absent_seen; // the library was not in the process at the last look
bool failed;      // loading failed: the fatal error is on its way out

// Fills the table from an open handle; the name of the first missing function, or null.
const char *fill(void *handle) {
#define Z6_SDL_LOOKUP(name)                                                    \
    table.name = reinterpret_cast<decltype(table.name)>(dlsym(handle, #name)); \
    if (!table.name) return #name;
    Z6_SDL_FUNCTIONS(Z6_SDL_LOOKUP)
#undef Z6_SDL_LOOKUP
    return nullptr;
}

} // namespace

const sdl_api_table &sdl_api() {
    if (table_ready) return table;
    failed = true; // until it is done: the fatal error's own report must not come back here
    // The handle is never closed: SDL stays for the rest of the process.
    void *handle = dlopen(SDL_SONAME, RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
        const char *why = dlerror();
        vull_fatal_error((std::string("could not load SDL: ") + (why ? why : SDL_SONAME)).c_str());
    }
    if (const char *missing = fill(handle))
        vull_fatal_error((std::string("could not load SDL: no ") + missing + " in " + SDL_SONAME).c_str());
    table_ready = true;
    failed = false;
    return table;
}

bool sdl_loaded() {
    if (table_ready) return true;
    // Only sdl_api brings the library in later, so one look that finds it
    // absent holds until then; a program linked with SDL finds it at once.
    if (absent_seen || failed) return false;
    void *handle = dlopen(SDL_SONAME, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        absent_seen = true;
        return false;
    }
    sdl_api();
    dlclose(handle); // the reference the look took; sdl_api holds its own
    return true;
}
