#include "tui/terminal.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "random_frames.hpp"
#include "test_backend.hpp"
#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

using test::lines;
using test::TestBackend;

struct Fixture {
    Fixture() {
        auto owned = std::make_unique<TestBackend>(6, 2);
        backend = owned.get();
        terminal.emplace(std::move(owned));
    }
    TestBackend* backend;
    std::optional<Terminal> terminal;
};

TEST(Terminal, DrawsFramesAtTheBackendSizeOnABlankBuffer) {
    Fixture f;
    ASSERT_TRUE(f.terminal->draw([](Buffer& buffer) {
        EXPECT_EQ(buffer.area(), (Rect{0, 0, 6, 2}));
        buffer.set_stringn(0, 0, "first", 6, Style{});
    }));
    EXPECT_EQ(lines(f.backend->buffer()), (std::vector<std::string>{"first ", "      "}));
    EXPECT_TRUE(f.backend->cursor_hidden());
    EXPECT_TRUE(f.terminal->cursor_hidden());
    EXPECT_EQ(f.backend->flush_count(), 1u);

    // The next frame starts blank, and at the new size after a resize.
    f.backend->resize(3, 1);
    ASSERT_TRUE(f.terminal->draw([](Buffer& buffer) {
        EXPECT_EQ(buffer.area(), (Rect{0, 0, 3, 1}));
        EXPECT_EQ(lines(buffer), std::vector<std::string>{"   "});
        buffer.set_stringn(0, 0, "ab", 3, Style{});
    }));
    EXPECT_EQ(lines(f.backend->buffer()), std::vector<std::string>{"ab "});
    ASSERT_TRUE(f.terminal->draw(
        [](Buffer& buffer) { EXPECT_EQ(lines(buffer), std::vector<std::string>{"   "}); }));
    EXPECT_EQ(f.backend->draw_count(), 3u);
}

TEST(Terminal, BackendFailuresAreReturned) {
    Fixture f;
    const IoError failure = IoError::from_os(5);
    f.backend->set_failure(failure);
    bool called = false;
    const auto drawn = f.terminal->draw([&](Buffer&) { called = true; });
    ASSERT_FALSE(drawn);
    EXPECT_EQ(drawn.error(), failure);
    EXPECT_FALSE(called);
    EXPECT_FALSE(f.terminal->cursor_hidden());
}

// True when the screen shows the frame: every symbol, and the style of every cell that is not
// covered by a wide character.
::testing::AssertionResult shows(const Buffer& screen, const Buffer& frame) {
    if (screen.area() != frame.area()) {
        return ::testing::AssertionFailure() << "the screen has another size";
    }
    const Rect area = frame.area();
    for (std::uint16_t y = area.y; y < area.bottom(); ++y) {
        for (std::uint16_t x = area.x; x < area.right(); ++x) {
            const Cell& wanted = frame.cell(x, y);
            const Cell& seen = screen.cell(x, y);
            if (wanted.symbol.empty() ? !seen.symbol.empty() : seen != wanted) {
                return ::testing::AssertionFailure()
                       << "cell (" << x << ", " << y << ") shows \"" << seen.symbol << "\", not \""
                       << wanted.symbol << "\"\n"
                       << testing::PrintToString(lines(screen)) << "\n"
                       << testing::PrintToString(lines(frame));
            }
        }
    }
    return ::testing::AssertionSuccess();
}

const auto draw_text = [](std::string_view text) {
    return [text](Buffer& buffer) { buffer.set_stringn(0, 0, text, 12, Style{}); };
};

TEST(Terminal, SendsOnlyTheCellsThatChanged) {
    Fixture f;
    ASSERT_TRUE(f.terminal->draw(draw_text("abc")));
    EXPECT_EQ(f.backend->last_updates(), 12u) << "the first frame goes out whole";
    ASSERT_TRUE(f.terminal->draw(draw_text("abc")));
    EXPECT_EQ(f.backend->draw_count(), 1u) << "an unchanged frame sends nothing";
    EXPECT_EQ(f.backend->flush_count(), 2u);
    ASSERT_TRUE(f.terminal->draw(draw_text("aXc")));
    EXPECT_EQ(f.backend->draw_count(), 2u);
    EXPECT_EQ(f.backend->last_updates(), 1u);
    EXPECT_TRUE(shows(f.backend->buffer(), f.terminal->buffer()));
}

TEST(Terminal, SendsEverythingWhenTheScreenMayShowSomethingElse) {
    Fixture f;
    ASSERT_TRUE(f.terminal->draw(draw_text("abc")));

    // A new size, a screen lost while the program was stopped, a frame that failed half-way.
    const std::function<void()> upsets[] = {
        [&] { f.backend->resize(5, 3); },
        [&] { f.backend->lose_screen(); },
        [&] {
            f.backend->set_failure(IoError::from_os(5));
            EXPECT_FALSE(f.terminal->draw(draw_text("xyz")));
            f.backend->set_failure(std::nullopt);
        },
    };
    for (const auto& upset : upsets) {
        upset();
        ASSERT_TRUE(f.terminal->draw(draw_text("abc")));
        EXPECT_EQ(f.backend->last_updates(), f.terminal->buffer().area().area());
        EXPECT_TRUE(shows(f.backend->buffer(), f.terminal->buffer()));
    }
}

// Random frames, resizes and lost screens: after every frame the screen shows exactly that
// frame.
TEST(Terminal, TheScreenAlwaysShowsTheLastFrame) {
    Fixture f;
    test::RandomFrames frames(20261210);
    for (int frame = 0; frame < 500; ++frame) {
        if (frames.pick(20) == 0) {
            f.backend->resize(static_cast<std::uint16_t>(1 + frames.pick(9)),
                              static_cast<std::uint16_t>(1 + frames.pick(4)));
        }
        if (frames.pick(30) == 0) {
            f.backend->lose_screen();
        }
        ASSERT_TRUE(f.terminal->draw([&](Buffer& buffer) { frames.next(buffer); }));
        ASSERT_TRUE(shows(f.backend->buffer(), f.terminal->buffer())) << "frame " << frame;
    }
}

// Reports the cursor state to the test after the terminal that owns it is gone.
class CursorProbe : public TestBackend {
  public:
    explicit CursorProbe(bool& hidden) : TestBackend(2, 2), hidden_(hidden) {}
    std::expected<void, IoError> hide_cursor() override {
        hidden_ = true;
        return TestBackend::hide_cursor();
    }
    std::expected<void, IoError> show_cursor() override {
        hidden_ = false;
        return TestBackend::show_cursor();
    }

  private:
    bool& hidden_;
};

TEST(Terminal, ShowsTheCursorAgainWhenDestroyed) {
    bool hidden = false;
    {
        Terminal terminal(std::make_unique<CursorProbe>(hidden));
        ASSERT_TRUE(terminal.draw([](Buffer&) {}));
        EXPECT_TRUE(hidden);
        ASSERT_TRUE(terminal.show_cursor());
        EXPECT_FALSE(terminal.cursor_hidden());
        EXPECT_FALSE(hidden);
        // The next frame hides it again.
        ASSERT_TRUE(terminal.draw([](Buffer&) {}));
        EXPECT_TRUE(hidden);
    }
    EXPECT_FALSE(hidden);
}

}  // namespace
}  // namespace vireo::tui
