#include "tui/input.hpp"

#include <array>
#include <string_view>

#include "common/text.hpp"
#include "platform/terminal.hpp"

namespace vireo::tui {

namespace {

constexpr std::uint8_t ESC = 0x1b;

KeyEvent key(KeyCode code) {
    return KeyEvent{.code = code};
}

KeyEvent character(char32_t ch) {
    return KeyEvent{.code = KeyCode::Char, .ch = ch};
}

KeyCode arrow(std::uint8_t final_byte) {
    switch (final_byte) {
        case 'A':
            return KeyCode::Up;
        case 'B':
            return KeyCode::Down;
        case 'C':
            return KeyCode::Right;
        case 'D':
            return KeyCode::Left;
        default:
            return KeyCode::Other;
    }
}

// ESC "[" parameters, intermediates, one final byte. Modifier parameters ("1;5A") are not
// looked at.
std::optional<DecodedKey> decode_csi(std::span<const std::uint8_t> bytes, bool more_may_follow) {
    std::size_t k = 2;
    while (k < bytes.size() && bytes[k] >= 0x20 && bytes[k] <= 0x3f) {
        ++k;
    }
    if (k == bytes.size()) {
        if (more_may_follow) {
            return std::nullopt;
        }
        // Cut short: "ESC [" alone is Alt+[; anything longer is a broken sequence.
        if (k == 2) {
            return DecodedKey{KeyEvent{.code = KeyCode::Char, .ch = U'[', .alt = true}, 2};
        }
        return DecodedKey{key(KeyCode::Other), k};
    }
    if (bytes[k] < 0x40 || bytes[k] > 0x7e) {
        // Not a final byte: the broken sequence ends before it.
        return DecodedKey{key(KeyCode::Other), k};
    }
    return DecodedKey{key(arrow(bytes[k])), k + 1};
}

// ESC "O" and one byte: the arrows of application cursor mode, F1 to F4.
std::optional<DecodedKey> decode_ss3(std::span<const std::uint8_t> bytes, bool more_may_follow) {
    if (bytes.size() < 3) {
        if (more_may_follow) {
            return std::nullopt;
        }
        return DecodedKey{KeyEvent{.code = KeyCode::Char, .ch = U'O', .alt = true}, 2};
    }
    return DecodedKey{key(arrow(bytes[2])), 3};
}

std::optional<DecodedKey> decode_character(std::span<const std::uint8_t> bytes,
                                           bool more_may_follow) {
    const DecodedChar decoded =
        decode_utf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (decoded.valid) {
        return DecodedKey{character(decoded.code_point), decoded.length};
    }
    if (decoded.cut_short && more_may_follow) {
        return std::nullopt;
    }
    return DecodedKey{key(KeyCode::Other), decoded.length};
}

}  // namespace

std::optional<DecodedKey> decode_key(std::span<const std::uint8_t> bytes, bool more_may_follow) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    const std::uint8_t first = bytes[0];
    if (first == ESC) {
        if (bytes.size() == 1) {
            if (more_may_follow) {
                return std::nullopt;
            }
            return DecodedKey{key(KeyCode::Esc), 1};
        }
        if (bytes[1] == '[') {
            return decode_csi(bytes, more_may_follow);
        }
        if (bytes[1] == 'O') {
            return decode_ss3(bytes, more_may_follow);
        }
        // ESC right before a key is Alt with that key.
        auto inner = decode_key(bytes.subspan(1), more_may_follow);
        if (!inner) {
            return std::nullopt;
        }
        inner->key.alt = true;
        inner->length += 1;
        return inner;
    }
    if (first == '\r') {
        return DecodedKey{key(KeyCode::Enter), 1};
    }
    if (first == '\t') {
        return DecodedKey{key(KeyCode::Other), 1};
    }
    if (first >= 0x01 && first <= 0x1a) {
        // Ctrl with a letter; a raw line feed is Ctrl+J, the back-space byte Ctrl+H.
        return DecodedKey{KeyEvent{.code = KeyCode::Char, .ch = U'a' + (first - 1), .ctrl = true},
                          1};
    }
    if (first >= 0x20 && first <= 0x7e) {
        return DecodedKey{character(first), 1};
    }
    if (first >= 0x80) {
        return decode_character(bytes, more_may_follow);
    }
    // NUL, the other control bytes and DEL (Backspace).
    return DecodedKey{key(KeyCode::Other), 1};
}

std::expected<bool, IoError> TerminalInput::poll(std::chrono::milliseconds timeout) {
    if (!pending_.empty()) {
        return true;
    }
    auto ready = platform::wait_for_input(timeout);
    if (!ready || !*ready) {
        return ready;
    }
    if (auto filled = fill(); !filled) {
        return std::unexpected(filled.error());
    }
    return true;
}

std::expected<std::optional<KeyEvent>, IoError> TerminalInput::read() {
    if (pending_.empty()) {
        return std::nullopt;
    }
    auto decoded = decode_key(pending_, true);
    while (!decoded) {
        // Part of a key is here; the rest of it follows at once or not at all.
        auto ready = platform::wait_for_input(ESC_DELAY);
        if (!ready) {
            return std::unexpected(ready.error());
        }
        if (!*ready) {
            decoded = decode_key(pending_, false);
            break;
        }
        if (auto filled = fill(); !filled) {
            return std::unexpected(filled.error());
        }
        decoded = decode_key(pending_, true);
    }
    pending_.erase(pending_.begin(),
                   pending_.begin() + static_cast<std::ptrdiff_t>(decoded->length));
    return decoded->key;
}

std::expected<void, IoError> TerminalInput::fill() {
    std::array<std::uint8_t, 256> chunk{};
    auto got = platform::read_input(chunk);
    if (!got) {
        return std::unexpected(got.error());
    }
    if (*got == 0) {
        // The terminal is gone; nothing will ever come.
        return std::unexpected(IoError::from_kind(IoErrorKind::UnexpectedEof));
    }
    pending_.insert(pending_.end(), chunk.begin(),
                    chunk.begin() + static_cast<std::ptrdiff_t>(*got));
    return {};
}

}  // namespace vireo::tui
