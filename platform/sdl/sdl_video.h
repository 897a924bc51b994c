// What the SDL back end's files share, and what its tests look at: the
// window, renderer and texture, the software path, displays and log dumps.
#pragma once

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_RendererInfo;

extern SDL_Window *sdl_window;     // main window (null: none)
extern SDL_Renderer *sdl_renderer; // null on the software path
extern SDL_Texture *sdl_texture;   // streaming ARGB8888 texture of the page size
extern int sdl_texture_w, sdl_texture_h;
extern SDL_Window *sdl_window_display; // optional second window (vull_open_display)

int vull_set_screen_software(int window_w, int window_h, int depth, int flags);
// Any event of the window (exposed, resized, shown...): the next frame is
// presented whole even when its picture did not change.
void sdl_window_needs_present();

// Displays (no caller in the player).
int vull_num_video_displays();
int vull_choose_display(const char *name, int width, int height);
int vull_open_display(int display, int width, int height);

void log_system_info();
void SDLTest_PrintRenderer(SDL_RendererInfo *info);
