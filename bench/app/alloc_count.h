// A count of the heap allocations the process makes (every malloc, calloc, realloc,
// aligned allocation and operator new, whoever calls it), for the allocation benchmarks.
#ifndef TAVROK_BENCH_APP_ALLOC_COUNT_H
#define TAVROK_BENCH_APP_ALLOC_COUNT_H

namespace benchalloc {

// Allocations made so far by every thread.
long Allocations();
// Writes the call stack of every malloc to stderr while on (single-threaded use).
void Tracing(bool on);

}  // namespace benchalloc

#endif
