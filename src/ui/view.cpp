#include "ui/view.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "common/number_format.hpp"
#include "tui/block.hpp"
#include "tui/chart.hpp"
#include "tui/layout.hpp"
#include "tui/line_gauge.hpp"
#include "tui/paragraph.hpp"

namespace vireo {

namespace {

using tui::Alignment;
using tui::Color;
using tui::Constraint;
using tui::Direction;
using tui::Rect;
using tui::Style;
using tui::Wrap;

tui::Block box(std::string title = {}) {
    return tui::Block{std::move(title), Style{}, Style{}};
}

// A paragraph in a box, coloured as a whole (borders, title and text) by `style`.
void boxed_text(tui::Buffer& frame, Rect area, std::string text, std::string title, Style style,
                Wrap wrap) {
    tui::Paragraph paragraph{std::move(text), style, box(std::move(title)), wrap, Alignment::Left};
    tui::render(paragraph, area, frame);
}

void centred_line(tui::Buffer& frame, Rect area, std::string text) {
    tui::Paragraph paragraph{std::move(text), Style{}, std::nullopt, Wrap::None, Alignment::Center};
    tui::render(paragraph, area, frame);
}

void banner_box(tui::Buffer& frame, Rect area, const std::string& banner) {
    boxed_text(frame, area, banner, {}, Style{}, Wrap::Trim);
}

Color focus_colour(bool focused) {
    return focused ? Color::White : Color::DarkGray;
}

std::expected<void, UiError> draw_select_connection(tui::Buffer& frame, Rect column,
                                                    UiState& state) {
    if (!state.port_list) {
        return std::unexpected(uninitialized_item_list("Port"));
    }
    if (!state.baud_list) {
        return std::unexpected(uninitialized_item_list("Baud"));
    }
    const auto rows =
        tui::split(column, Direction::Vertical,
                   {Constraint::Length(1), Constraint::Length(3), Constraint::Length(1),
                    Constraint::Min(10), Constraint::Length(1)});
    banner_box(frame, rows[1], state.banner);
    const auto lists = tui::split(rows[3], Direction::Horizontal,
                                  {Constraint::Percentage(50), Constraint::Percentage(50)});
    tui::render(*state.port_list, lists[0], frame, state.port_state);
    tui::render(*state.baud_list, lists[1], frame, state.baud_state);
    render_help(frame, rows[4]);
    return {};
}

void draw_edit_sweep(tui::Buffer& frame, Rect column, const UiState& state) {
    const auto rows =
        tui::split(column, Direction::Vertical,
                   {Constraint::Length(1), Constraint::Length(3), Constraint::Length(1),
                    Constraint::Length(3), Constraint::Min(0), Constraint::Length(1)});
    banner_box(frame, rows[1], state.banner);
    const auto boxes = tui::split(rows[3], Direction::Horizontal,
                                  {Constraint::Percentage(25), Constraint::Percentage(25),
                                   Constraint::Percentage(25), Constraint::Percentage(25)});
    const std::array<std::pair<const char*, const NumericField*>, 4> fields{{
        {"Start Frequency", &state.start_field},
        {"Stop Frequency", &state.stop_field},
        {"Points", &state.points_field},
        {"Repeat", &state.repeat_field},
    }};
    for (std::size_t k = 0; k < fields.size(); ++k) {
        boxed_text(frame, boxes[k], fmt::format("{}", fields[k].second->value), fields[k].first,
                   Style::foreground(focus_colour(state.focus == k)), Wrap::None);
    }
    render_help(frame, rows[5]);
}

std::expected<void, UiError> draw_scanning(tui::Buffer& frame, Rect column, UiState& state) {
    if (!state.progress_gauge) {
        return std::unexpected(uninitialized_item_list("ProgressBar"));
    }
    std::string status = status_text(state.scan_state);
    std::string info = info_text(state.scan_state);
    const std::uint64_t percent = progress_percent(state.scan_state);

    const auto rows = tui::split(column, Direction::Vertical,
                                 {Constraint::Length(3), Constraint::Length(1), Constraint::Min(10),
                                  Constraint::Length(1), Constraint::Length(1)});
    boxed_text(frame, rows[0], std::move(status), "Operation", Style::foreground(Color::White),
               Wrap::None);
    // The record keeps the percentage within 0..=100; the bound only guards the gauge.
    state.progress_gauge->ratio = std::min(static_cast<double>(percent) / 100.0, 1.0);
    tui::render(*state.progress_gauge, rows[1], frame);
    boxed_text(frame, rows[2], std::move(info), "TinySA Info", Style::foreground(Color::White),
               Wrap::Trim);
    return {};
}

std::string dbm_label(double value) {
    return shortest_decimal(value) + " dBm";
}

void draw_result(tui::Buffer& frame, Rect column, UiState& state) {
    const std::string status = status_text(state.scan_state);

    const auto rows = tui::split(column, Direction::Vertical,
                                 {Constraint::Length(3), Constraint::Length(1), Constraint::Min(10),
                                  Constraint::Length(1), Constraint::Length(1)});
    const std::uint64_t start = state.start_field.value;
    const std::uint64_t stop = state.stop_field.value;
    boxed_text(frame, rows[0],
               fmt::format("The scan of {} points in the range ({}MHz - {}MHz) finished "
                           "successfully",
                           state.points_field.value, start, stop),
               "Status", Style::foreground(Color::White), Wrap::None);

    const std::uint64_t mid = start + (stop > start ? stop - start : 0) / 2;
    const double min_dbm = state.config.ui.chart_min_dbm;
    const double max_dbm = state.config.ui.chart_max_dbm;
    tui::Dataset samples =
        tui::Dataset::of(std::span<const Sample>(state.samples), [](const Sample& sample) {
            return tui::Point{sample.frequency_mhz, sample.level_dbm};
        });
    samples.style = Style::foreground(Color::Yellow);
    const tui::Chart chart{
        samples,
        tui::Axis{
            {static_cast<double>(start), static_cast<double>(stop)},
            {fmt::format("{}MHz", start), fmt::format("{}MHz", mid), fmt::format("{}MHz", stop)},
            Style::foreground(Color::Gray)},
        tui::Axis{{min_dbm, max_dbm},
                  {dbm_label(min_dbm), dbm_label((min_dbm + max_dbm) * 0.5), dbm_label(max_dbm)},
                  Style::foreground(Color::Gray)},
        Style{},
    };
    tui::render(chart, rows[2], frame, state.chart_cache);

    centred_line(frame, rows[4], fmt::format("{}, press ↲ or q to exit", status));
}

void draw_failure(tui::Buffer& frame, Rect column, const UiState& state) {
    const ScanPhase last_phase = phase(state.scan_state);
    std::string error = error_text(state.scan_state).value_or("An unspecified error occurred");
    std::string error_line = error_text(state.scan_state).value_or("");
    const std::string status = status_text(state.scan_state);

    const auto rows =
        tui::split(column, Direction::Vertical,
                   {Constraint::Length(1), Constraint::Length(3), Constraint::Length(1),
                    Constraint::Min(10), Constraint::Length(1), Constraint::Length(1)});
    boxed_text(frame, rows[1], std::move(error), "Status", Style::foreground(Color::Red),
               Wrap::Trim);
    boxed_text(
        frame, rows[3],
        fmt::format("Last status: {}\nLast message: {}\n{}", debug(last_phase), status, error_line),
        "Status", Style{}, Wrap::Trim);
    centred_line(frame, rows[5], "Press ↲ or q to exit");
}

std::uint16_t middle_percentage(UiMode mode) {
    switch (mode) {
        case UiMode::SelectConnection:
        case UiMode::EditSweep:
            return 100;
        case UiMode::ShowResult:
        case UiMode::Scanning:
        case UiMode::ShowFailure:
            return 90;
    }
    return 100;
}

}  // namespace

std::expected<void, UiError> draw_view(tui::Buffer& frame, UiState& state) {
    const auto columns =
        tui::split(frame.area(), Direction::Horizontal,
                   {Constraint::Min(7), Constraint::Percentage(middle_percentage(state.ui_mode)),
                    Constraint::Min(7)});
    const Rect column = columns[1];
    switch (state.ui_mode) {
        case UiMode::SelectConnection:
            return draw_select_connection(frame, column, state);
        case UiMode::EditSweep:
            draw_edit_sweep(frame, column, state);
            return {};
        case UiMode::ShowResult:
            draw_result(frame, column, state);
            return {};
        case UiMode::Scanning:
            return draw_scanning(frame, column, state);
        case UiMode::ShowFailure:
            draw_failure(frame, column, state);
            return {};
    }
    return {};
}

void render_help(tui::Buffer& buffer, tui::Rect area) {
    centred_line(buffer, area,
                 "Use ↓↑ to move, ←→ to change status widget and ↲ to validate configuration.");
}

tui::List decorate_list(tui::List list, std::string_view title, tui::Color colour) {
    list.block = tui::Block{std::string(title), Style{}, Style::foreground(colour)};
    list.style = Style::foreground(colour);
    return list;
}

std::expected<void, UiError> rebuild_lists(UiState& state) {
    if (state.ui_mode != UiMode::SelectConnection) {
        return {};
    }
    // Both are looked at before either is touched, so a failure leaves the other in place.
    if (!state.port_list) {
        return std::unexpected(uninitialized_item_list("Port List"));
    }
    if (!state.baud_list) {
        return std::unexpected(uninitialized_item_list("Baud"));
    }
    state.port_list =
        decorate_list(*std::move(state.port_list), "COM Ports", focus_colour(state.focus == 0));
    state.baud_list =
        decorate_list(*std::move(state.baud_list), "Baudrate", focus_colour(state.focus != 0));
    return {};
}

tui::List make_list(std::vector<std::string> items) {
    tui::List list;
    list.items = std::move(items);
    list.highlight_style = Style{}.with_bg(Color::Blue).with_modifier(tui::Modifier::Italic);
    return list;
}

}  // namespace vireo
