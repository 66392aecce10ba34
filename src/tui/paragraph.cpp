#include "tui/paragraph.hpp"

#include <string_view>
#include <vector>

#include "common/text.hpp"
#include "tui/text_width.hpp"

namespace vireo::tui {

namespace {

// The text's own lines; "\r\n" ends a line like "\n".
std::vector<std::string_view> own_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (true) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            return lines;
        }
        text.remove_prefix(end + 1);
    }
}

// A space that must not break a line (no-break, figure and narrow no-break space) belongs to
// the word around it.
bool is_break_blank(char32_t c) {
    return is_unicode_whitespace(c) && c != 0xA0 && c != 0x2007 && c != 0x202F;
}

// Consecutive runs of blanks and of other characters.
struct Token {
    std::string_view text;
    bool blank;
};

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t start = 0;
    std::size_t position = 0;
    bool blank = false;
    while (position < line.size()) {
        const DecodedChar decoded = decode_utf8(line.substr(position));
        const bool is_blank = is_break_blank(decoded.code_point);
        if (position > start && is_blank != blank) {
            tokens.push_back(Token{line.substr(start, position - start), blank});
            start = position;
        }
        blank = is_blank;
        position += decoded.length;
    }
    if (position > start) {
        tokens.push_back(Token{line.substr(start, position - start), blank});
    }
    return tokens;
}

// Splits a word wider than `width` into pieces that fit; a single character wider than the
// line gets a piece of its own so that wrapping always moves on.
std::vector<std::string_view> break_word(std::string_view word, std::size_t width) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    std::size_t position = 0;
    std::size_t used = 0;
    while (position < word.size()) {
        const DecodedChar decoded = decode_utf8(word.substr(position));
        const auto char_cells = static_cast<std::size_t>(char_width(decoded.code_point));
        if (used + char_cells > width && used > 0) {
            pieces.push_back(word.substr(start, position - start));
            start = position;
            used = 0;
        }
        used += char_cells;
        position += decoded.length;
    }
    pieces.push_back(word.substr(start));
    return pieces;
}

// Word wrapping with every row's leading blanks dropped.
void wrap_line(std::string_view line, std::size_t width, std::vector<std::string>& rows) {
    std::string row;
    std::size_t row_width = 0;
    std::string_view blanks;
    const auto start_row_with = [&](std::string_view word) {
        const std::vector<std::string_view> pieces = break_word(word, width);
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
            rows.emplace_back(pieces[i]);
        }
        row.assign(pieces.back());
        row_width = display_width(pieces.back());
    };
    for (const Token& token : tokenize(line)) {
        if (token.blank) {
            blanks = token.text;
            continue;
        }
        const std::size_t word_width = display_width(token.text);
        if (row_width == 0 && row.empty()) {
            start_row_with(token.text);
        } else if (row_width + display_width(blanks) + word_width <= width) {
            row.append(blanks);
            row.append(token.text);
            row_width += display_width(blanks) + word_width;
        } else {
            rows.push_back(std::move(row));
            row.clear();
            start_row_with(token.text);
        }
        blanks = {};
    }
    rows.push_back(std::move(row));
}

std::vector<std::string> layout_rows(const Paragraph& paragraph, std::size_t width) {
    std::vector<std::string> rows;
    for (const std::string_view line : own_lines(paragraph.text)) {
        if (paragraph.wrap == Wrap::Trim) {
            wrap_line(line, width, rows);
        } else {
            rows.emplace_back(line);
        }
    }
    return rows;
}

}  // namespace

void render(const Paragraph& paragraph, Rect area, Buffer& buffer) {
    const Rect inner = render_surround(area, buffer, paragraph.style, paragraph.block);
    if (inner.is_empty()) {
        return;
    }
    const std::vector<std::string> rows = layout_rows(paragraph, inner.width);
    for (std::size_t i = 0; i < rows.size() && i < inner.height; ++i) {
        std::size_t offset = 0;
        if (paragraph.alignment == Alignment::Center) {
            const std::size_t row_width = display_width(rows[i]);
            offset = row_width < inner.width ? (inner.width - row_width) / 2 : 0;
        }
        buffer.set_stringn(static_cast<std::uint16_t>(inner.x + offset),
                           static_cast<std::uint16_t>(inner.y + i), rows[i], inner.width - offset,
                           Style{});
    }
}

}  // namespace vireo::tui
