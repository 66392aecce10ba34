// write_scan_csv of the largest sweep (1,000,001 points over 0-960 MHz), fsync included.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "acquisition/csv_output.hpp"

namespace {

namespace fs = std::filesystem;

std::vector<vireo::Sample> largest_sweep() {
    constexpr std::size_t points = 1'000'001;
    constexpr double stop_hz = 960e6;
    std::vector<vireo::Sample> samples;
    samples.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double hz = stop_hz * static_cast<double>(i) / static_cast<double>(points - 1);
        // Levels as the decoder makes them: raw / 32 minus the zero offset.
        const double level = static_cast<double>((i * 7919) % 4096) / 32.0 - 128.0;
        samples.push_back({hz / 1e6, level});
    }
    return samples;
}

void BM_WriteScanCsv(benchmark::State& state) {
    const auto samples = largest_sweep();
    std::string pattern = (fs::temp_directory_path() / "vireo-csv-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("cannot create a temporary directory");
        return;
    }
    const vireo::OutputConfig output{pattern, "scan", true};
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        const auto path = vireo::write_scan_csv(output, samples);
        if (!path) {
            state.SkipWithError(display(path.error()).c_str());
            break;
        }
        state.PauseTiming();
        bytes = fs::file_size(*path);
        fs::remove(*path);
        state.ResumeTiming();
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
    fs::remove_all(pattern);
}
BENCHMARK(BM_WriteScanCsv)->Unit(benchmark::kMillisecond);

}  // namespace
