// Micro-benchmarks of the surface math: one Bernstein weight, one surface point, and the full
// 50 x 50 sweep a frame performs, at every grid size from 1 x 1 to 4 x 4. Each benchmark is
// repeated and reported as aggregates (mean, median, stddev, cv) plus min and max for the spread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "surface/surface.h"

namespace {
constexpr int kRepetitions = 15;

// The 50 parameter values of the sampling grid, made the way the sweep makes them.
std::vector<double> sampleParameters() {
    std::vector<double> t;
    for (double x = 0.0; x < 1.0; x += kSampleStep) t.push_back(x);
    return t;
}

void useGrid(int rows, int cols) {
    clearAll();
    controlGrid.rows = rows;
    controlGrid.cols = cols;
    buildBaseGrid();
    controlGrid.offset[rows / 2][cols / 2] = {0.0, 0.0, 15.0};  // one edit, so z is not all zero
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double maximum(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

template <typename B>
B* repeated(B* b) {
    return b->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", minimum)
        ->ComputeStatistics("max", maximum);
}

// One weight B(n, i, t); t walks the 50 sample parameters so no single value is special.
void BM_Bernstein(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int i = static_cast<int>(state.range(1));
    const std::vector<double> ts = sampleParameters();
    std::size_t k = 0;
    for (auto _ : state) {
        double t = ts[k];
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(bernstein(n, i, t));
        k = (k + 1 == ts.size()) ? 0 : k + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// One surface point at the given grid size; (u, v) walks the whole sampling grid.
void BM_EvaluateSurfacePoint(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    useGrid(n, n);
    const std::vector<double> ts = sampleParameters();
    std::size_t a = 0;
    std::size_t b = 0;
    for (auto _ : state) {
        double u = ts[a];
        double v = ts[b];
        benchmark::DoNotOptimize(u);
        benchmark::DoNotOptimize(v);
        SurfaceSample s = evaluateSurfacePoint(u, v);
        benchmark::DoNotOptimize(s);
        if (++a == ts.size()) {
            a = 0;
            b = (b + 1 == ts.size()) ? 0 : b + 1;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The whole sweep a frame does: 2,500 samples, every one handed on as the drawing pass would.
void BM_SweepSurface(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    useGrid(n, n);
    long samples = 0;
    for (auto _ : state) {
        float sum = 0.0f;
        sweepSurface([&](const SurfaceSample& sample) {
            // A writable copy: newer Google Benchmark deprecates DoNotOptimize on const objects
            // larger than a pointer.
            SurfaceSample s = sample;
            benchmark::DoNotOptimize(s);
            sum += s.x + s.y + s.z;
            ++samples;
        });
        benchmark::DoNotOptimize(sum);
    }
    if (samples != state.iterations() * 2500) state.SkipWithError("sweep did not give 2,500 samples");
    state.SetItemsProcessed(samples);
}
}  // namespace

BENCHMARK(BM_Bernstein)->Apply([](benchmark::internal::Benchmark* b) {
    repeated(b)->Args({0, 0})->Args({1, 1})->Args({2, 1})->Args({3, 0})->Args({3, 1})->Args({3, 3});
});
BENCHMARK(BM_EvaluateSurfacePoint)->Apply([](benchmark::internal::Benchmark* b) {
    repeated(b)->Arg(1)->Arg(2)->Arg(3)->Arg(4);
});
BENCHMARK(BM_SweepSurface)->Apply([](benchmark::internal::Benchmark* b) {
    repeated(b)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMicrosecond);
});

BENCHMARK_MAIN();
