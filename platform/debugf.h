// Formatted lines for the engine log, shared by the platform back end.
#pragma once
#include <cstdarg>
#include <cstdio>

#include "engine/vull.h"

// Formats into the engine's shared scratch text and appends it to log.txt.
inline void vull_debugf_plat(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
inline void vull_debugf_plat(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(vull_debug_string, sizeof vull_debug_string, fmt, ap);
    va_end(ap);
    vull_debug(vull_debug_string);
}
