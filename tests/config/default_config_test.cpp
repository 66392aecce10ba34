#include "config/default_config.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/save.hpp"
#include "config/typed_reader.hpp"
#include "config/validate.hpp"
#include "config_fixtures.hpp"

namespace vireo {
namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        lines.push_back(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    return lines;
}

// The section headers and the keys of a TOML text, in the order they stand.
std::vector<std::string_view> layout_of(std::string_view text) {
    std::vector<std::string_view> layout;
    for (const std::string_view line : lines_of(text)) {
        const auto equals = line.find(" = ");
        if (line.starts_with("[")) {
            layout.push_back(line);
        } else if (!line.starts_with("#") && equals != std::string_view::npos) {
            layout.push_back(line.substr(0, equals));
        }
    }
    return layout;
}

TEST(DefaultConfig, IsFiftyEightAsciiLinesEachEndedByALineFeed) {
    EXPECT_EQ(std::ranges::count(DEFAULT_CONFIG, '\n'), 58);
    ASSERT_FALSE(DEFAULT_CONFIG.empty());
    EXPECT_EQ(DEFAULT_CONFIG.back(), '\n');
    EXPECT_FALSE(DEFAULT_CONFIG.ends_with("\n\n"));
    EXPECT_TRUE(std::ranges::all_of(DEFAULT_CONFIG,
                                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
}

TEST(DefaultConfig, LaysOutSectionsAfterOneEmptyLineEach) {
    const auto lines = lines_of(DEFAULT_CONFIG);
    ASSERT_EQ(lines.size(), 58u);
    EXPECT_TRUE(lines[0].starts_with("# "));
    EXPECT_TRUE(lines[1].starts_with("# "));
    EXPECT_EQ(lines[2], "port = \"\"");

    std::vector<std::string_view> headers;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("[")) {
            headers.push_back(lines[i]);
            EXPECT_EQ(lines[i - 1], "") << lines[i];
        } else if (lines[i].empty()) {
            ASSERT_LT(i + 1, lines.size());
            EXPECT_TRUE(lines[i + 1].starts_with("[")) << "empty line " << i + 1;
        } else if (!lines[i].starts_with("# ")) {
            EXPECT_NE(lines[i].find(" = "), std::string_view::npos) << lines[i];
        }
    }
    const std::vector<std::string_view> expected = {"[connection]", "[serial]", "[scan]",
                                                    "[ui]",         "[output]", "[logging]"};
    EXPECT_EQ(headers, expected);
}

// Reading does not depend on the order of keys, so test it against the saved layout, which
// follows the declared order.
TEST(DefaultConfig, KeysStandInDeclaredOrder) {
    const auto config = read_config_document(DEFAULT_CONFIG);
    ASSERT_TRUE(config) << display(config.error());
    const auto saved = config_to_toml(*config);
    ASSERT_TRUE(saved);
    EXPECT_EQ(layout_of(DEFAULT_CONFIG), layout_of(*saved));
    EXPECT_EQ(layout_of(DEFAULT_CONFIG).size(), 34u + 6u);
}

TEST(DefaultConfig, ReadsIntoExactlyTheDefaultsAndPassesValidation) {
    const auto config = read_config_document(DEFAULT_CONFIG);
    ASSERT_TRUE(config) << display(config.error());
    EXPECT_EQ(*config, fixtures::expected_defaults());
    EXPECT_TRUE(validate(*config));
}

}  // namespace
}  // namespace vireo
