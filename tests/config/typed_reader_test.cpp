#include "config/typed_reader.hpp"

#include <cmath>
#include <functional>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "config/default_config.hpp"
#include "config/load.hpp"
#include "config_fixtures.hpp"

namespace vireo {
namespace {

// What the value reader meets: the user's text merged over the defaults.
std::expected<Config, TomlError> read_over_defaults(std::string_view user_text) {
    auto base = parse_toml(DEFAULT_CONFIG);
    auto overlay = parse_toml(user_text);
    if (!base || !overlay) {
        ADD_FAILURE() << "not valid TOML: " << user_text;
        return std::unexpected(TomlError{});
    }
    merge_values(*base, std::move(*overlay));
    return read_config_value(std::move(*base));
}

struct ReadCase {
    std::string_view given;
    std::string_view error;  // the reading error's text; empty when the value reads
    std::function<void(const Config&)> check = nullptr;
};

void run_cases(std::span<const ReadCase> cases) {
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.given);
        const auto config = read_over_defaults(c.given);
        if (c.error.empty()) {
            ASSERT_TRUE(config) << display(config.error());
            if (c.check) {
                c.check(*config);
            }
        } else {
            ASSERT_FALSE(config);
            EXPECT_EQ(display(config.error()), c.error);
            EXPECT_FALSE(config.error().position);
        }
    }
}

TEST(ValueReader, EdgeCases) {
    const ReadCase cases[] = {
        {"baudrate = -1", "invalid value: integer `-1`, expected u32\nin `baudrate`\n"},
        {"baudrate = 4294967296",
         "invalid value: integer `4294967296`, expected u32\nin `baudrate`\n"},
        {"baudrate = 4294967295", "", [](const Config& c) { EXPECT_EQ(c.baudrate, 4294967295u); }},
        {"[scan]\nzero_offset = 70000",
         "invalid value: integer `70000`, expected u16\nin `scan.zero_offset`\n"},
        {"[scan]\nzero_offset = 2048", "",
         [](const Config& c) { EXPECT_EQ(c.scan.zero_offset, 2048); }},
        {"[connection]\ntcp_timeout_ms = -3",
         "invalid value: integer `-3`, expected u64\nin `connection.tcp_timeout_ms`\n"},
        {"points = -1", "invalid value: integer `-1`, expected usize\nin `points`\n"},
        {"start_frequency = 240.0",
         "invalid type: floating point `240.0`, expected usize\nin `start_frequency`\n"},
        {"[ui]\nchart_max_dbm = 0", "",
         [](const Config& c) {
             EXPECT_EQ(c.ui.chart_max_dbm, 0.0);
             EXPECT_FALSE(std::signbit(c.ui.chart_max_dbm));
         }},
        {"[ui]\nchart_max_dbm = 7", "",
         [](const Config& c) { EXPECT_EQ(c.ui.chart_max_dbm, 7.0); }},
        {"[output]\ninclude_header = \"false\"",
         "invalid type: string \"false\", expected a boolean\nin `output.include_header`\n"},
        {"[scan]\ndevice_model = \"Ultra\"",
         "unknown variant `Ultra`, expected one of `auto`, `basic`, `ultra`\n"
         "in `scan.device_model`\n"},
        {"[connection]\nbackend = \"TCP\"",
         "unknown variant `TCP`, expected `serial` or `tcp`\nin `connection.backend`\n"},
        {"[scan]\ndevice_model = 2",
         "invalid type: unit variant, expected string only\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = {} }", "",
         [](const Config& c) { EXPECT_EQ(c.scan.device_model, DeviceModel::Ultra); }},
        {"[scan]\ndevice_model = { ultra = 1 }",
         "expected table, found integer\nin `scan.device_model`\n"},
        {"[serial]\nfoo = 1",
         "unknown field `foo`, expected one of `timeout_ms`, `command_delay_ms`, "
         "`settle_delay_ms`, `scan_delay_ms`, `max_response_bytes`, `baudrates`, "
         "`preferred_ports`\nin `serial`\n"},
        {"Port = \"COM3\"",
         "unknown field `Port`, expected one of `port`, `baudrate`, `start_frequency`, "
         "`stop_frequency`, `points`, `repeat`, `connection`, `serial`, `scan`, `ui`, `output`, "
         "`logging`\n"},
        {"ui = 5", "invalid type: integer `5`, expected struct UiConfig\nin `ui`\n"},
        {"ui = [16]", "invalid length 1, expected struct UiConfig with 3 elements\nin `ui`\n"},
        {"ui = [16, -128.0, 0.0, 1]",
         "invalid length 4, expected fewer elements in array\nin `ui`\n"},
        {"[serial]\npreferred_ports = \"COM3\"",
         "invalid type: string \"COM3\", expected a sequence\nin `serial.preferred_ports`\n"},
        {"[serial]\nbaudrates = [9600, -5]",
         "invalid value: integer `-5`, expected u32\nin `serial.baudrates`\n"},
        {"[serial]\nbaudrates = []", "",
         [](const Config& c) { EXPECT_TRUE(c.serial.baudrates.empty()); }},
        {"port = 1979-05-27T07:32:00Z", "",
         [](const Config& c) { EXPECT_EQ(c.port, "1979-05-27T07:32:00Z"); }},
        {"baudrate = 1979-05-27T07:32:00Z",
         "invalid type: string \"1979-05-27T07:32:00Z\", expected u32\nin `baudrate`\n"},
    };
    run_cases(cases);
}

TEST(ValueReader, RendersGivenValuesInTypeErrors) {
    const ReadCase cases[] = {
        {"start_frequency = 1.5e-7",
         "invalid type: floating point `0.00000015`, expected usize\nin `start_frequency`\n"},
        {"start_frequency = 2.5e20",
         "invalid type: floating point `250000000000000000000.0`, expected usize\n"
         "in `start_frequency`\n"},
        {"start_frequency = -0.0",
         "invalid type: floating point `-0.0`, expected usize\nin `start_frequency`\n"},
        {"start_frequency = -inf",
         "invalid type: floating point `-inf`, expected usize\nin `start_frequency`\n"},
        {"start_frequency = nan",
         "invalid type: floating point `NaN`, expected usize\nin `start_frequency`\n"},
        {"baudrate = true", "invalid type: boolean `true`, expected u32\nin `baudrate`\n"},
        {"port = []", "invalid type: sequence, expected a string\nin `port`\n"},
        {"port = {}", "invalid type: map, expected a string\nin `port`\n"},
        {"[output]\ndirectory = 5",
         "invalid type: integer `5`, expected path string\n"
         "in `output.directory`\n"},
        {"[serial]\nbaudrates = { a = 1 }",
         "invalid type: map, expected a sequence\nin `serial.baudrates`\n"},
        {"[ui]\nchart_min_dbm = \"low\"",
         "invalid type: string \"low\", expected f64\nin `ui.chart_min_dbm`\n"},
        {R"([output]
include_header = "q\"b\\s\tt\nn")",
         "invalid type: string \"q\\\"b\\\\s\\tt\\nn\", expected a boolean\n"
         "in `output.include_header`\n"},
        {"serial = 5", "invalid type: integer `5`, expected struct SerialConfig\nin `serial`\n"},
        {"baudrate = 1979-05-27",
         "invalid type: string \"1979-05-27\", expected u32\n"
         "in `baudrate`\n"},
        {"port = 07:32:00.5", "", [](const Config& c) { EXPECT_EQ(c.port, "07:32:00.5"); }},
        {"port = 1979-05-27 00:32:00.999999-07:00", "",
         [](const Config& c) { EXPECT_EQ(c.port, "1979-05-27T00:32:00.999999-07:00"); }},
        {"port = 1979-05-27T07:32:00", "",
         [](const Config& c) { EXPECT_EQ(c.port, "1979-05-27T07:32:00"); }},
        {"[logging]\ndirectory = 2001-02-03T04:05:06+05:30", "",
         [](const Config& c) { EXPECT_EQ(c.logging.directory, "2001-02-03T04:05:06+05:30"); }},
    };
    run_cases(cases);
}

TEST(ValueReader, EnumerationShapes) {
    const ReadCase cases[] = {
        {"[scan]\ndevice_model = {}",
         "wanted exactly 1 element, found 0 elements\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = {}, basic = {} }",
         "wanted exactly 1 element, more than 1 element\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = [1] }",
         "expected empty array\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = { a = 1 } }",
         "expected empty table\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = \"x\" }",
         "expected table, found string\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = 1.5 }",
         "expected table, found float\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = true }",
         "expected table, found boolean\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { ultra = 1979-05-27 }",
         "expected table, found datetime\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = { Ultra = {} }",
         "unknown variant `Ultra`, expected one of `auto`, `basic`, `ultra`\n"
         "in `scan.device_model`\n"},
        {"[scan]\nfrequency_axis = { inclusive = [] }", "",
         [](const Config& c) { EXPECT_EQ(c.scan.frequency_axis, FrequencyAxis::Inclusive); }},
        {"[scan]\nfrequency_axis = \"FIRMWARE\"",
         "unknown variant `FIRMWARE`, expected `inclusive` or `firmware`\n"
         "in `scan.frequency_axis`\n"},
        {"[scan]\ndevice_model = 1979-05-27",
         "invalid type: unit variant, expected string only\nin `scan.device_model`\n"},
        {"[scan]\ndevice_model = [\"ultra\"]",
         "invalid type: unit variant, expected string only\nin `scan.device_model`\n"},
        {"[connection]\nbackend = \"tcp\"", "",
         [](const Config& c) { EXPECT_EQ(c.connection.backend, ConnectionBackend::Tcp); }},
    };
    run_cases(cases);
}

TEST(ValueReader, ArrayFormOfRecords) {
    const ReadCase cases[] = {
        {"ui = [20, -100, 5.5]", "",
         [](const Config& c) {
             EXPECT_EQ(c.ui, (UiConfig{20, -100.0, 5.5}));
         }},
        {"logging = [\"debug\", \"logs\"]", "",
         [](const Config& c) {
             EXPECT_EQ(c.logging, (LoggingConfig{"debug", "logs"}));
         }},
        {"logging = [\"debug\"]",
         "invalid length 1, expected struct LoggingConfig with 2 elements\nin `logging`\n"},
        {"ui = []", "invalid length 0, expected struct UiConfig with 3 elements\nin `ui`\n"},
        // An item is read before the length is judged, and adds nothing to the path.
        {"ui = [16, \"x\"]", "invalid type: string \"x\", expected f64\nin `ui`\n"},
        {"[[ui]]\npoll_interval_ms = 1", "invalid type: map, expected u64\nin `ui`\n"},
    };
    run_cases(cases);
}

TEST(ValueReader, ReportsTheFirstFaultInByteOrderOfKeys) {
    const ReadCase cases[] = {
        {"ui = 5\nbaudrate = -1", "invalid value: integer `-1`, expected u32\nin `baudrate`\n"},
        {"baudrate = -1\nPort = 1",
         "unknown field `Port`, expected one of `port`, `baudrate`, `start_frequency`, "
         "`stop_frequency`, `points`, `repeat`, `connection`, `serial`, `scan`, `ui`, `output`, "
         "`logging`\n"},
        {"[serial]\ntimeout_ms = -1\nbaudrates = 5",
         "invalid type: integer `5`, expected a sequence\nin `serial.baudrates`\n"},
    };
    run_cases(cases);
}

TEST(ValueReader, ReportsAMissingKeyOnlyAfterThePresentOnes) {
    auto base = parse_toml(DEFAULT_CONFIG);
    ASSERT_TRUE(base);
    base->erase("points");
    base->erase("repeat");
    base->get_as<toml::table>("ui")->erase("chart_min_dbm");

    toml::table missing_only = *base;
    auto result = read_config_value(missing_only);
    ASSERT_FALSE(result);
    // ui is read (and fails) before the record's missing keys are looked for.
    EXPECT_EQ(display(result.error()), "missing field `chart_min_dbm`\nin `ui`\n");

    base->get_as<toml::table>("ui")->insert("chart_min_dbm", -100.0);
    result = read_config_value(*base);
    ASSERT_FALSE(result);
    EXPECT_EQ(display(result.error()), "missing field `points`\n");

    base->insert_or_assign("ui", 5);
    result = read_config_value(*base);
    ASSERT_FALSE(result);
    EXPECT_EQ(display(result.error()),
              "invalid type: integer `5`, expected struct UiConfig\nin `ui`\n");
}

// The compiled-in defaults with one line replaced.
std::string defaults_with(std::string_view line, std::string_view replacement) {
    std::string text(DEFAULT_CONFIG);
    const auto at = text.find(line);
    EXPECT_NE(at, std::string::npos) << line;
    return text.replace(at, line.size(), replacement);
}

TEST(DocumentReader, ErrorsCarryTheirPosition) {
    const auto result = read_config_document(defaults_with("baudrate = 115200", "baudrate = -1"));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().key_path, std::vector<std::string>{"baudrate"});
    EXPECT_EQ(display(result.error()),
              "TOML parse error at line 4, column 12\n"
              "  |\n"
              "4 | baudrate = -1\n"
              "  |            ^\n"
              "invalid value: integer `-1`, expected u32\n");
}

TEST(DocumentReader, RefusesUnexpectedKeysOfASectionAtOnce) {
    const auto result = read_config_document(defaults_with(
        "[ui]\npoll_interval_ms = 16\n", "[ui]\nzeta = 1\npoll_interval_ms = -1\nalpha = 2\n"));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message,
              "unexpected keys in table: zeta, alpha, available keys: poll_interval_ms, "
              "chart_min_dbm, chart_max_dbm");
    ASSERT_TRUE(result.error().position);
    EXPECT_EQ(result.error().position->source_line, "zeta = 1");
    EXPECT_EQ(result.error().position->column, 1u);
    EXPECT_EQ(result.error().key_path, std::vector<std::string>{"ui"});
}

TEST(DocumentReader, TopLevelUnknownKeyUsesTheFieldMessage) {
    const auto result =
        read_config_document(defaults_with("repeat = 1\n", "repeat = 1\nfoo = 1\n"));
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().message.starts_with("unknown field `foo`, expected one of `port`"));
    ASSERT_TRUE(result.error().position);
    EXPECT_EQ(result.error().position->source_line, "foo = 1");
}

TEST(DocumentReader, TakesEntriesInDocumentOrder) {
    // In byte order `baudrate` would come first; in the text `port` does.
    std::string text = defaults_with("baudrate = 115200", "baudrate = -1");
    text.replace(text.find("port = \"\""), 9, "port = 5");
    const auto result = read_config_document(text);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "invalid type: integer `5`, expected a string");
}

TEST(DocumentReader, IgnoresSurplusArrayItems) {
    std::string text = defaults_with(
        "[ui]\npoll_interval_ms = 16\nchart_min_dbm = -128.0\nchart_max_dbm = 0.0\n\n", "");
    text = text.replace(text.find("repeat = 1\n"), 11, "repeat = 1\nui = [16, -128.0, 0.0, 1]\n");
    const auto result = read_config_document(text);
    ASSERT_TRUE(result) << display(result.error());
    EXPECT_EQ(*result, fixtures::expected_defaults());
}

TEST(DocumentReader, EnumerationShapes) {
    struct Case {
        std::string_view replacement;
        std::string_view message;
    };
    const Case cases[] = {
        {"device_model = 2", "wanted string or table"},
        {"device_model = [\"auto\"]", "wanted string or table"},
        {"device_model = {}", "wanted exactly 1 element, found 0 elements"},
        {"device_model = { auto = {}, ultra = {} }",
         "wanted exactly 1 element, more than 1 element"},
        {"device_model = { auto = 1 }", "expected table, found integer"},
        {"device_model = \"Auto\"",
         "unknown variant `Auto`, expected one of `auto`, `basic`, `ultra`"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replacement);
        const auto result =
            read_config_document(defaults_with("device_model = \"auto\"", c.replacement));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().message, c.message);
        EXPECT_EQ(result.error().key_path, (std::vector<std::string>{"scan", "device_model"}));
        EXPECT_TRUE(result.error().position);
    }
    const auto ultra = read_config_document(
        defaults_with("device_model = \"auto\"", "device_model = { ultra = [] }"));
    ASSERT_TRUE(ultra);
    EXPECT_EQ(ultra->scan.device_model, DeviceModel::Ultra);
}

TEST(DocumentReader, SyntaxErrorsCarryTheirPosition) {
    const auto result = read_config_document("port = \"\"\nbaudrate = = 5\n");
    ASSERT_FALSE(result);
    ASSERT_TRUE(result.error().position);
    EXPECT_EQ(result.error().position->line, 2u);
    EXPECT_EQ(result.error().position->source_line, "baudrate = = 5");
    EXPECT_FALSE(result.error().message.empty());
}

}  // namespace
}  // namespace vireo
