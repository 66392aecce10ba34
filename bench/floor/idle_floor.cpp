// The floor for the idle CPU bench: a loop that does nothing but wait 16 ms on the terminal for
// input, as the interface loop does between frames, and ends at "q".

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "platform/terminal.hpp"

int main() {
    using namespace std::chrono_literals;
    if (!vireo::platform::enable_raw_mode()) {
        std::fputs("idle-floor: standard input is not a terminal\n", stderr);
        return 1;
    }
    std::fputs("idle floor ready\r\n", stdout);
    std::fflush(stdout);
    bool quit = false;
    while (!quit) {
        const auto ready = vireo::platform::wait_for_input(16ms);
        if (!ready) {
            break;
        }
        if (!*ready) {
            continue;
        }
        std::uint8_t bytes[64];
        const auto got = vireo::platform::read_input(bytes);
        if (!got || *got == 0) {
            break;
        }
        for (std::size_t i = 0; i < *got; ++i) {
            quit = quit || bytes[i] == 'q';
        }
    }
    (void)vireo::platform::disable_raw_mode();
    return 0;
}
