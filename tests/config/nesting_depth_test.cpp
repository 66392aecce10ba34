#include "config/nesting_depth.hpp"

#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "config/typed_reader.hpp"

namespace vireo {
namespace {

// "a.a.a" with `parts` parts.
std::string dotted(std::size_t parts, std::string_view part = "a") {
    std::string key(part);
    for (std::size_t i = 1; i < parts; ++i) {
        key += fmt::format(".{}", part);
    }
    return key;
}

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

constexpr std::size_t LIMIT = MAX_NESTING_DEPTH;

TEST(NestingDepth, DocumentsAtTheLimitParse) {
    const std::string cases[] = {
        dotted(LIMIT) + " = 1\n",
        fmt::format("[{}]\nx = 1\n", dotted(LIMIT - 1)),
        fmt::format("[[{}]]\nx = 1\n", dotted(LIMIT - 2)),
        fmt::format("a = {}1{}\n", repeated("[", LIMIT - 1), repeated("]", LIMIT - 1)),
        fmt::format("a = {}1{}\n", repeated("{ b = ", LIMIT - 1), repeated(" }", LIMIT - 1)),
        fmt::format("[{}]\n{} = [ # note\n  {{ {} = 1 }},\n]\n", dotted(LIMIT / 2), dotted(10),
                    dotted(LIMIT / 2 - 11)),
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        const auto parsed = parse_toml(text);
        EXPECT_TRUE(parsed) << display(parsed.error());
    }
}

// Dots and brackets that build no levels must not count: in strings of every form, quoted
// keys, comments, numbers and dates.
TEST(NestingDepth, TextThatOnlyLooksDeepParses) {
    const std::string deep = dotted(LIMIT * 2);
    std::vector<std::string> cases = {
        fmt::format("\"{}\" = 1\n'{}.b' = 2\n", deep, deep),
        fmt::format("a = \"\"\"\n[{}]\n\\\"\"\"\n{} = 1\"\"\"\n", deep, deep),
        fmt::format("a = '''\n[[{}]]\n'''''\n", deep),
        fmt::format("a = \"[{}\"\nb = '{{{}'\n", repeated("[", LIMIT * 2), repeated("{", LIMIT)),
        fmt::format("# [{}]\na = 1 # {} = 1\n", deep, deep),
        fmt::format("a = [{}]\nb = 1979-05-27 07:32:00.5\n", repeated("1.5, ", LIMIT * 2)),
        fmt::format("[x.\"{}\".y]\nz = 1\n", deep),
    };
    // Levels of one table don't add up with those of the next.
    std::string many_tables;
    for (std::size_t i = 0; i < LIMIT * 2; ++i) {
        many_tables += fmt::format("[t{0}]\nx = 1\n[t{0}.c]\ny = [[1], [2]]\n", i);
    }
    cases.push_back(many_tables);
    for (const auto& text : cases) {
        SCOPED_TRACE(text.substr(0, 200));
        const auto parsed = parse_toml(text);
        EXPECT_TRUE(parsed) << display(parsed.error());
    }
}

TEST(NestingDepth, RefusesTheFirstLevelTooDeepAtItsPosition) {
    struct Case {
        std::string text;
        std::size_t line;
        std::size_t column;
    };
    const Case cases[] = {
        {dotted(LIMIT + 1) + " = 1\n", 1, 1},
        {fmt::format("x = 1\r\n  [{}]\r\n", dotted(LIMIT + 1)), 2, 3},
        {fmt::format("[{}]\nok = 1\n{} = 1\n", dotted(LIMIT - 1), dotted(2)), 3, 1},
        {fmt::format("[[{}]]\n", dotted(LIMIT)), 1, 1},
        {fmt::format("é = {}1{}\n", repeated("[", LIMIT), repeated("]", LIMIT)), 1, LIMIT + 4},
        {fmt::format("a = {{ b = {{ {} = 1 }} }}\n", dotted(LIMIT - 1)), 1, 13},
        {fmt::format("a = [\n  1,\n  {{ {} = 1 }},\n]\n", dotted(LIMIT)), 3, 5},
        // A string that ends in a backslash must end there, or the key after it goes unseen.
        {fmt::format("a = \"\"\"x\\\\\"\"\"\n{} = 1\n", dotted(LIMIT + 1)), 2, 1},
        {fmt::format("a = '''C:\\'''\n{} = 1\n", dotted(LIMIT + 1)), 2, 1},
        // The parser recursed once per part and ran out of stack long before this size.
        {dotted(35'000) + " = 1\n", 1, 1},
        {fmt::format("[{}]\n", dotted(35'000)), 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 200));
        const auto parsed = parse_toml(c.text);
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parsed.error().message, "nested deeper than 64 levels");
        ASSERT_TRUE(parsed.error().position);
        EXPECT_EQ(parsed.error().position->line, c.line);
        EXPECT_EQ(parsed.error().position->column, c.column);
    }
}

}  // namespace
}  // namespace vireo
