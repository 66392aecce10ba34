// vireo-sim: the instrument double as a program, for trying Vireo without a tinySA.
//
//   vireo-sim [--model basic|ultra] [--listen ADDRESS] [--pty] [--point-delay-us N]
//             [--byte-delay-us N] [--reply-delay-us N] [--no-banner] [--no-echo]
//             [--hide WORD]... [--fault KIND] [--fault-count N] [--fault-byte N]
//             [--fault-command TEXT] [--fault-line TEXT]
//
// Serves until SIGINT or SIGTERM. Prints one line saying where it listens.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "instrument_double.hpp"

namespace {

constexpr std::string_view USAGE =
    "usage: vireo-sim [--model basic|ultra] [--listen ADDRESS] [--pty]\n"
    "                 [--point-delay-us N] [--byte-delay-us N] [--reply-delay-us N]\n"
    "                 [--no-banner] [--no-echo] [--hide WORD]... [--fault KIND]\n"
    "                 [--fault-count N] [--fault-byte N] [--fault-command TEXT]\n"
    "                 [--fault-line TEXT]\n"
    "ADDRESS is a numeric a.b.c.d:port or [v6]:port (default 127.0.0.1:7355 without --pty).\n"
    "KIND: silent, close-after-bytes, long-echo, garbage, bad-alignment, no-closing-brace,\n"
    "      no-prompt, oversized-reply, reject, trickle, late-reply.\n";

std::optional<sim::FaultKind> parse_fault(std::string_view name) {
    using sim::FaultKind;
    const std::pair<std::string_view, FaultKind> names[] = {
        {"none", FaultKind::None},
        {"silent", FaultKind::Silent},
        {"close-after-bytes", FaultKind::CloseAfterBytes},
        {"long-echo", FaultKind::LongEcho},
        {"garbage", FaultKind::Garbage},
        {"bad-alignment", FaultKind::BadAlignment},
        {"no-closing-brace", FaultKind::NoClosingBrace},
        {"no-prompt", FaultKind::NoPrompt},
        {"oversized-reply", FaultKind::OversizedReply},
        {"reject", FaultKind::Reject},
        {"trickle", FaultKind::Trickle},
        {"late-reply", FaultKind::LateReply},
    };
    for (const auto& [text, kind] : names) {
        if (text == name) {
            return kind;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
    std::uint64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return value;
}

int usage_error(std::string_view message) {
    fmt::print(stderr, "vireo-sim: {}\n{}", message, USAGE);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    std::string listen;
    bool pty = false;

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t k = 0; k < args.size(); ++k) {
        const auto arg = args[k];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (k + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++k];
        };
        const auto number = [&]() -> std::optional<std::uint64_t> {
            const auto text = value();
            return text ? parse_unsigned(*text) : std::nullopt;
        };

        if (arg == "--help" || arg == "-h") {
            fmt::print("{}", USAGE);
            return 0;
        } else if (arg == "--model") {
            const auto model = value();
            if (model == "basic") {
                options.model = sim::Model::Basic;
            } else if (model == "ultra") {
                options.model = sim::Model::Ultra;
            } else {
                return usage_error("--model takes basic or ultra");
            }
        } else if (arg == "--listen") {
            const auto address = value();
            if (!address) {
                return usage_error("--listen takes an address");
            }
            listen = *address;
        } else if (arg == "--pty") {
            pty = true;
        } else if (arg == "--point-delay-us" || arg == "--byte-delay-us" ||
                   arg == "--reply-delay-us") {
            const auto us = number();
            if (!us) {
                return usage_error(fmt::format("{} takes a number", arg));
            }
            (arg == "--point-delay-us"  ? options.point_delay
             : arg == "--byte-delay-us" ? options.byte_delay
                                        : options.reply_delay) = std::chrono::microseconds(*us);
        } else if (arg == "--no-banner") {
            options.banner = false;
        } else if (arg == "--no-echo") {
            options.echo = false;
        } else if (arg == "--hide") {
            const auto word = value();
            if (!word) {
                return usage_error("--hide takes a command word");
            }
            options.hidden_commands.emplace_back(*word);
        } else if (arg == "--fault") {
            const auto name = value();
            const auto kind = name ? parse_fault(*name) : std::nullopt;
            if (!kind) {
                return usage_error("unknown --fault kind");
            }
            options.fault = *kind;
        } else if (arg == "--fault-count") {
            const auto count = number();
            if (!count) {
                return usage_error("--fault-count takes a number");
            }
            options.fault_count = *count;
        } else if (arg == "--fault-byte") {
            const auto byte = number();
            if (!byte || *byte > 255) {
                return usage_error("--fault-byte takes a number 0..255");
            }
            options.fault_byte = static_cast<std::uint8_t>(*byte);
        } else if (arg == "--fault-command" || arg == "--fault-line") {
            const auto text = value();
            if (!text) {
                return usage_error(fmt::format("{} takes a text", arg));
            }
            (arg == "--fault-command" ? options.fault_command : options.fault_line) = *text;
        } else {
            return usage_error(fmt::format("unknown argument {}", arg));
        }
    }
    if (listen.empty() && !pty) {
        listen = "127.0.0.1:7355";
    }

    // Block the stop signals before any thread starts, so only sigwait below sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    try {
        sim::InstrumentDouble instrument(options);
        std::vector<std::string> places;
        if (!listen.empty()) {
            places.push_back(instrument.listen_tcp(listen));
        }
        if (pty) {
            places.push_back(instrument.open_pty());
        }
        fmt::print("vireo-sim: tinySA {} listening on {}\n",
                   options.model == sim::Model::Basic ? "Basic" : "Ultra",
                   fmt::join(places, " and "));
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop_signals, &signal);
    } catch (const std::exception& e) {
        fmt::print(stderr, "vireo-sim: {}\n", e.what());
        return 1;
    }
    return 0;
}
