// How fast the instrument double delivers a 1,000,001-point raw frame over loopback TCP to a
// plain socket reader: the ceiling for any frame-reading benchmark run against it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "instrument_double.hpp"

namespace {

int connect_to(const std::string& address) {
    const auto colon = address.rfind(':');
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1))));
    ::inet_pton(AF_INET, address.substr(0, colon).c_str(), &addr.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return -1;
    }
    return fd;
}

// Reads until the received bytes end with `marker`; false when the connection fails.
bool read_until_end(int fd, std::vector<char>& buffer, std::string_view marker,
                    std::size_t& total) {
    total = 0;
    while (true) {
        const auto n = ::read(fd, buffer.data() + total, buffer.size() - total);
        if (n <= 0) {
            return false;
        }
        total += static_cast<std::size_t>(n);
        if (total >= marker.size() &&
            std::string_view(buffer.data() + total - marker.size(), marker.size()) == marker) {
            return true;
        }
        if (total == buffer.size()) {
            return false;
        }
    }
}

void BM_DoubleScanrawFrame(benchmark::State& state) {
    sim::InstrumentDouble instrument;
    const int fd = connect_to(instrument.listen_tcp());
    std::vector<char> buffer(4 << 20);
    std::size_t total = 0;
    if (fd < 0 || !read_until_end(fd, buffer, "ch> ", total)) {
        state.SkipWithError("cannot reach the double");
        return;
    }
    const std::string_view command = "scanraw 1000000 800000000 1000001\r";
    for (auto _ : state) {
        if (::write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size()) ||
            !read_until_end(fd, buffer, "}ch> ", total)) {
            state.SkipWithError("frame not received");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
    ::close(fd);
}
BENCHMARK(BM_DoubleScanrawFrame)->Unit(benchmark::kMillisecond);

}  // namespace
