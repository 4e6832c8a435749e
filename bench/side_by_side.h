/*
 * side_by_side.h - our job and a baseline doing the same job, timed in alternation.
 *
 * Each iteration runs our side once and the baseline once and charges each the process CPU
 * time it took, so that both see the same machine load however busy the machine is and
 * however the load drifts during the run.  The counters give each side's mean time per call
 * in milliseconds and the ratio of the totals (below 1: ours is faster).  Used by the
 * loading benchmarks, with assimp's ReadFile as the baseline.
 */
#ifndef TAVROK_BENCH_SIDE_BY_SIDE_H
#define TAVROK_BENCH_SIDE_BY_SIDE_H

#include <benchmark/benchmark.h>

#include <ctime>

inline double ProcessCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// `ours` and `baseline` return whether the job succeeded; a failure stops the benchmark
// with `what` as its error.
template <class Ours, class Baseline>
void RunSideBySide(benchmark::State &state, const char *what, Ours ours, Baseline baseline)
{
    double oursTotal = 0, baselineTotal = 0;
    for (auto _ : state) {
        double t0 = ProcessCpuSeconds();
        bool ok = ours();
        double t1 = ProcessCpuSeconds();
        ok = baseline() && ok;
        double t2 = ProcessCpuSeconds();
        if (!ok) {
            state.SkipWithError(what);
            return;
        }
        oursTotal += t1 - t0;
        baselineTotal += t2 - t1;
    }
    double n = double(state.iterations());
    state.counters["ours_ms"] = 1e3 * oursTotal / n;
    state.counters["assimp_ms"] = 1e3 * baselineTotal / n;
    state.counters["ratio"] = baselineTotal > 0 ? oursTotal / baselineTotal : 0;
}

#endif
