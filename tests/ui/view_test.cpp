#include "ui/view.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_config.hpp"
#include "widget_checks.hpp"

namespace vireo {
namespace {

using tui::Color;
using tui::Modifier;

// The interface state as the loop has it on entry: two ports, the default rates, the banner
// and both lists decorated for the focus.
class Screens : public testing::Test {
  protected:
    Screens()
        : state(build_ui_state(test::default_config(), "vireo.toml",
                               {{"/dev/ttyACM0", UnknownPort{}}, {"/dev/ttyS0", UnknownPort{}}})) {
        state.port_list = make_list(state.port_names);
        std::vector<std::string> rates;
        for (std::uint32_t rate : state.baudrates) {
            rates.push_back(std::to_string(rate));
        }
        state.baud_list = make_list(std::move(rates));
        state.banner = "Vireo version 0.1.3-rc.2";
        EXPECT_TRUE(rebuild_lists(state).has_value());
    }

    tui::Buffer draw(std::uint16_t width, std::uint16_t height) {
        tui::Buffer frame(tui::Rect{0, 0, width, height});
        const auto drawn = draw_view(frame, state);
        EXPECT_TRUE(drawn.has_value()) << display(drawn.error());
        return frame;
    }

    void set_progress(std::uint64_t percent) {
        lock_state(state.scan_state)->progress_percent = percent;
    }

    UiState state;
};

void expect_lines(const tui::Buffer& frame, const std::vector<std::string>& expected) {
    const std::vector<std::string> rows = tui::test::lines(frame);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t y = 0; y < rows.size(); ++y) {
        EXPECT_EQ(rows[y], expected[y]) << "row " << y;
    }
}

struct Look {
    Color fg = Color::Reset;
    Color bg = Color::Reset;
    Modifier modifier = Modifier::None;
};

void expect_look(const tui::Buffer& frame, std::uint16_t x, std::uint16_t y, Look look) {
    const tui::Cell& cell = frame.cell(x, y);
    EXPECT_EQ(cell.fg, look.fg) << "at " << x << "," << y << " '" << cell.symbol << "'";
    EXPECT_EQ(cell.bg, look.bg) << "at " << x << "," << y << " '" << cell.symbol << "'";
    EXPECT_EQ(cell.modifier, look.modifier) << "at " << x << "," << y << " '" << cell.symbol << "'";
}

constexpr Look WHITE{Color::White};
constexpr Look DARK{Color::DarkGray};
constexpr Look PLAIN{};

TEST_F(Screens, ConnectionScreen) {
    const tui::Buffer frame = draw(80, 24);
    expect_lines(
        frame,
        {
            "                                                                                ",
            "       ┌────────────────────────────────────────────────────────────────┐       ",
            "       │Vireo version 0.1.3-rc.2                                        │       ",
            "       └────────────────────────────────────────────────────────────────┘       ",
            "                                                                                ",
            "       ┌COM Ports──────────────────────┐┌Baudrate───────────────────────┐       ",
            "       │/dev/ttyACM0                   ││19200                          │       ",
            "       │/dev/ttyS0                     ││38400                          │       ",
            "       │                               ││57600                          │       ",
            "       │                               ││115200                         │       ",
            "       │                               ││230400                         │       ",
            "       │                               ││460800                         │       ",
            "       │                               ││921600                         │       ",
            "       │                               ││1843200                        │       ",
            "       │                               ││2000000                        │       ",
            "       │                               ││3000000                        │       ",
            "       │                               ││                               │       ",
            "       │                               ││                               │       ",
            "       │                               ││                               │       ",
            "       │                               ││                               │       ",
            "       │                               ││                               │       ",
            "       │                               ││                               │       ",
            "       └───────────────────────────────┘└───────────────────────────────┘       ",
            "       Use ↓↑ to move, ←→ to change status widget and ↲ to validate confi       ",
        });
    // Focus on the port list: it is White, the rate list DarkGray; each list's selected row has
    // the Blue background and italics over its whole inner width, in the list's colour.
    const Look port_selected{Color::White, Color::Blue, Modifier::Italic};
    const Look baud_selected{Color::DarkGray, Color::Blue, Modifier::Italic};
    for (std::uint16_t x = 8; x < 39; ++x) {
        expect_look(frame, x, 6, port_selected);
        expect_look(frame, x + 33, 9, baud_selected);
    }
    for (std::uint16_t x : {7, 8, 38}) {
        expect_look(frame, x, 5, WHITE);
        expect_look(frame, x, 7, WHITE);
        expect_look(frame, x, 22, WHITE);
        expect_look(frame, x + 33, 5, DARK);
        expect_look(frame, x + 33, 8, DARK);
        expect_look(frame, x + 33, 10, DARK);
    }
    expect_look(frame, 7, 1, PLAIN);
    expect_look(frame, 8, 2, PLAIN);
    expect_look(frame, 8, 23, PLAIN);
    expect_look(frame, 3, 6, PLAIN);
}

TEST_F(Screens, ConnectionScreenFollowsTheFocus) {
    ASSERT_TRUE(on_left_right(state, FocusDirection::Next).has_value());
    tui::Buffer frame = draw(80, 24);
    expect_look(frame, 7, 5, DARK);
    expect_look(frame, 8, 7, DARK);
    expect_look(frame, 40, 5, WHITE);
    expect_look(frame, 41, 8, WHITE);
    expect_look(frame, 8, 6, {Color::DarkGray, Color::Blue, Modifier::Italic});
    expect_look(frame, 41, 9, {Color::White, Color::Blue, Modifier::Italic});

    ASSERT_TRUE(on_left_right(state, FocusDirection::Previous).has_value());
    frame = draw(80, 24);
    expect_look(frame, 7, 5, WHITE);
    expect_look(frame, 40, 5, DARK);
}

TEST_F(Screens, NarrowConnectionScreenScrollsToTheSelectedRate) {
    state.baud_state.selected = 9;
    const tui::Buffer frame = draw(34, 16);
    // clang-format off
    expect_lines(frame, {
        "                                  ",
        "       ┌──────────────────┐       ",
        "       │Vireo version     │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "       ┌COM Port┐┌Baudrate┐       ",
        "       │/dev/tty││57600   │       ",
        "       │/dev/tty││115200  │       ",
        "       │        ││230400  │       ",
        "       │        ││460800  │       ",
        "       │        ││921600  │       ",
        "       │        ││1843200 │       ",
        "       │        ││2000000 │       ",
        "       │        ││3000000 │       ",
        "       └────────┘└────────┘       ",
        "       Use ↓↑ to move, ←→ t       ",
    });
    // clang-format on
    EXPECT_EQ(state.baud_state.offset, 2u);
    EXPECT_EQ(state.port_state.offset, 0u);
    expect_look(frame, 18, 13, {Color::DarkGray, Color::Blue, Modifier::Italic});
    expect_look(frame, 18, 12, DARK);
}

TEST_F(Screens, EmptyPortListAndNoSelectionHighlightNothing) {
    state.port_names.clear();
    state.port_state = {};
    state.port_list = make_list({});
    state.baud_state.selected.reset();
    ASSERT_TRUE(rebuild_lists(state).has_value());
    const tui::Buffer frame = draw(80, 24);
    EXPECT_EQ(tui::test::lines(frame)[5],
              "       ┌COM Ports──────────────────────┐┌Baudrate───────────────────────┐       ");
    EXPECT_EQ(tui::test::lines(frame)[6],
              "       │                               ││19200                          │       ");
    for (std::uint16_t y = 0; y < 24; ++y) {
        for (std::uint16_t x = 0; x < 80; ++x) {
            ASSERT_EQ(frame.cell(x, y).bg, Color::Reset) << x << "," << y;
        }
    }
}

TEST_F(Screens, SweepScreen) {
    state.ui_mode = UiMode::EditSweep;
    state.focus = 2;
    const tui::Buffer frame = draw(80, 24);
    expect_lines(
        frame,
        {
            "                                                                                ",
            "       ┌────────────────────────────────────────────────────────────────┐       ",
            "       │Vireo version 0.1.3-rc.2                                        │       ",
            "       └────────────────────────────────────────────────────────────────┘       ",
            "                                                                                ",
            "       ┌Start Frequency┐┌Stop Frequency┐┌Points─────────┐┌Repeat────────┐       ",
            "       │240            ││800           ││10001          ││1             │       ",
            "       └───────────────┘└──────────────┘└───────────────┘└──────────────┘       ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "                                                                                ",
            "       Use ↓↑ to move, ←→ to change status widget and ↲ to validate confi       ",
        });
    // Only the focused box, borders, title and value alike, is White.
    struct Box {
        std::uint16_t left, right;
        Look look;
    };
    for (const Box& box :
         {Box{7, 23, DARK}, Box{24, 39, DARK}, Box{40, 56, WHITE}, Box{57, 72, DARK}}) {
        for (std::uint16_t y = 5; y < 8; ++y) {
            expect_look(frame, box.left, y, box.look);
            expect_look(frame, box.left + 1, y, box.look);
            expect_look(frame, box.right, y, box.look);
        }
    }
    expect_look(frame, 8, 2, PLAIN);
}

TEST_F(Screens, NarrowSweepScreenCutsTitlesAndValues) {
    state.ui_mode = UiMode::EditSweep;
    const tui::Buffer frame = draw(34, 12);
    // clang-format off
    expect_lines(frame, {
        "                                  ",
        "       ┌──────────────────┐       ",
        "       │Vireo version     │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "       ┌Sta┐┌Sto┐┌Poi┐┌Rep┐       ",
        "       │240││800││100││1  │       ",
        "       └───┘└───┘└───┘└───┘       ",
        "                                  ",
        "                                  ",
        "                                  ",
        "       Use ↓↑ to move, ←→ t       ",
    });
    // clang-format on
    expect_look(frame, 8, 6, WHITE);
    expect_look(frame, 13, 6, DARK);
}

TEST_F(Screens, ScanningScreen) {
    state.ui_mode = UiMode::Scanning;
    state.progress_gauge = tui::LineGauge{"Progress:",
                                          0.0,
                                          {},
                                          tui::Style::foreground(Color::Blue),
                                          tui::Style::foreground(Color::Red)};
    apply_update(state.scan_state, SetStatus{"Sending scan command"});
    apply_update(state.scan_state, SetInfo{"tinySA ULTRA\nHW Version:V0.4.5.1\nMode: low input"});
    set_progress(50);
    const tui::Buffer frame = draw(80, 24);
    expect_lines(
        frame,
        {
            "       ┌Operation───────────────────────────────────────────────────────┐       ",
            "       │Sending scan command                                            │       ",
            "       └────────────────────────────────────────────────────────────────┘       ",
            "       Progress: ────────────────────────────────────────────────────────       ",
            "       ┌TinySA Info─────────────────────────────────────────────────────┐       ",
            "       │tinySA ULTRA                                                    │       ",
            "       │HW Version:V0.4.5.1                                             │       ",
            "       │Mode: low input                                                 │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       └────────────────────────────────────────────────────────────────┘       ",
            "                                                                                ",
            "                                                                                ",
        });
    expect_look(frame, 7, 0, WHITE);
    expect_look(frame, 8, 1, WHITE);
    expect_look(frame, 7, 4, WHITE);
    expect_look(frame, 8, 6, WHITE);
    expect_look(frame, 72, 21, WHITE);
    EXPECT_DOUBLE_EQ(state.progress_gauge->ratio, 0.5);
}

TEST_F(Screens, GaugeFillsItsBarByTheProgress) {
    state.ui_mode = UiMode::Scanning;
    state.progress_gauge = tui::LineGauge{"Progress:",
                                          0.0,
                                          {},
                                          tui::Style::foreground(Color::Blue),
                                          tui::Style::foreground(Color::Red)};
    // The bar runs from column 17 to 72: 56 cells.
    struct Case {
        std::uint64_t percent;
        std::uint16_t filled;
    };
    for (const Case& c : {Case{0, 0}, Case{50, 28}, Case{99, 55}, Case{100, 56}}) {
        SCOPED_TRACE(c.percent);
        set_progress(c.percent);
        const tui::Buffer frame = draw(80, 24);
        for (std::uint16_t x = 7; x < 17; ++x) {
            expect_look(frame, x, 3, PLAIN);
        }
        for (std::uint16_t x = 17; x < 73; ++x) {
            const Color expected = x < 17 + c.filled ? Color::Blue : Color::Red;
            ASSERT_EQ(frame.cell(x, 3).fg, expected) << x;
            ASSERT_EQ(frame.cell(x, 3).symbol, "─") << x;
        }
        EXPECT_DOUBLE_EQ(state.progress_gauge->ratio, static_cast<double>(c.percent) / 100.0);
    }
}

TEST_F(Screens, NarrowScanningScreenBeforeIdentification) {
    state.ui_mode = UiMode::Scanning;
    state.progress_gauge = tui::LineGauge{"Progress:",
                                          0.0,
                                          {},
                                          tui::Style::foreground(Color::Blue),
                                          tui::Style::foreground(Color::Red)};
    apply_update(state.scan_state, SetStatus{"Reading the scan frame from the device"});
    const tui::Buffer frame = draw(34, 16);
    // clang-format off
    expect_lines(frame, {
        "       ┌Operation─────────┐       ",
        "       │Reading the scan f│       ",
        "       └──────────────────┘       ",
        "       Progress: ──────────       ",
        "       ┌TinySA Info───────┐       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "                                  ",
    });
    // clang-format on
}

TEST_F(Screens, ResultScreen) {
    state.ui_mode = UiMode::ShowResult;
    // Corners and centre of the bounds, and three samples outside them.
    state.samples = {{240, -128}, {800, 0}, {520, -64}, {900, -50}, {500, 5}, {300, -129}};
    complete_run(state.scan_state, "/tmp/scan.csv", {{1, 1}});
    const tui::Buffer frame = draw(80, 24);
    // clang-format off
    expect_lines(frame, {
        "       ┌Status──────────────────────────────────────────────────────────┐       ",
        "       │The scan of 10001 points in the range (240MHz - 800MHz) finished│       ",
        "       └────────────────────────────────────────────────────────────────┘       ",
        "                                                                                ",
        "       0 dBm   │                                                        •       ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "       -64 dBm │                            •                                   ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "               │                                                                ",
        "       -128 dBm│•                                                               ",
        "               └─────────────────────────────────────────────────────────       ",
        "               240MHz                    520MHz                    800MHz       ",
        "                                                                                ",
        "                   Saved /tmp/scan.csv, press ↲ or q to exit                    ",
    });
    // clang-format on
    const Look gray{Color::Gray};
    const Look yellow{Color::Yellow};
    expect_look(frame, 16, 19, yellow);
    expect_look(frame, 44, 12, yellow);
    expect_look(frame, 72, 4, yellow);
    for (auto [x, y] : {std::pair{15, 4},
                        {15, 19},
                        {15, 20},
                        {16, 20},
                        {72, 20},
                        {7, 4},
                        {7, 19},
                        {15, 21},
                        {41, 21},
                        {72, 21}}) {
        expect_look(frame, x, y, gray);
    }
    expect_look(frame, 30, 10, PLAIN);
    expect_look(frame, 7, 0, WHITE);
    expect_look(frame, 8, 1, WHITE);
    expect_look(frame, 19, 23, PLAIN);
}

TEST_F(Screens, NarrowResultScreenKeepsTheLabelsThatFit) {
    state.ui_mode = UiMode::ShowResult;
    state.samples = {{240, -128}, {800, 0}, {520, -64}};
    complete_run(state.scan_state, "/tmp/scan.csv", {{1, 1}});
    const tui::Buffer frame = draw(34, 16);
    // clang-format off
    expect_lines(frame, {
        "       ┌Status────────────┐       ",
        "       │The scan of 10001 │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "       0 dBm   │          •       ",
        "               │                  ",
        "               │                  ",
        "               │                  ",
        "       -64 dBm │     •            ",
        "               │                  ",
        "               │                  ",
        "       -128 dBm│•                 ",
        "               └───────────       ",
        "               240MHz             ",
        "                                  ",
        "       Saved /tmp/scan.csv,       ",
    });
    // clang-format on
}

TEST_F(Screens, ResultAxisLabels) {
    struct Case {
        std::uint64_t start, stop;
        double min_dbm, max_dbm;
        std::string x_labels;  // the bottom row, trimmed
        std::vector<std::string> y_labels;
    };
    const Case cases[] = {
        {240,
         800,
         -128.0,
         0.0,
         "240MHz                    520MHz                    800MHz",
         {"0 dBm", "-64 dBm", "-128 dBm"}},
        {10,
         15,
         -100.5,
         -20.0,
         "10MHz                     12MHz                    15MHz",
         {"-20 dBm", "-60.25 dBm", "-100.5 dBm"}},
        // Stop below Start: the middle label falls back to Start.
        {800,
         240,
         -0.5,
         0.25,
         "800MHz                   800MHz                   240MHz",
         {"0.25 dBm", "-0.125 dBm", "-0.5 dBm"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x_labels);
        state.ui_mode = UiMode::ShowResult;
        state.start_field.value = c.start;
        state.stop_field.value = c.stop;
        state.config.ui.chart_min_dbm = c.min_dbm;
        state.config.ui.chart_max_dbm = c.max_dbm;
        const std::vector<std::string> lines = tui::test::lines(draw(80, 24));
        const auto trimmed = [](std::string_view line) {
            const auto first = line.find_first_not_of(' ');
            const auto last = line.find_last_not_of(' ');
            return std::string(line.substr(first, last - first + 1));
        };
        EXPECT_EQ(trimmed(lines[21]), c.x_labels);
        // Top, middle and bottom plot rows carry the y labels, left of the axis line.
        const auto label_at = [&](std::size_t row) {
            return trimmed(lines[row].substr(0, lines[row].find("│")));
        };
        EXPECT_EQ(label_at(4), c.y_labels[0]);
        EXPECT_EQ(label_at(12), c.y_labels[1]);
        EXPECT_EQ(label_at(19), c.y_labels[2]);
    }
}

TEST_F(Screens, ResultChartFollowsBoundsAndSamplesBetweenFrames) {
    state.ui_mode = UiMode::ShowResult;
    state.samples = {{520, -64}};
    EXPECT_EQ(draw(80, 24).cell(44, 12).symbol, "•");
    EXPECT_EQ(draw(80, 24).cell(44, 12).symbol, "•");

    // New bounds move the point to the right edge.
    state.stop_field.value = 520;
    tui::Buffer frame = draw(80, 24);
    EXPECT_EQ(frame.cell(44, 12).symbol, " ");
    EXPECT_EQ(frame.cell(72, 12).symbol, "•");

    // New samples replace the old ones.
    state.stop_field.value = 800;
    state.samples = std::vector<Sample>{{240, 0}, {240, -128}};
    frame = draw(80, 24);
    EXPECT_EQ(frame.cell(44, 12).symbol, " ");
    EXPECT_EQ(frame.cell(16, 4).symbol, "•");
    EXPECT_EQ(frame.cell(16, 19).symbol, "•");

    // A smaller terminal maps them into the smaller plot.
    frame = draw(34, 16);
    EXPECT_EQ(frame.cell(16, 4).symbol, "•");
    EXPECT_EQ(frame.cell(16, 11).symbol, "•");
}

TEST_F(Screens, FailureScreenWithoutErrorText) {
    state.ui_mode = UiMode::ShowFailure;
    start_run(state.scan_state);
    const tui::Buffer frame = draw(80, 24);
    expect_lines(
        frame,
        {
            "                                                                                ",
            "       ┌Status──────────────────────────────────────────────────────────┐       ",
            "       │An unspecified error occurred                                   │       ",
            "       └────────────────────────────────────────────────────────────────┘       ",
            "                                                                                ",
            "       ┌Status──────────────────────────────────────────────────────────┐       ",
            "       │Last status: Running                                            │       ",
            "       │Last message: Opening connection                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       │                                                                │       ",
            "       └────────────────────────────────────────────────────────────────┘       ",
            "                                                                                ",
            "                              Press ↲ or q to exit                              ",
        });
    for (std::uint16_t x : {7, 8, 40, 72}) {
        expect_look(frame, x, 1, {Color::Red});
        expect_look(frame, x, 2, {Color::Red});
        expect_look(frame, x, 3, {Color::Red});
        expect_look(frame, x, 5, PLAIN);
        expect_look(frame, x, 6, PLAIN);
    }
    expect_look(frame, 30, 23, PLAIN);
}

TEST_F(Screens, NarrowFailureScreenWrapsTheError) {
    state.ui_mode = UiMode::ShowFailure;
    record_failure(state.scan_state, UiError(UiError::NoPortSelected{}));
    const tui::Buffer frame = draw(34, 17);
    // The red box has room for the first row only; the second box shows the whole text.
    // clang-format off
    expect_lines(frame, {
        "                                  ",
        "       ┌Status────────────┐       ",
        "       │no serial port is │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "       ┌Status────────────┐       ",
        "       │Last status:      │       ",
        "       │Failed            │       ",
        "       │Last message:     │       ",
        "       │no serial port is │       ",
        "       │selected; connect │       ",
        "       │the instrument and│       ",
        "       │restart           │       ",
        "       │                  │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "       Press ↲ or q to exit       ",
    });
    // clang-format on
}

// At the common 80x24 every box shows its whole title: the top border runs on after it.
TEST_F(Screens, EveryTitleIsWholeAt80By24) {
    state.progress_gauge = tui::LineGauge{"Progress:",
                                          0.0,
                                          {},
                                          tui::Style::foreground(Color::Blue),
                                          tui::Style::foreground(Color::Red)};
    struct Case {
        UiMode mode;
        std::vector<std::string> titles;  // one per box
    };
    const Case cases[] = {
        {UiMode::SelectConnection, {"COM Ports", "Baudrate"}},
        {UiMode::EditSweep, {"Start Frequency", "Stop Frequency", "Points", "Repeat"}},
        {UiMode::Scanning, {"Operation", "TinySA Info"}},
        {UiMode::ShowResult, {"Status"}},
        {UiMode::ShowFailure, {"Status", "Status"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "screen " << static_cast<int>(c.mode));
        state.ui_mode = c.mode;
        const std::vector<std::string> lines = tui::test::lines(draw(80, 24));
        for (const std::string& title : c.titles) {
            SCOPED_TRACE(title);
            // A whole title is followed by the border line or, when it fills the box, its corner.
            std::size_t whole = 0;
            for (const std::string& line : lines) {
                for (const char* after : {"─", "┐"}) {
                    const std::string top = "┌" + title + after;
                    for (auto at = line.find(top); at != std::string::npos;
                         at = line.find(top, at + 1)) {
                        ++whole;
                    }
                }
            }
            EXPECT_EQ(whole, std::ranges::count(c.titles, title));
        }
    }
}

TEST_F(Screens, MissingWidgetStopsTheFrameBeforeDrawing) {
    struct Case {
        UiMode mode;
        bool port_list, baud_list;
        std::string_view widget;
    };
    const Case cases[] = {
        {UiMode::SelectConnection, false, true, "Port"},
        {UiMode::SelectConnection, false, false, "Port"},
        {UiMode::SelectConnection, true, false, "Baud"},
        {UiMode::Scanning, true, true, "ProgressBar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widget);
        if (!c.port_list) {
            state.port_list.reset();
        }
        if (!c.baud_list) {
            state.baud_list.reset();
        }
        state.ui_mode = c.mode;
        tui::Buffer frame(tui::Rect{0, 0, 80, 24});
        const auto drawn = draw_view(frame, state);
        ASSERT_FALSE(drawn.has_value());
        const auto* missing = std::get_if<UiError::UninitializedItemList>(&drawn.error().value());
        ASSERT_NE(missing, nullptr);
        EXPECT_EQ(missing->widget, c.widget);
        EXPECT_EQ(missing->file, "src/ui/view");
        EXPECT_EQ(tui::test::lines(frame), std::vector<std::string>(24, std::string(80, ' ')));
        for (std::uint16_t y = 0; y < 24; ++y) {
            for (std::uint16_t x = 0; x < 80; ++x) {
                ASSERT_EQ(frame.cell(x, y).fg, Color::Reset);
            }
        }
        state.port_list = make_list({});
        state.baud_list = make_list({});
    }
}

TEST(DecorateList, ReplacesBoxAndColourOnly) {
    tui::List list = make_list({"a", "b"});
    list.block = tui::Block{"old", tui::Style::foreground(Color::Red), {}};
    const tui::List decorated = decorate_list(list, "COM Ports", Color::DarkGray);
    EXPECT_EQ(decorated.items, list.items);
    EXPECT_EQ(decorated.highlight_style,
              tui::Style{}.with_bg(Color::Blue).with_modifier(Modifier::Italic));
    ASSERT_TRUE(decorated.block.has_value());
    EXPECT_EQ(decorated.block->title, "COM Ports");
    EXPECT_EQ(decorated.block->style, tui::Style{});
    EXPECT_EQ(decorated.block->border_style, tui::Style::foreground(Color::DarkGray));
    EXPECT_EQ(decorated.style, tui::Style::foreground(Color::DarkGray));
}

}  // namespace
}  // namespace vireo
