// One frame of the result chart (200x60 cells, 1,000,001 points): with the cells mapped on an
// earlier frame, and mapped anew.

#include <cstddef>
#include <span>
#include <vector>

#include <benchmark/benchmark.h>

#include "tui/buffer.hpp"
#include "tui/chart.hpp"

namespace {

using namespace vireo::tui;

struct Sample {
    double frequency_mhz;
    double level_dbm;
};

std::vector<Sample> largest_sweep() {
    constexpr std::size_t points = 1'000'001;
    std::vector<Sample> samples;
    samples.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double mhz = 240.0 + 560.0 * static_cast<double>(i) / static_cast<double>(points - 1);
        const double level = static_cast<double>((i * 7919) % 4096) / 32.0 - 128.0;
        samples.push_back({mhz, level});
    }
    return samples;
}

Chart result_chart(const std::vector<Sample>& samples) {
    Dataset dataset = Dataset::of(std::span<const Sample>(samples), [](const Sample& sample) {
        return Point{sample.frequency_mhz, sample.level_dbm};
    });
    dataset.style = Style::foreground(Color::Yellow);
    const Style gray = Style::foreground(Color::Gray);
    return Chart{.dataset = dataset,
                 .x_axis = Axis{{240.0, 800.0}, {"240MHz", "520MHz", "800MHz"}, gray},
                 .y_axis = Axis{{-128.0, 0.0}, {"-128 dBm", "-64 dBm", "0 dBm"}, gray}};
}

constexpr Rect AREA{0, 0, 200, 60};

void BM_ChartFrameCached(benchmark::State& state) {
    const auto samples = largest_sweep();
    const Chart chart = result_chart(samples);
    Buffer buffer(AREA);
    ChartCache cache;
    render(chart, AREA, buffer, cache);
    for (auto _ : state) {
        buffer.reset();
        render(chart, AREA, buffer, cache);
        benchmark::DoNotOptimize(buffer.cell(100, 30));
    }
}
BENCHMARK(BM_ChartFrameCached)->Unit(benchmark::kMicrosecond);

void BM_ChartFrameUncached(benchmark::State& state) {
    const auto samples = largest_sweep();
    const Chart chart = result_chart(samples);
    Buffer buffer(AREA);
    ChartCache cache;
    for (auto _ : state) {
        cache.clear();
        buffer.reset();
        render(chart, AREA, buffer, cache);
        benchmark::DoNotOptimize(buffer.cell(100, 30));
    }
}
BENCHMARK(BM_ChartFrameUncached)->Unit(benchmark::kMillisecond);

}  // namespace
