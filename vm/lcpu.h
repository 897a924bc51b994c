/*
** Script VM: CPU cycle accounting and forced yields.
** The counters are process-wide (one VM runs at a time) and touched only by
** the main thread.  They are kept unsigned so that running past 2^31 wraps
** instead of overflowing; every comparison goes through an int32 cast.
*/
#ifndef Z6_LCPU_H
#define Z6_LCPU_H

#include <cstdint>

#include "vm/lua.h"

extern uint32_t cpu_cycles_slice;     /* cycles charged in the current slice */
extern uint32_t cpu_cycles_frame;     /* cycles of the frame's earlier slices */
extern uint32_t cpu_cycles_slice_max; /* slice budget, compared signed */
extern uint32_t cpu_superyield;       /* 0, or 0x40000000 while a yield is requested */
extern int cpu_superyielded_coresume; /* the forced-yield path was taken */

#define Z6_SUPERYIELD_REQUEST 0x40000000u

/*
** Budgets: the check is (cpu_superyield | cpu_cycles_slice) > budget.  With
** a budget of 0 a fresh slice runs one instruction (counter 0 passes), and
** a resumed frame always runs the interrupted instruction first; with a
** negative budget the check fires before every instruction, so each resume
** runs exactly that one.  A negative slice counter (fast functions give one
** cycle back per argument) hides a requested yield until it is positive.
*/

/*
** A forced yield that finds the thread not yieldable (Lua code run by a C
** function without a continuation: a metamethod of a library function, a
** comparator, an error handler, a finaliser) is put off to the first
** instruction that can yield, since where a budget runs out is chance and a
** correct cart must not fail for running slowly.  Only a runaway makes it
** overdue, raising the yield error: once the slice has run past its budget
** by ten seconds of the machine's cycles (the default of
** lua_set_cpu_deferral_limit).
*/
#define Z6_CPU_DEFERRAL_LIMIT (10 * 0x800000)
bool cpu_deferred_yield_overdue(void);

/* the accessor functions (lua_cpu_*, lua_*_cpu_*) are part of the API in
   vm/lua.h; this header adds the counters the interpreter touches directly */

/* difference b - a of two addresses */
long distance(const void *a, const void *b);

#endif
