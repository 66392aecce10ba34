// One frame of the result screen at 200x60 with the largest sweep (1,000,001 samples): with the
// chart's cells kept from the last frame, and mapped anew.

#include <vector>

#include <benchmark/benchmark.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "tui/buffer.hpp"
#include "ui/state.hpp"
#include "ui/view.hpp"

namespace {

vireo::UiState result_state() {
    constexpr std::size_t points = 1'000'001;
    vireo::UiState state = vireo::build_ui_state(
        *vireo::read_config_document(vireo::DEFAULT_CONFIG), "vireo.toml", {});
    state.ui_mode = vireo::UiMode::ShowResult;
    state.start_field.value = 0;
    state.stop_field.value = 960;
    state.points_field.value = points;
    state.samples.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double mhz = 960.0 * static_cast<double>(i) / static_cast<double>(points - 1);
        const double level = static_cast<double>((i * 7919) % 4096) / 32.0 - 128.0;
        state.samples.push_back({mhz, level});
    }
    return state;
}

void draw_frames(benchmark::State& bench, bool cached) {
    vireo::UiState state = result_state();
    vireo::tui::Buffer frame(vireo::tui::Rect{0, 0, 200, 60});
    for (auto _ : bench) {
        if (!cached) {
            state.chart_cache.clear();
        }
        frame.reset();
        auto drawn = vireo::draw_view(frame, state);
        benchmark::DoNotOptimize(drawn);
        benchmark::DoNotOptimize(frame);
    }
}

void BM_ResultFrameCached(benchmark::State& bench) {
    draw_frames(bench, true);
}
void BM_ResultFrameUncached(benchmark::State& bench) {
    draw_frames(bench, false);
}

BENCHMARK(BM_ResultFrameCached)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResultFrameUncached)->Unit(benchmark::kMillisecond);

}  // namespace
