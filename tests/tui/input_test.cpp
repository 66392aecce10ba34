#include "tui/input.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vireo::tui {
namespace {

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

KeyEvent chr(char32_t ch, bool ctrl = false, bool alt = false) {
    return KeyEvent{.code = KeyCode::Char, .ch = ch, .ctrl = ctrl, .alt = alt};
}

KeyEvent code(KeyCode c, bool alt = false) {
    return KeyEvent{.code = c, .alt = alt};
}

struct Case {
    std::string_view name;
    std::string bytes;
    KeyEvent key;
    std::size_t length;
};

// Whole input at hand (nothing more will come).
TEST(DecodeKey, DecodesTheFirstKeyOfCompleteInput) {
    const Case cases[] = {
        {"letter", "q", chr(U'q'), 1},
        {"letter followed by more", "jk", chr(U'j'), 1},
        {"upper case stays apart", "Q", chr(U'Q'), 1},
        {"carriage return is Enter", "\r", code(KeyCode::Enter), 1},
        {"line feed is Ctrl+J", "\n", chr(U'j', true), 1},
        {"back-space byte is Ctrl+H", "\x08", chr(U'h', true), 1},
        {"Ctrl+Q", "\x11", chr(U'q', true), 1},
        {"Ctrl+A", "\x01", chr(U'a', true), 1},
        {"Ctrl+Z", "\x1a", chr(U'z', true), 1},
        {"Tab", "\t", code(KeyCode::Other), 1},
        {"Backspace (DEL)", "\x7f", code(KeyCode::Other), 1},
        {"NUL", std::string(1, '\0'), code(KeyCode::Other), 1},
        {"file separator", "\x1c", code(KeyCode::Other), 1},
        {"lone ESC", "\x1b", code(KeyCode::Esc), 1},
        {"CSI up", "\x1b[A", code(KeyCode::Up), 3},
        {"CSI down", "\x1b[B", code(KeyCode::Down), 3},
        {"CSI right", "\x1b[C", code(KeyCode::Right), 3},
        {"CSI left", "\x1b[D", code(KeyCode::Left), 3},
        {"CSI up with a modifier", "\x1b[1;5A", code(KeyCode::Up), 6},
        {"SS3 up", "\x1bOA", code(KeyCode::Up), 3},
        {"SS3 left", "\x1bOD", code(KeyCode::Left), 3},
        {"SS3 F1", "\x1bOP", code(KeyCode::Other), 3},
        {"Delete", "\x1b[3~", code(KeyCode::Other), 4},
        {"F5 then a letter", "\x1b[15~q", code(KeyCode::Other), 5},
        {"Home", "\x1b[H", code(KeyCode::Other), 3},
        {"broken CSI ends before a control byte", "\x1b[1\r", code(KeyCode::Other), 3},
        {"CSI cut short", "\x1b[1;", code(KeyCode::Other), 4},
        {"ESC [ alone is Alt+[", "\x1b[", chr(U'[', false, true), 2},
        {"ESC O alone is Alt+O", "\x1bO", chr(U'O', false, true), 2},
        {"Alt+q", "\x1bq", chr(U'q', false, true), 2},
        {"Alt+Enter", "\x1b\r", code(KeyCode::Enter, true), 2},
        {"Alt+Ctrl+Q", "\x1b\x11", KeyEvent{KeyCode::Char, U'q', true, true}, 2},
        {"Alt+Esc", "\x1b\x1b", code(KeyCode::Esc, true), 2},
        {"Alt+Up", "\x1b\x1b[A", code(KeyCode::Up, true), 4},
        {"two-byte character", "\xc3\xa9", chr(U'\u00e9'), 2},
        {"three-byte character", "\xe2\x86\xb2q", chr(U'\u21b2'), 3},
        {"four-byte character", "\xf0\x9f\x98\x80", chr(U'\U0001F600'), 4},
        {"character cut short", "\xe2\x86", code(KeyCode::Other), 2},
        {"character broken by an ASCII byte", "\xe2q", code(KeyCode::Other), 1},
        {"stray continuation byte", "\x80q", code(KeyCode::Other), 1},
        {"invalid lead byte", "\xffq", code(KeyCode::Other), 1},
        {"overlong encoding is no character", "\xe0\x80\x80", code(KeyCode::Other), 1},
        {"surrogate is no character", "\xed\xa0\x80", code(KeyCode::Other), 1},
        {"the character U+FFFD", "\xef\xbf\xbd", chr(U'\uFFFD'), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decode_key(bytes_of(c.bytes), false);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->key, c.key);
        EXPECT_EQ(decoded->length, c.length);
    }
}

// While the rest of a key may still arrive, a prefix waits instead of becoming a wrong key.
TEST(DecodeKey, WaitsForTheRestOfAKeyThatMayStillArrive) {
    const std::string_view prefixes[] = {
        "\x1b",      "\x1b[", "\x1b[1;5", "\x1bO",    "\x1b\x1b",
        "\x1b\x1b[", "\xe2",  "\xe2\x86", "\x1b\xc3",
    };
    for (const auto prefix : prefixes) {
        SCOPED_TRACE(testing::PrintToString(std::string(prefix)));
        EXPECT_FALSE(decode_key(bytes_of(prefix), true).has_value());
    }
    EXPECT_FALSE(decode_key({}, false).has_value());

    // Complete keys, and bytes no further byte could make a character, decode at once even if
    // more may follow.
    const auto overlong = decode_key(bytes_of("\xe0\x80"), true);
    ASSERT_TRUE(overlong.has_value());
    EXPECT_EQ(overlong->key, code(KeyCode::Other));
    EXPECT_EQ(overlong->length, 1u);
    const auto up = decode_key(bytes_of("\x1b[A"), true);
    ASSERT_TRUE(up.has_value());
    EXPECT_EQ(up->key, code(KeyCode::Up));
    const auto alt_q = decode_key(bytes_of("\x1bq"), true);
    ASSERT_TRUE(alt_q.has_value());
    EXPECT_EQ(alt_q->key, chr(U'q', false, true));
}

// A burst of keys decodes one after another without losing or merging any.
TEST(DecodeKey, SplitsABurstIntoItsKeys) {
    const std::string burst = "\x1b[Bj\rq\x1bOC\xc3\xa9\x1b";
    std::vector<KeyEvent> keys;
    std::span<const std::uint8_t> rest = bytes_of(burst);
    while (auto decoded = decode_key(rest, false)) {
        keys.push_back(decoded->key);
        rest = rest.subspan(decoded->length);
    }
    const std::vector<KeyEvent> expected = {
        code(KeyCode::Down),  chr(U'j'),      code(KeyCode::Enter), chr(U'q'),
        code(KeyCode::Right), chr(U'\u00e9'), code(KeyCode::Esc),
    };
    EXPECT_EQ(keys, expected);
}

// Standard input replaced by a pipe while the object lives.
class PipedStandardInput {
  public:
    PipedStandardInput() {
        int ends[2];
        if (::pipe(ends) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        saved_ = ::dup(STDIN_FILENO);
        ::dup2(ends[0], STDIN_FILENO);
        ::close(ends[0]);
        write_end_ = ends[1];
    }
    ~PipedStandardInput() {
        close_input();
        if (saved_ >= 0) {
            ::dup2(saved_, STDIN_FILENO);
            ::close(saved_);
        }
    }
    PipedStandardInput(const PipedStandardInput&) = delete;
    PipedStandardInput& operator=(const PipedStandardInput&) = delete;

    void send(std::string_view bytes) {
        ASSERT_EQ(::write(write_end_, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    void close_input() {
        if (write_end_ >= 0) {
            ::close(write_end_);
            write_end_ = -1;
        }
    }

  private:
    int saved_ = -1;
    int write_end_ = -1;
};

// A key whose bytes come in two reads: the first part is read when the loop polls, the rest is
// there when the key is read. Nothing follows a lone ESC, so it is Esc once the short delay
// has passed.
TEST(TerminalInput, JoinsAKeySplitAcrossReads) {
    struct SplitCase {
        std::string_view name;
        std::string first;
        std::string later;
        std::vector<KeyEvent> keys;
    };
    const SplitCase cases[] = {
        {"lone ESC", "\x1b", "", {code(KeyCode::Esc)}},
        {"arrow", "\x1b", "[A", {code(KeyCode::Up)}},
        {"arrow with a modifier", "\x1b[1;", "5D", {code(KeyCode::Left)}},
        {"Alt+q", "\x1b", "q", {chr(U'q', false, true)}},
        {"character", "\xe2", "\x86\xb2", {chr(U'\u21b2')}},
        {"arrow, then keys",
         "\x1b",
         "[Bj\r",
         {code(KeyCode::Down), chr(U'j'), code(KeyCode::Enter)}},
        {"ESC before a complete key", "\x1b", "\x1b[C", {code(KeyCode::Right, true)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PipedStandardInput stdin_pipe;
        TerminalInput input;
        stdin_pipe.send(c.first);
        const auto ready = input.poll(std::chrono::seconds(5));
        ASSERT_TRUE(ready.has_value());
        ASSERT_TRUE(*ready);
        if (!c.later.empty()) {
            stdin_pipe.send(c.later);
        }
        std::vector<KeyEvent> keys;
        for (std::size_t k = 0; k < c.keys.size(); ++k) {
            const auto more = input.poll(std::chrono::milliseconds(0));
            ASSERT_TRUE(more.has_value() && *more);
            const auto key = input.read();
            ASSERT_TRUE(key.has_value());
            ASSERT_TRUE(key->has_value());
            keys.push_back(**key);
        }
        EXPECT_EQ(keys, c.keys);
        const auto rest = input.poll(std::chrono::milliseconds(0));
        ASSERT_TRUE(rest.has_value());
        EXPECT_FALSE(*rest);
    }
}

TEST(TerminalInput, TheEndOfInputIsAnError) {
    PipedStandardInput stdin_pipe;
    TerminalInput input;
    stdin_pipe.close_input();
    const auto ready = input.poll(std::chrono::seconds(5));
    ASSERT_FALSE(ready.has_value());
    EXPECT_EQ(ready.error().kind(), IoErrorKind::UnexpectedEof);
}

}  // namespace
}  // namespace vireo::tui
