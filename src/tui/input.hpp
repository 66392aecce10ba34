#pragma once
// Keys from the terminal: a decoder from the bytes a terminal sends to key events, and the
// input source the interface loop waits on.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "common/io_error.hpp"

namespace vireo::tui {

enum class KeyCode : std::uint8_t {
    Char,  // a character; `ch` holds its code point
    Enter,
    Esc,
    Up,
    Down,
    Left,
    Right,
    Other,  // a key the interface has no use for (Tab, Backspace, function keys, ...)
};

struct KeyEvent {
    KeyCode code = KeyCode::Other;
    char32_t ch = 0;
    bool ctrl = false;
    bool alt = false;
    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

struct DecodedKey {
    KeyEvent key;
    std::size_t length;  // bytes it took, at least 1
};

// Decodes the first key of `bytes`. When the bytes could still grow into a longer key (a lone
// ESC, half an escape sequence or of a UTF-8 character) and `more_may_follow` is set, returns
// none so the caller can wait for the rest; otherwise every non-empty input gives a key.
std::optional<DecodedKey> decode_key(std::span<const std::uint8_t> bytes, bool more_may_follow);

// Where the interface loop gets its keys.
class InputSource {
  public:
    virtual ~InputSource() = default;
    // Waits at most `timeout` for input; false when nothing arrived.
    virtual std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) = 0;
    // The next key after poll said true; none when the input held no key after all.
    virtual std::expected<std::optional<KeyEvent>, IoError> read() = 0;
};

// Keys from standard input (in raw mode). A lone ESC counts as the Esc key when nothing
// follows within ESC_DELAY.
class TerminalInput final : public InputSource {
  public:
    static constexpr std::chrono::milliseconds ESC_DELAY{25};

    std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) override;
    std::expected<std::optional<KeyEvent>, IoError> read() override;

  private:
    std::expected<void, IoError> fill();
    std::vector<std::uint8_t> pending_;
};

}  // namespace vireo::tui
