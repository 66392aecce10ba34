// The raw frame at its largest (1,000,001 points): decoding it, and reading it from the
// instrument double over loopback TCP through the real link.

#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"
#include "protocol/raw_frame.hpp"
#include "transport/exchange.hpp"

namespace {

using namespace vireo;

const ScanRequest LARGEST{240000000, 800000000, 1000001, 1};
constexpr std::uint16_t ZERO_OFFSET = 174;

std::vector<std::uint8_t> largest_frame() {
    std::vector<std::uint8_t> frame;
    frame.reserve(3 * LARGEST.points + 2);
    frame.push_back('{');
    for (std::uint64_t i = 0; i < LARGEST.points; ++i) {
        const auto raw = sim::InstrumentDouble::raw_level(LARGEST.start_hz, LARGEST.stop_hz,
                                                          LARGEST.points, i, ZERO_OFFSET);
        frame.push_back('x');
        frame.push_back(static_cast<std::uint8_t>(raw & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(raw >> 8));
    }
    frame.push_back('}');
    return frame;
}

void BM_DecodeRawScan(benchmark::State& state) {
    const auto axis = state.range(0) == 0 ? FrequencyAxis::Firmware : FrequencyAxis::Inclusive;
    const auto frame = largest_frame();
    for (auto _ : state) {
        auto samples = decode_raw_scan(frame, LARGEST, ZERO_OFFSET, axis);
        if (!samples) {
            state.SkipWithError(display(samples.error()).c_str());
            break;
        }
        benchmark::DoNotOptimize(samples->data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * LARGEST.points));
    state.SetLabel(axis == FrequencyAxis::Firmware ? "firmware" : "inclusive");
}
BENCHMARK(BM_DecodeRawScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadRawFrameOverTcp(benchmark::State& state) {
    sim::InstrumentDouble instrument(sim::Options{.banner = false});
    auto config = read_config_document(DEFAULT_CONFIG);
    if (!config) {
        state.SkipWithError("no default configuration");
        return;
    }
    config->connection.backend = ConnectionBackend::Tcp;
    config->connection.tcp_address = instrument.listen_tcp();
    auto link = open_link(*config);
    if (!link) {
        state.SkipWithError(display(link.error()).c_str());
        return;
    }
    std::uint64_t reports = 0;
    const RawFrameProgress progress = [&reports](std::uint64_t, std::uint64_t) { ++reports; };
    for (auto _ : state) {
        auto frame = read_raw_frame(*link, LARGEST, progress);
        if (!frame) {
            state.SkipWithError(display(frame.error()).c_str());
            break;
        }
        benchmark::DoNotOptimize(frame->data());
    }
    benchmark::DoNotOptimize(reports);
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * (3 * LARGEST.points + 2)));
}
// Wall time: the work is shared with the double's serving thread.
BENCHMARK(BM_ReadRawFrameOverTcp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
