#include "transport/exchange.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <thread>

#include "common/text.hpp"
#include "transport/device_link.hpp"

namespace vireo {

namespace {

constexpr std::string_view PROMPT = "ch>";
constexpr std::string_view REJECTION_PREFIXES[] = {"error:", "usage:", "unknown command"};
// A pause in the instrument's output this long means it has said all it had to say.
constexpr std::chrono::milliseconds QUIET_TIME(100);

bool is_command_line(std::string_view command) {
    if (command.empty()) {
        return false;
    }
    for (const char c : command) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            return false;
        }
    }
    return true;
}

std::span<const std::uint8_t> as_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void pause(std::chrono::milliseconds delay) {
    if (delay.count() <= 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(delay);
    }
}

bool is_rejection_line(std::string_view line) {
    const std::string_view start = trim_start_unicode_whitespace(line);
    // Only the first bytes can match, so only they are folded.
    const std::string folded = ascii_lowercase(start.substr(0, 15));
    for (const std::string_view prefix : REJECTION_PREFIXES) {
        if (folded.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

// Lines end at "\n", which goes together with one "\r" before it; a final line without "\n"
// keeps a trailing "\r".
bool has_rejection_line(std::string_view text) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (is_rejection_line(line)) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace

std::expected<void, TransportError> write_command(DeviceLink& link, std::string_view command) {
    if (!is_command_line(command)) {
        return std::unexpected(TransportError::InvalidCommand{});
    }
    TransportStream& stream = link.reader().stream();
    if (auto written = write_all_stream(stream, as_bytes(command)); !written) {
        return std::unexpected(TransportError::Io{std::move(written.error())});
    }
    if (auto written = write_all_stream(stream, as_bytes("\r")); !written) {
        return std::unexpected(TransportError::Io{std::move(written.error())});
    }
    if (auto flushed = flush_stream(stream); !flushed) {
        return std::unexpected(TransportError::Io{std::move(flushed.error())});
    }
    return {};
}

std::expected<std::string, TransportError> read_until_prompt(DeviceLink& link) {
    std::string reply;
    const std::uint64_t limit = link.max_response_bytes();
    for (;;) {
        std::uint8_t byte = 0;
        if (auto read = read_exact(link, std::span(&byte, 1)); !read) {
            return std::unexpected(TransportError::Io{std::move(read.error())});
        }
        reply.push_back(static_cast<char>(byte));
        // The prompt test comes first, so a prompt ending exactly at the limit is accepted.
        if (reply.ends_with(PROMPT)) {
            reply.resize(reply.size() - PROMPT.size());
            return reply;
        }
        if (reply.size() >= limit) {
            return std::unexpected(TransportError::ResponseTooLong{limit});
        }
    }
}

std::expected<std::string, TransportError> exchange(DeviceLink& link, std::string_view command,
                                                    std::chrono::milliseconds first_delay,
                                                    std::chrono::milliseconds second_delay) {
    if (auto written = write_command(link, command); !written) {
        return std::unexpected(std::move(written.error()));
    }
    pause(first_delay);
    auto reply = read_until_prompt(link);
    if (!reply) {
        return std::unexpected(std::move(reply.error()));
    }
    pause(second_delay);
    return utf8_lossy(*reply);
}

std::expected<std::string, TransportError> send_command(DeviceLink& link, std::string_view command,
                                                        std::chrono::milliseconds first_delay,
                                                        std::chrono::milliseconds second_delay) {
    auto reply = exchange(link, command, first_delay, second_delay);
    if (!reply) {
        return std::unexpected(std::move(reply.error()));
    }
    if (has_rejection_line(*reply)) {
        return std::unexpected(
            TransportError::CommandRejected{std::string(command), std::move(*reply)});
    }
    return reply;
}

void discard_pending(DeviceLink& link, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    std::string tail;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return;
        }
        if (link.reader().buffered() == 0) {
            const auto ready = wait_readable(link.reader().stream(), std::min(QUIET_TIME, left));
            if (!ready || !*ready) {
                return;
            }
        }
        std::uint8_t byte = 0;
        if (!read_exact(link, std::span(&byte, 1))) {
            return;
        }
        tail.push_back(static_cast<char>(byte));
        if (tail.size() > PROMPT.size()) {
            tail.erase(0, 1);
        }
        if (tail == PROMPT) {
            return;
        }
    }
}

std::expected<void, TransportError> drain_prompt(DeviceLink& link) {
    auto drained = read_until_prompt(link);
    if (drained) {
        return {};
    }
    if (const auto* io = std::get_if<TransportError::Io>(&drained.error().value())) {
        const IoErrorKind kind = io->error.kind();
        if (kind == IoErrorKind::WouldBlock || kind == IoErrorKind::TimedOut) {
            return {};
        }
    }
    return std::unexpected(std::move(drained.error()));
}

}  // namespace vireo
