#include <gtest/gtest.h>

#include "config/config_error.hpp"
#include "config/typed_reader.hpp"

namespace vireo {
namespace {

TEST(TomlError, UnpositionedTextIsTheMessageThenTheKeyPath) {
    EXPECT_EQ(display(TomlError{"missing field `port`", {}, {}}), "missing field `port`\n");
    EXPECT_EQ(display(TomlError{
                  "invalid value: integer `70000`, expected u16", {"scan", "zero_offset"}, {}}),
              "invalid value: integer `70000`, expected u16\nin `scan.zero_offset`\n");
}

TEST(TomlError, PositionedTextPointsAtTheColumn) {
    const TomlError error{"expected '=', saw 'b'", {"ui"}, TomlError::Position{12, 5, "bad bad"}};
    // The gutter is as wide as the line number; the key path is not repeated.
    EXPECT_EQ(display(error),
              "TOML parse error at line 12, column 5\n"
              "   |\n"
              "12 | bad bad\n"
              "   |     ^\n"
              "expected '=', saw 'b'\n");
}

TEST(TomlError, SyntaxErrorOfAText) {
    const auto result = parse_toml("port = \"\"\nbaudrate = = 5\n");
    ASSERT_FALSE(result);
    const std::string text = display(result.error());
    // The description after the caret is the TOML library's own.
    EXPECT_TRUE(
        text.starts_with("TOML parse error at line 2, column 12\n"
                         "  |\n"
                         "2 | baudrate = = 5\n"
                         "  |            ^\n"))
        << text;
    EXPECT_TRUE(text.ends_with(result.error().message + "\n"));
}

TEST(TomlError, DebugForm) {
    EXPECT_EQ(
        debug(TomlError{"unknown field `a\"b`", {"scan", "x"}, {}}),
        "Error { message: \"unknown field `a\\\"b`\", keys: [\"scan\", \"x\"], position: None "
        "}");
    EXPECT_EQ(
        debug(TomlError{"bad", {}, TomlError::Position{3, 7, "x"}}),
        "Error { message: \"bad\", keys: [], position: Some(Position { line: 3, column: 7 }) }");
    EXPECT_FALSE(source(TomlError{}).has_value());
}

}  // namespace
}  // namespace vireo
