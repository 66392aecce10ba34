#include "config/nesting_depth.hpp"

#include <string>
#include <vector>

#include <fmt/format.h>

namespace vireo {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Characters that end a bare key part or a plain value such as a number or a date.
bool ends_bare_key(char c) {
    return std::string_view(" \t\r\n.=[]{}#,\"'").find(c) != std::string_view::npos;
}
bool ends_plain_value(char c) {
    return std::string_view(",]}#\r\n").find(c) != std::string_view::npos;
}

class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::optional<TomlError> run() {
        std::size_t table_depth = 0;
        while (!failed_) {
            skip_blank_lines();
            if (at_end()) {
                break;
            }
            const std::size_t start = pos_;
            if (peek() == '[') {
                // A header names the table the following keys go into; an array of tables
                // adds the array's level.
                const bool array_of_tables = peek(1) == '[';
                pos_ += array_of_tables ? 2 : 1;
                table_depth = key_parts() + (array_of_tables ? 1 : 0);
                reach(table_depth, start);
                while (!at_end() && (is_blank(peek()) || peek() == ']')) {
                    ++pos_;
                }
                continue;
            }
            const std::size_t depth = table_depth + key_parts();
            reach(depth, start);
            skip_blanks();
            if (peek() != '=') {
                // Not TOML; the parser says where. Step on so the scan always ends.
                pos_ = pos_ == start ? start + 1 : pos_;
                continue;
            }
            ++pos_;
            value(depth);
        }
        return std::move(error_);
    }

  private:
    struct Container {
        bool array;
        std::size_t depth;  // of the values in it
    };

    bool at_end() const { return pos_ >= text_.size(); }
    char peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }

    void skip_blanks() {
        while (!at_end() && is_blank(peek())) {
            ++pos_;
        }
    }
    void skip_comment() {
        if (peek() == '#') {
            while (!at_end() && peek() != '\n') {
                ++pos_;
            }
        }
    }
    // Blanks, line ends and comments, as between statements and between array elements.
    void skip_blank_lines() {
        for (;;) {
            skip_blanks();
            skip_comment();
            if (peek() == '\r' || peek() == '\n') {
                ++pos_;
                continue;
            }
            return;
        }
    }

    // A dotted key; returns the number of its parts.
    std::size_t key_parts() {
        std::size_t parts = 0;
        for (;;) {
            skip_blanks();
            if (peek() == '"' || peek() == '\'') {
                skip_string();
            } else {
                while (!at_end() && !ends_bare_key(peek())) {
                    ++pos_;
                }
            }
            ++parts;
            skip_blanks();
            if (peek() != '.') {
                return parts;
            }
            ++pos_;
        }
    }

    // Any of the four string forms, escapes included; stops at the end of the text.
    void skip_string() {
        const char quote = peek();
        const bool multi_line = peek(1) == quote && peek(2) == quote;
        pos_ += multi_line ? 3 : 1;
        while (!at_end()) {
            const char c = peek();
            if (c == '\\' && quote == '"') {
                pos_ += 2;
            } else if (c == quote && (!multi_line || (peek(1) == quote && peek(2) == quote))) {
                pos_ += multi_line ? 3 : 1;
                // A closing delimiter may follow up to two quotes of the content.
                for (int extra = 0; multi_line && extra < 2 && peek() == quote; ++extra) {
                    ++pos_;
                }
                return;
            } else if (!multi_line && c == '\n') {
                return;
            } else {
                ++pos_;
            }
        }
    }

    // One value of a key at `depth`, with every array and inline table inside it.
    void value(std::size_t depth) {
        std::vector<Container> open;
        for (;;) {
            skip_blanks();
            const std::size_t start = pos_;
            if (peek() == '[') {
                ++pos_;
                open.push_back({true, depth + 1});
                reach(depth + 1, start);
                skip_blank_lines();
                if (peek() != ']') {
                    depth = open.back().depth;
                    continue;
                }
                ++pos_;
                open.pop_back();
            } else if (peek() == '{') {
                ++pos_;
                open.push_back({false, depth});
                skip_blanks();
                if (peek() != '}') {
                    if (!inline_key(open.back(), depth)) {
                        return;
                    }
                    continue;
                }
                ++pos_;
                open.pop_back();
            } else if (peek() == '"' || peek() == '\'') {
                skip_string();
            } else {
                while (!at_end() && !ends_plain_value(peek())) {
                    ++pos_;
                }
            }
            // The value is complete: close what ends here, then find where the next one is.
            for (;;) {
                if (open.empty() || failed_) {
                    return;
                }
                Container& container = open.back();
                if (container.array) {
                    skip_blank_lines();
                    if (peek() == ',') {
                        ++pos_;
                        skip_blank_lines();
                    }
                    if (peek() == ']') {
                        ++pos_;
                        open.pop_back();
                        continue;
                    }
                    if (at_end() || pos_ == start) {
                        return;
                    }
                    depth = container.depth;
                    break;
                }
                skip_blanks();
                if (peek() == '}') {
                    ++pos_;
                    open.pop_back();
                    continue;
                }
                if (peek() != ',') {
                    return;
                }
                ++pos_;
                if (!inline_key(container, depth)) {
                    return;
                }
                break;
            }
        }
    }

    // "key =" inside an inline table; sets the depth of its value.
    bool inline_key(const Container& table, std::size_t& depth) {
        skip_blanks();
        const std::size_t start = pos_;
        depth = table.depth + key_parts();
        reach(depth, start);
        skip_blanks();
        if (peek() != '=' || failed_) {
            return false;
        }
        ++pos_;
        return true;
    }

    void reach(std::size_t depth, std::size_t at) {
        if (depth <= MAX_NESTING_DEPTH || failed_) {
            return;
        }
        failed_ = true;
        const std::size_t line_start = text_.rfind('\n', at == 0 ? 0 : at - 1);
        const std::size_t begin =
            line_start == std::string_view::npos || at == 0 ? 0 : line_start + 1;
        std::size_t line = 1;
        for (std::size_t i = 0; i < begin; ++i) {
            line += text_[i] == '\n' ? 1 : 0;
        }
        // Columns count characters, as the parser's do.
        std::size_t column = 1;
        for (std::size_t i = begin; i < at; ++i) {
            column += (static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80 ? 1 : 0;
        }
        std::string_view source_line = text_.substr(begin);
        source_line = source_line.substr(0, source_line.find('\n'));
        if (!source_line.empty() && source_line.back() == '\r') {
            source_line.remove_suffix(1);
        }
        error_ = TomlError{fmt::format("nested deeper than {} levels", MAX_NESTING_DEPTH),
                           {},
                           TomlError::Position{line, column, std::string(source_line)}};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool failed_ = false;
    std::optional<TomlError> error_;
};

}  // namespace

std::optional<TomlError> check_nesting_depth(std::string_view text) {
    return Scanner(text).run();
}

}  // namespace vireo
