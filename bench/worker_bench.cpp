// A whole run of the largest sweep against the instrument double over loopback, no delays.

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "acquisition/worker.hpp"
#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"

namespace {

using namespace vireo;
namespace fs = std::filesystem;

// Runs the worker as the interface does, until the run has ended.
ScanStateHandle run_to_end(const Config& config, const ScanRequest& request) {
    ScanStateHandle state = make_scan_state();
    std::thread(acquisition_worker, AcquisitionJob{config, state, request}).detach();
    while (phase(state) != ScanPhase::Complete && phase(state) != ScanPhase::Failed) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return state;
}

// The worker lets go of the state just after the run has ended.
void wait_until_released(const ScanStateHandle& state) {
    while (state.use_count() > 1) {
        std::this_thread::yield();
    }
}

// Makes the peak resident size start again from the present one.
bool restart_peak() {
    std::ofstream clear_refs("/proc/self/clear_refs");
    clear_refs << "5" << std::flush;
    return clear_refs.good();
}

// A "Name:   value kB" line of /proc/self/status.
std::optional<long> status_kb(std::string_view name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ':') {
            std::istringstream value(line.substr(name.size() + 1));
            long kb = 0;
            if (value >> kb) {
                return kb;
            }
        }
    }
    return std::nullopt;
}

// The peak resident size of one run, in KiB, measured in a child process: the bench process's
// own peak holds what earlier benchmarks left behind. The child gives back the free heap it
// inherited and starts its peak afresh before the run; the double keeps serving from here.
std::optional<long> peak_kib_of_one_run(const Config& config, const ScanRequest& request) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(ends[0]);
        ::malloc_trim(0);
        std::optional<long> peak;
        if (restart_peak()) {
            const ScanStateHandle state = run_to_end(config, request);
            wait_until_released(state);
            if (phase(state) == ScanPhase::Complete) {
                peak = status_kb("VmHWM");
            }
        }
        const std::string text = peak ? std::to_string(*peak) : "";
        (void)!::write(ends[1], text.data(), text.size());
        ::_exit(peak ? 0 : 1);
    }
    ::close(ends[1]);
    std::string text;
    char buffer[64];
    for (ssize_t n = 0; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    long kib = 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::from_chars(text.data(), text.data() + text.size(), kib).ec != std::errc{}) {
        return std::nullopt;
    }
    return kib;
}

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

    const auto peak = peak_kib_of_one_run(config, request);
    fs::remove_all(out);
    if (!peak) {
        bench.SkipWithError("the measured run failed");
        return;
    }
    for (auto _ : bench) {
        const ScanStateHandle state = run_to_end(config, request);
        if (phase(state) != ScanPhase::Complete) {
            bench.SkipWithError("the run failed");
            break;
        }
        bench.PauseTiming();
        wait_until_released(state);
        fs::remove_all(out);
        bench.ResumeTiming();
    }
    bench.counters["run_peak_rss_MiB"] = static_cast<double>(*peak) / 1024.0;
}
BENCHMARK(BM_WholeRunOfTheLargestSweep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
