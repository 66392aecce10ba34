#include "tui/terminal.hpp"

#include <gtest/gtest.h>

#include "test_backend.hpp"
#include "tui/color_map.hpp"
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
        ASSERT_TRUE(terminal.hide_cursor());
        EXPECT_TRUE(hidden);
    }
    EXPECT_FALSE(hidden);
}

TEST(ColorMap, NamedColoursOnTerminalsWithManyAndFewColours) {
    struct Case {
        Color color;
        int colors;
        bool foreground;
        TerminalColor expected;
    };
    const Case cases[] = {
        {Color::Reset, 256, true, {-1, false}},   {Color::Black, 256, true, {0, false}},
        {Color::Red, 8, true, {1, false}},        {Color::Yellow, 16, true, {3, false}},
        {Color::Blue, 8, false, {4, false}},      {Color::Gray, 256, true, {7, false}},
        {Color::DarkGray, 256, true, {8, false}}, {Color::White, 16, true, {15, false}},
        {Color::DarkGray, 8, true, {0, true}},    {Color::White, 8, true, {7, true}},
        {Color::DarkGray, 8, false, {0, false}},  {Color::White, 8, false, {7, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << static_cast<int>(c.color) << " " << c.colors << " " << c.foreground);
        const TerminalColor mapped = terminal_color(c.color, c.colors, c.foreground);
        EXPECT_EQ(mapped.number, c.expected.number);
        EXPECT_EQ(mapped.bold, c.expected.bold);
    }
}

}  // namespace
}  // namespace vireo::tui
