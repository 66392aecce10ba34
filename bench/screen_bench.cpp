// The cost of the screens: one frame of the result screen with the largest sweep (1,000,001
// samples), with the chart's cells kept from the last frame and mapped anew; one whole idle turn
// of the loop (the frame built, compared with the last one and handed to the terminal backend on
// a pseudo-terminal) for the first screen and the result screen; and one whole frame of the
// result screen sent to the pseudo-terminal, as after a resize.

#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "pseudo_terminal.hpp"
#include "tui/buffer.hpp"
#include "tui/terminal.hpp"
#include "tui/vt_backend.hpp"
#include "ui/mod.hpp"
#include "ui/state.hpp"
#include "ui/view.hpp"

namespace {

vireo::UiState default_state(std::vector<vireo::PortRecord> ports = {}) {
    return vireo::build_ui_state(*vireo::read_config_document(vireo::DEFAULT_CONFIG), "vireo.toml",
                                 std::move(ports));
}

vireo::UiState result_state() {
    constexpr std::size_t points = 1'000'001;
    vireo::UiState state = default_state();
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

// The first screen as the loop shows it on entry, with a few serial ports.
vireo::UiState connection_state() {
    std::vector<vireo::PortRecord> ports;
    for (const char* name : {"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyUSB0"}) {
        ports.push_back({name, vireo::UnknownPort{}});
    }
    vireo::UiState state = default_state(std::move(ports));
    state.port_list = vireo::make_list(state.port_names);
    std::vector<std::string> rates;
    for (const std::uint32_t rate : state.baudrates) {
        rates.push_back(std::to_string(rate));
    }
    state.baud_list = vireo::make_list(std::move(rates));
    state.banner = vireo::BANNER;
    (void)vireo::rebuild_lists(state);
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

// Turns of the loop with nothing to do: the screen drawn again and again, unchanged.
void idle_turns(benchmark::State& bench, vireo::UiState state) {
    const auto columns = static_cast<std::uint16_t>(bench.range(0));
    const auto rows = static_cast<std::uint16_t>(bench.range(1));
    vireo::test::PseudoTerminal pty(columns, rows);
    if (pty.fd() < 0) {
        bench.SkipWithError("no pseudo-terminal");
        return;
    }
    vireo::tui::Terminal terminal(vireo::tui::make_vt_backend(pty.fd()));
    const auto turn = [&] {
        return terminal.draw(
            [&](vireo::tui::Buffer& frame) { (void)vireo::draw_view(frame, state); });
    };
    // The first frame goes out whole; what is measured is the frames after it.
    if (!turn()) {
        bench.SkipWithError("cannot draw");
        return;
    }
    pty.settle();
    const std::size_t before = pty.received();
    for (auto _ : bench) {
        if (!turn()) {
            bench.SkipWithError("cannot draw");
            return;
        }
    }
    pty.settle();
    bench.counters["bytes_per_turn"] = benchmark::Counter(
        static_cast<double>(pty.received() - before), benchmark::Counter::kAvgIterations);
}

void BM_IdleTurnFirstScreen(benchmark::State& bench) {
    idle_turns(bench, connection_state());
}
void BM_IdleTurnResultScreen(benchmark::State& bench) {
    idle_turns(bench, result_state());
}

BENCHMARK(BM_IdleTurnFirstScreen)
    ->Args({100, 30})
    ->Args({200, 60})
    ->ArgNames({"columns", "rows"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleTurnResultScreen)
    ->Args({100, 30})
    ->Args({200, 60})
    ->ArgNames({"columns", "rows"})
    ->Unit(benchmark::kMicrosecond);

// A whole frame on a screen that shows nothing known, as after a resize: a new terminal each
// time, whose buffers are made at the size, the screen cleared and every cell sent.
void BM_WholeFrameResultScreen(benchmark::State& bench) {
    vireo::UiState state = result_state();
    vireo::test::PseudoTerminal pty(200, 60);
    if (pty.fd() < 0) {
        bench.SkipWithError("no pseudo-terminal");
        return;
    }
    const auto frame = [&](vireo::tui::Buffer& buffer) { (void)vireo::draw_view(buffer, state); };
    // The chart's cells are mapped once, as they are before the window changes.
    (void)vireo::tui::Terminal(vireo::tui::make_vt_backend(pty.fd())).draw(frame);
    pty.settle();
    const std::size_t before = pty.received();
    for (auto _ : bench) {
        vireo::tui::Terminal terminal(vireo::tui::make_vt_backend(pty.fd()));
        if (!terminal.draw(frame)) {
            bench.SkipWithError("cannot draw");
            return;
        }
    }
    pty.settle();
    bench.counters["bytes_per_frame"] = benchmark::Counter(
        static_cast<double>(pty.received() - before), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_WholeFrameResultScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
