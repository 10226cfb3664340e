/* Heap meter for the memory table of bench/compare.py, preloaded into a helper process with
 * LD_PRELOAD. It forwards every allocation to glibc and keeps the bytes in use, their peak since
 * the last reset, and the number of allocations since that reset, so one pricing can be measured
 * from Python through ctypes:
 *
 *   meter = ctypes.CDLL(path); meter.alloc_meter_reset(); price(); meter.alloc_meter_peak()
 *
 * Sizes are the usable sizes glibc reports, so the peak counts what the allocator really handed
 * out. Blocks freed during the window that were allocated before it lower the level; the peak is
 * taken relative to the level at the reset. Python itself is single-threaded here, but the
 * counters are atomic so a stray thread cannot tear them.
 */
#define _GNU_SOURCE
#include <malloc.h>
#include <stdatomic.h>
#include <stddef.h>
#include <string.h>

extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *p, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);
extern void __libc_free(void *p);

static _Atomic long long level;
static _Atomic long long base;
static _Atomic long long peak;
static _Atomic long long count;

static void grew(void *p) {
  if (p == NULL) {
    return;
  }
  const long long now = atomic_fetch_add(&level, (long long)malloc_usable_size(p)) +
                        (long long)malloc_usable_size(p);
  atomic_fetch_add(&count, 1);
  long long seen = atomic_load(&peak);
  while (now > seen && !atomic_compare_exchange_weak(&peak, &seen, now)) {
  }
}

static void shrank(void *p) {
  if (p != NULL) {
    atomic_fetch_sub(&level, (long long)malloc_usable_size(p));
  }
}

void *malloc(size_t size) {
  void *p = __libc_malloc(size);
  grew(p);
  return p;
}

void *calloc(size_t n, size_t size) {
  void *p = __libc_calloc(n, size);
  grew(p);
  return p;
}

void *realloc(void *old, size_t size) {
  shrank(old);
  void *p = __libc_realloc(old, size);
  if (p == NULL && old != NULL && size != 0) {
    /* The old block is still live when a reallocation fails. */
    atomic_fetch_add(&level, (long long)malloc_usable_size(old));
    return NULL;
  }
  grew(p);
  return p;
}

void *memalign(size_t alignment, size_t size) {
  void *p = __libc_memalign(alignment, size);
  grew(p);
  return p;
}

void *aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void **out, size_t alignment, size_t size) {
  void *p = memalign(alignment, size);
  if (p == NULL) {
    return 12; /* ENOMEM */
  }
  *out = p;
  return 0;
}

void free(void *p) {
  shrank(p);
  __libc_free(p);
}

void alloc_meter_reset(void) {
  const long long now = atomic_load(&level);
  atomic_store(&base, now);
  atomic_store(&peak, now);
  atomic_store(&count, 0);
}

/* Peak bytes in use above the level at the last reset. */
long long alloc_meter_peak(void) { return atomic_load(&peak) - atomic_load(&base); }

/* Allocations since the last reset. */
long long alloc_meter_count(void) { return atomic_load(&count); }
