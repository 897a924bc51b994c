// SDL is opened when the player first needs it (a window, the sound device,
// controllers), not when the program starts: a headless run never loads it nor
// the forty-odd libraries it brings. The back end's files include this header
// instead of <SDL.h>; it turns each SDL function they call into a call through
// a table that is filled from the library on first use.
//
// Without SDL in the process there is no window, device or input: the entry
// points a headless run reaches ask sdl_loaded() and answer as SDL does with
// nothing started, without loading it. Any other call loads it.
#pragma once
#include <SDL.h>

// Every SDL function the back end calls.
#define Z6_SDL_FUNCTIONS(X) \
    X(SDL_ClearError) \
    X(SDL_CreateRGBSurfaceFrom) \
    X(SDL_CreateRGBSurfaceWithFormat) \
    X(SDL_CreateRenderer) \
    X(SDL_CreateTexture) \
    X(SDL_CreateWindow) \
    X(SDL_DestroyRenderer) \
    X(SDL_DestroyTexture) \
    X(SDL_DestroyWindow) \
    X(SDL_FreeSurface) \
    X(SDL_GL_CreateContext) \
    X(SDL_GL_DeleteContext) \
    X(SDL_GL_SetAttribute) \
    X(SDL_GameControllerAddMapping) \
    X(SDL_GameControllerClose) \
    X(SDL_GameControllerGetAttached) \
    X(SDL_GameControllerGetAxis) \
    X(SDL_GameControllerGetButton) \
    X(SDL_GameControllerGetJoystick) \
    X(SDL_GameControllerMapping) \
    X(SDL_GameControllerName) \
    X(SDL_GameControllerOpen) \
    X(SDL_GetAudioDriver) \
    X(SDL_GetClipboardText) \
    X(SDL_GetCurrentAudioDriver) \
    X(SDL_GetCurrentDisplayMode) \
    X(SDL_GetCurrentVideoDriver) \
    X(SDL_GetDesktopDisplayMode) \
    X(SDL_GetDisplayBounds) \
    X(SDL_GetDisplayMode) \
    X(SDL_GetDisplayName) \
    X(SDL_GetError) \
    X(SDL_GetKeyFromScancode) \
    X(SDL_GetKeyboardFocus) \
    X(SDL_GetKeyboardState) \
    X(SDL_GetModState) \
    X(SDL_GetMouseState) \
    X(SDL_GetNumAudioDrivers) \
    X(SDL_GetNumDisplayModes) \
    X(SDL_GetNumRenderDrivers) \
    X(SDL_GetNumVideoDisplays) \
    X(SDL_GetNumVideoDrivers) \
    X(SDL_GetPixelFormatName) \
    X(SDL_GetRenderDriverInfo) \
    X(SDL_GetRendererInfo) \
    X(SDL_GetRendererOutputSize) \
    X(SDL_GetScancodeName) \
    X(SDL_GetVersion) \
    X(SDL_GetVideoDriver) \
    X(SDL_GetWindowID) \
    X(SDL_GetWindowPixelFormat) \
    X(SDL_GetWindowSize) \
    X(SDL_GetWindowSurface) \
    X(SDL_HasClipboardText) \
    X(SDL_Init) \
    X(SDL_InitSubSystem) \
    X(SDL_IsGameController) \
    X(SDL_JoystickClose) \
    X(SDL_JoystickGetAxis) \
    X(SDL_JoystickGetButton) \
    X(SDL_JoystickGetDeviceInstanceID) \
    X(SDL_JoystickInstanceID) \
    X(SDL_JoystickName) \
    X(SDL_JoystickNumAxes) \
    X(SDL_JoystickNumBalls) \
    X(SDL_JoystickNumButtons) \
    X(SDL_JoystickOpen) \
    X(SDL_LockAudio) \
    X(SDL_LockSurface) \
    X(SDL_LockTexture) \
    X(SDL_NumJoysticks) \
    X(SDL_OpenAudio) \
    X(SDL_PauseAudio) \
    X(SDL_PollEvent) \
    X(SDL_PushEvent) \
    X(SDL_RaiseWindow) \
    X(SDL_RenderClear) \
    X(SDL_RenderCopy) \
    X(SDL_RenderFillRects) \
    X(SDL_RenderPresent) \
    X(SDL_RenderReadPixels) \
    X(SDL_SetClipboardText) \
    X(SDL_SetHint) \
    X(SDL_SetRenderDrawColor) \
    X(SDL_SetSurfaceBlendMode) \
    X(SDL_SetTextureBlendMode) \
    X(SDL_SetWindowGrab) \
    X(SDL_SetWindowIcon) \
    X(SDL_SetWindowTitle) \
    X(SDL_ShowCursor) \
    X(SDL_UnlockAudio) \
    X(SDL_UnlockSurface) \
    X(SDL_UnlockTexture) \
    X(SDL_UpdateWindowSurface) \
    X(SDL_UpperBlit) \
    X(SDL_VideoQuit) \
    X(SDL_WarpMouseInWindow) \
    X(SDL_free)

struct sdl_api_table {
#define Z6_SDL_POINTER(name) decltype(&::name) name;
    Z6_SDL_FUNCTIONS(Z6_SDL_POINTER)
#undef Z6_SDL_POINTER
};

// The table, opening SDL first when it is not open; a fatal error when the
// library or one of its functions is missing.
const sdl_api_table &sdl_api();
// Whether SDL is in the process (opened by sdl_api or linked by the program),
// without loading it.
bool sdl_loaded();

#ifndef Z6_SDL_API_LOADER
#define SDL_ClearError sdl_api().SDL_ClearError
#define SDL_CreateRGBSurfaceFrom sdl_api().SDL_CreateRGBSurfaceFrom
#define SDL_CreateRGBSurfaceWithFormat sdl_api().SDL_CreateRGBSurfaceWithFormat
#define SDL_CreateRenderer sdl_api().SDL_CreateRenderer
#define SDL_CreateTexture sdl_api().SDL_CreateTexture
#define SDL_CreateWindow sdl_api().SDL_CreateWindow
#define SDL_DestroyRenderer sdl_api().SDL_DestroyRenderer
#define SDL_DestroyTexture sdl_api().SDL_DestroyTexture
#define SDL_DestroyWindow sdl_api().SDL_DestroyWindow
#define SDL_FreeSurface sdl_api().SDL_FreeSurface
#define SDL_GL_CreateContext sdl_api().SDL_GL_CreateContext
#define SDL_GL_DeleteContext sdl_api().SDL_GL_DeleteContext
#define SDL_GL_SetAttribute sdl_api().SDL_GL_SetAttribute
#define SDL_GameControllerAddMapping sdl_api().SDL_GameControllerAddMapping
#define SDL_GameControllerClose sdl_api().SDL_GameControllerClose
#define SDL_GameControllerGetAttached sdl_api().SDL_GameControllerGetAttached
#define SDL_GameControllerGetAxis sdl_api().SDL_GameControllerGetAxis
#define SDL_GameControllerGetButton sdl_api().SDL_GameControllerGetButton
#define SDL_GameControllerGetJoystick sdl_api().SDL_GameControllerGetJoystick
#define SDL_GameControllerMapping sdl_api().SDL_GameControllerMapping
#define SDL_GameControllerName sdl_api().SDL_GameControllerName
#define SDL_GameControllerOpen sdl_api().SDL_GameControllerOpen
#define SDL_GetAudioDriver sdl_api().SDL_GetAudioDriver
#define SDL_GetClipboardText sdl_api().SDL_GetClipboardText
#define SDL_GetCurrentAudioDriver sdl_api().SDL_GetCurrentAudioDriver
#define SDL_GetCurrentDisplayMode sdl_api().SDL_GetCurrentDisplayMode
#define SDL_GetCurrentVideoDriver sdl_api().SDL_GetCurrentVideoDriver
#define SDL_GetDesktopDisplayMode sdl_api().SDL_GetDesktopDisplayMode
#define SDL_GetDisplayBounds sdl_api().SDL_GetDisplayBounds
#define SDL_GetDisplayMode sdl_api().SDL_GetDisplayMode
#define SDL_GetDisplayName sdl_api().SDL_GetDisplayName
#define SDL_GetError sdl_api().SDL_GetError
#define SDL_GetKeyFromScancode sdl_api().SDL_GetKeyFromScancode
#define SDL_GetKeyboardFocus sdl_api().SDL_GetKeyboardFocus
#define SDL_GetKeyboardState sdl_api().SDL_GetKeyboardState
#define SDL_GetModState sdl_api().SDL_GetModState
#define SDL_GetMouseState sdl_api().SDL_GetMouseState
#define SDL_GetNumAudioDrivers sdl_api().SDL_GetNumAudioDrivers
#define SDL_GetNumDisplayModes sdl_api().SDL_GetNumDisplayModes
#define SDL_GetNumRenderDrivers sdl_api().SDL_GetNumRenderDrivers
#define SDL_GetNumVideoDisplays sdl_api().SDL_GetNumVideoDisplays
#define SDL_GetNumVideoDrivers sdl_api().SDL_GetNumVideoDrivers
#define SDL_GetPixelFormatName sdl_api().SDL_GetPixelFormatName
#define SDL_GetRenderDriverInfo sdl_api().SDL_GetRenderDriverInfo
#define SDL_GetRendererInfo sdl_api().SDL_GetRendererInfo
#define SDL_GetRendererOutputSize sdl_api().SDL_GetRendererOutputSize
#define SDL_GetScancodeName sdl_api().SDL_GetScancodeName
#define SDL_GetVersion sdl_api().SDL_GetVersion
#define SDL_GetVideoDriver sdl_api().SDL_GetVideoDriver
#define SDL_GetWindowID sdl_api().SDL_GetWindowID
#define SDL_GetWindowPixelFormat sdl_api().SDL_GetWindowPixelFormat
#define SDL_GetWindowSize sdl_api().SDL_GetWindowSize
#define SDL_GetWindowSurface sdl_api().SDL_GetWindowSurface
#define SDL_HasClipboardText sdl_api().SDL_HasClipboardText
#define SDL_Init sdl_api().SDL_Init
#define SDL_InitSubSystem sdl_api().SDL_InitSubSystem
#define SDL_IsGameController sdl_api().SDL_IsGameController
#define SDL_JoystickClose sdl_api().SDL_JoystickClose
#define SDL_JoystickGetAxis sdl_api().SDL_JoystickGetAxis
#define SDL_JoystickGetButton sdl_api().SDL_JoystickGetButton
#define SDL_JoystickGetDeviceInstanceID sdl_api().SDL_JoystickGetDeviceInstanceID
#define SDL_JoystickInstanceID sdl_api().SDL_JoystickInstanceID
#define SDL_JoystickName sdl_api().SDL_JoystickName
#define SDL_JoystickNumAxes sdl_api().SDL_JoystickNumAxes
#define SDL_JoystickNumBalls sdl_api().SDL_JoystickNumBalls
#define SDL_JoystickNumButtons sdl_api().SDL_JoystickNumButtons
#define SDL_JoystickOpen sdl_api().SDL_JoystickOpen
#define SDL_LockAudio sdl_api().SDL_LockAudio
#define SDL_LockSurface sdl_api().SDL_LockSurface
#define SDL_LockTexture sdl_api().SDL_LockTexture
#define SDL_NumJoysticks sdl_api().SDL_NumJoysticks
#define SDL_OpenAudio sdl_api().SDL_OpenAudio
#define SDL_PauseAudio sdl_api().SDL_PauseAudio
#define SDL_PollEvent sdl_api().SDL_PollEvent
#define SDL_PushEvent sdl_api().SDL_PushEvent
#define SDL_RaiseWindow sdl_api().SDL_RaiseWindow
#define SDL_RenderClear sdl_api().SDL_RenderClear
#define SDL_RenderCopy sdl_api().SDL_RenderCopy
#define SDL_RenderFillRects sdl_api().SDL_RenderFillRects
#define SDL_RenderPresent sdl_api().SDL_RenderPresent
#define SDL_RenderReadPixels sdl_api().SDL_RenderReadPixels
#define SDL_SetClipboardText sdl_api().SDL_SetClipboardText
#define SDL_SetHint sdl_api().SDL_SetHint
#define SDL_SetRenderDrawColor sdl_api().SDL_SetRenderDrawColor
#define SDL_SetSurfaceBlendMode sdl_api().SDL_SetSurfaceBlendMode
#define SDL_SetTextureBlendMode sdl_api().SDL_SetTextureBlendMode
#define SDL_SetWindowGrab sdl_api().SDL_SetWindowGrab
#define SDL_SetWindowIcon sdl_api().SDL_SetWindowIcon
#define SDL_SetWindowTitle sdl_api().SDL_SetWindowTitle
#define SDL_ShowCursor sdl_api().SDL_ShowCursor
#define SDL_UnlockAudio sdl_api().SDL_UnlockAudio
#define SDL_UnlockSurface sdl_api().SDL_UnlockSurface
#define SDL_UnlockTexture sdl_api().SDL_UnlockTexture
#define SDL_UpdateWindowSurface sdl_api().SDL_UpdateWindowSurface
#define SDL_UpperBlit sdl_api().SDL_UpperBlit
#define SDL_VideoQuit sdl_api().SDL_VideoQuit
#define SDL_WarpMouseInWindow sdl_api().SDL_WarpMouseInWindow
#define SDL_free sdl_api().SDL_free
#endif
