// A whole run of the largest sweep against the instrument double over loopback, no delays.

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <benchmark/benchmark.h>

#include "acquisition/worker.hpp"
#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"

namespace {

using namespace vireo;
namespace fs = std::filesystem;

void BM_WholeRunOfTheLargestSweep(benchmark::State& bench) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    const fs::path out = fs::temp_directory_path() / "vireo-worker-bench";
    Config config = *read_config_document(DEFAULT_CONFIG);
    config.connection.backend = ConnectionBackend::Tcp;
    config.connection.tcp_address = instrument.listen_tcp();
    config.serial.command_delay_ms = 0;
    config.serial.settle_delay_ms = 0;
    config.serial.scan_delay_ms = 0;
    config.output.directory = out;
    const ScanRequest request{240000000, 800000000, 1000001, 1};

    for (auto _ : bench) {
        ScanStateHandle state = make_scan_state();
        std::thread(acquisition_worker, AcquisitionJob{config, state, request}).detach();
        while (phase(state) != ScanPhase::Complete && phase(state) != ScanPhase::Failed) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (phase(state) != ScanPhase::Complete) {
            bench.SkipWithError("the run failed");
            break;
        }
        bench.PauseTiming();
        while (state.use_count() > 1) {
            std::this_thread::yield();
        }
        fs::remove_all(out);
        bench.ResumeTiming();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    bench.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_WholeRunOfTheLargestSweep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
