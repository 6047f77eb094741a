// Writes the float bits of every surface sample for a fixed list of grids and edits, so that the
// output of two builds can be compared byte for byte (cmp). Usage: sample_dump [file]; with no
// file the bytes go to standard output. A summary line per case goes to standard error.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "surface/surface.h"

namespace {
struct Edit {
    int row, col;
    double dx, dy, dz;
};

struct Case {
    const char* name;
    std::vector<Edit> edits;
};

std::uint64_t fnv1a(const void* data, std::size_t n, std::uint64_t h) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < n; ++k) {
        h ^= p[k];
        h *= 1099511628211ULL;
    }
    return h;
}
}  // namespace

int main(int argc, char** argv) {
    const std::vector<Case> cases = {
        {"undisplaced", {}},
        {"one-z", {{1, 1, 0.0, 0.0, 15.0}}},
        {"steps-of-5", {{0, 0, 5.0, -10.0, 25.0}, {2, 1, 0.0, 0.0, -35.0}, {3, 3, 40.0, 5.0, 5.0},
                        {1, 2, -5.0, 15.0, 0.0}}},
        {"every-point",
         {{0, 0, 1.5, -2.25, 3.0}, {0, 1, -7.0, 0.125, 11.0}, {0, 2, 0.1, 0.2, 0.3},
          {0, 3, 1e-3, -1e-3, 250.0}, {1, 0, 17.0, 19.0, -23.0}, {1, 1, 0.0, 0.0, 15.0},
          {1, 2, -99.5, 42.0, 7.75}, {1, 3, 3.3, -4.4, 5.5}, {2, 0, 1e3, -1e3, 0.5},
          {2, 1, -0.7, 0.9, -1.1}, {2, 2, 123.456, -654.321, 1.0 / 3.0},
          {2, 3, 5.0, 5.0, -5.0}, {3, 0, -60.0, 35.0, 2.0}, {3, 1, 0.01, 0.02, 0.03},
          {3, 2, 500.0, 0.0, -500.0}, {3, 3, -1.0 / 7.0, 2.0 / 9.0, 1e-7}}},
        // Edits outside 4 x 4 must never reach a sample.
        {"outside-active", {{5, 5, 100.0, 100.0, 100.0}, {9, 0, -3.0, 4.0, 5.0}}},
    };

    std::FILE* out = stdout;
    if (argc > 1) {
        out = std::fopen(argv[1], "wb");
        if (out == nullptr) {
            std::perror(argv[1]);
            return 1;
        }
    }
    std::uint64_t total = 1469598103934665603ULL;
    long count = 0;
    for (const Case& c : cases) {
        for (int rows = 1; rows <= 4; ++rows) {
            for (int cols = 1; cols <= 4; ++cols) {
                clearAll();
                controlGrid.rows = rows;
                controlGrid.cols = cols;
                buildBaseGrid();
                for (const Edit& e : c.edits) controlGrid.offset[e.row][e.col] = {e.dx, e.dy, e.dz};
                std::vector<SurfaceSample> samples;
                samples.reserve(2500);
                sweepSurface([&](const SurfaceSample& s) { samples.push_back(s); });
                const std::size_t bytes = samples.size() * sizeof(SurfaceSample);
                if (samples.size() != 2500 || std::fwrite(samples.data(), 1, bytes, out) != bytes) {
                    std::fprintf(stderr, "sample_dump: %s %dx%d: %zu samples or write failed\n",
                                 c.name, rows, cols, samples.size());
                    return 1;
                }
                const std::uint64_t h = fnv1a(samples.data(), bytes, 1469598103934665603ULL);
                total = fnv1a(&h, sizeof h, total);
                count += static_cast<long>(samples.size());
                std::fprintf(stderr, "%-15s %dx%d %016llx\n", c.name, rows, cols,
                             static_cast<unsigned long long>(h));
            }
        }
    }
    if (out != stdout && std::fclose(out) != 0) return 1;
    std::fprintf(stderr, "samples %ld fnv1a %016llx\n", count, static_cast<unsigned long long>(total));
    return 0;
}
