/*
 * alloc_count.cpp - counts heap allocations by standing in for the C library's allocator
 * entry points in this executable (the shared libraries' calls resolve to them too) and
 * passing each call on to glibc's own implementation.  operator new reaches malloc, so it
 * is counted without replacing it.  While tracing is on, each malloc also writes its call
 * stack to stderr (raw addresses: addr2line -f -C -e <binary> resolves them).
 */
#include "alloc_count.h"

#include <atomic>
#include <cstddef>

#include <execinfo.h>
#include <unistd.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *p);
}

namespace {
std::atomic<long> g_allocations{0};
bool g_tracing = false;
bool g_inTrace = false;  // backtrace itself may allocate on first use

void Trace()
{
    if (!g_tracing || g_inTrace)
        return;
    g_inTrace = true;
    void *frames[16];
    int n = backtrace(frames, 16);
    backtrace_symbols_fd(frames, n, 2);
    ssize_t ignored = write(2, "--\n", 3);
    (void)ignored;
    g_inTrace = false;
}
}  // namespace

long benchalloc::Allocations() { return g_allocations.load(std::memory_order_relaxed); }
void benchalloc::Tracing(bool on) { g_tracing = on; }

extern "C" {

void *malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    Trace();
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void *realloc(void *p, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

void *memalign(size_t alignment, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void **out, size_t alignment, size_t size)
{
    void *p = memalign(alignment, size);
    if (!p)
        return 12;  // ENOMEM
    *out = p;
    return 0;
}

void free(void *p) { __libc_free(p); }

}  // extern "C"
