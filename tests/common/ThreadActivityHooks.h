/* The record ThreadActivityHooks.c fills for the thread that installed it.
 * Shared by the C hooks and the C++ side (AllocationCounter.h). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define TAVRO_ACTIVITY_SITES 32

struct tavro_activity {
    long heap_allocations;
    long locks;
    long prints;
    long system_calls;
    long wake_signals;
    /* The objects locked and how often each, first come first listed. */
    int lock_sites;
    const void* lock_site[TAVRO_ACTIVITY_SITES];
    long lock_site_count[TAVRO_ACTIVITY_SITES];
};

/* Counts what the calling thread does into `record` from now on; null
 * stops. */
void tavro_activity_install(struct tavro_activity* record);
/* One heap allocation by the calling thread. */
void tavro_activity_count_allocation(void);

#ifdef __cplusplus
}
#endif
