// Identification through scan set-up against the instrument double over a real TCP socket.
#include <functional>

#include <gtest/gtest.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"
#include "log_capture.hpp"
#include "protocol/identification.hpp"
#include "protocol/model_profile.hpp"
#include "transport/device_link.hpp"
#include "transport/exchange.hpp"

namespace vireo {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t MHZ = 1000000;
const ScanRequest DEFAULT_REQUEST{240 * MHZ, 800 * MHZ, 10001, 1};

Config config_for(const std::string& address) {
    auto config = read_config_document(DEFAULT_CONFIG).value();
    config.connection.backend = ConnectionBackend::Tcp;
    config.connection.tcp_address = address;
    config.serial.command_delay_ms = 0;
    config.serial.settle_delay_ms = 0;
    config.serial.scan_delay_ms = 0;
    return config;
}

// What the worker's steps from identification to the end of the set-up produced.
struct SetupOutcome {
    std::optional<AcquisitionError> error;
    bool pause_attempted = false;
    std::optional<std::uint16_t> zero_offset;
    std::vector<std::string> commands;  // as the double received them
    ScanStateHandle state = make_scan_state();
};

// Runs identification, the model profile, the command check, the identification text, the
// diagnostics and the scan set-up in the worker's order, stopping at the first failure.
SetupOutcome run_setup(sim::Options options, ScanRequest request = DEFAULT_REQUEST,
                       const std::function<void(Config&)>& adjust = {}) {
    sim::InstrumentDouble instrument(std::move(options));
    Config config = config_for(instrument.listen_tcp());
    if (adjust) {
        adjust(config);
    }
    const auto delay = std::chrono::milliseconds(config.serial.command_delay_ms);
    const auto settle = std::chrono::milliseconds(config.serial.settle_delay_ms);
    SetupOutcome outcome;
    {
        auto link = open_link(config);
        if (!link) {
            ADD_FAILURE() << display(link.error());
            return outcome;
        }
        outcome.error = [&]() -> std::optional<AcquisitionError> {
            apply_update(outcome.state, SetStatus{"Identifying instrument"});
            apply_update(outcome.state, SetProgress{5});
            if (auto drained = drain_prompt(*link); !drained) {
                return AcquisitionError::Transport{drained.error()};
            }
            auto identity = identify_instrument(*link, delay, settle, config.scan.device_model);
            if (!identity) {
                return identity.error();
            }
            const auto profile = model_profile(identity->detected_model, request);
            if (!profile) {
                return AcquisitionError::Protocol{profile.error()};
            }
            auto help = check_required_commands(*link, delay, settle, config.scan.legacy_pre_scan,
                                                identity->detected_model);
            if (!help) {
                return help.error();
            }
            apply_update(outcome.state,
                         SetInfo{identification_text(*identity, profile->native_zero_offset)});
            if (auto diagnostics = query_diagnostics(*link, delay, settle, *help); !diagnostics) {
                return diagnostics.error();
            }
            auto setup = configure_scan(*link, config, request, *profile, outcome.state);
            if (!setup) {
                outcome.pause_attempted = setup.error().pause_attempted;
                return setup.error().error;
            }
            outcome.pause_attempted = true;
            outcome.zero_offset = setup->zero_offset;
            return std::nullopt;
        }();
    }
    outcome.commands = instrument.received_commands();
    return outcome;
}

using Commands = std::vector<std::string>;
const Commands IDENTIFY = {"version", "info"};
const Commands DIAGNOSTICS = {"leveloffset", "vbat", "usart_cfg", "threads", "marker"};

Commands join(std::initializer_list<Commands> parts) {
    Commands all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(ScanSetupOverTcp, CommandSequences) {
    struct Case {
        std::string_view name;
        sim::Model model;
        ScanRequest request;
        std::function<void(Config&)> adjust;
        std::uint16_t zero_offset;
        Commands setup;  // from "repeat" on
    };
    const Case cases[] = {
        {"Basic above 350 MHz",
         sim::Model::Basic,
         DEFAULT_REQUEST,
         {},
         128,
         {"repeat 1", "zero 128", "zero", "pause", "mode high input", "sweep start 240000000",
          "sweep stop 800000000", "sweep", "scan 240000000 800000000 290 101"}},
        {"Basic below 350 MHz, no legacy scan",
         sim::Model::Basic,
         {100 * MHZ, 200 * MHZ, 101, 7},
         [](Config& c) { c.scan.legacy_pre_scan = false; },
         128,
         {"repeat 7", "zero 128", "zero", "pause", "mode low input", "sweep start 100000000",
          "sweep stop 200000000", "sweep"}},
        {"Ultra",
         sim::Model::Ultra,
         DEFAULT_REQUEST,
         {},
         174,
         {"repeat 1", "zero 174", "zero", "pause", "mode low input", "sweep start 240000000",
          "sweep stop 800000000", "sweep", "scan 240000000 800000000 290 101"}},
        {"Ultra with a configured zero offset",
         sim::Model::Ultra,
         {100000, 800 * MHZ, 2, 1000},
         [](Config& c) {
             c.scan.auto_zero_offset = false;
             c.scan.zero_offset = 300;
             c.scan.legacy_pre_scan = false;
             c.scan.device_model = DeviceModel::Ultra;
         },
         300,
         {"repeat 1000", "zero 300", "zero", "pause", "mode low input", "sweep start 100000",
          "sweep stop 800000000", "sweep"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = run_setup(sim::Options{.model = c.model}, c.request, c.adjust);
        ASSERT_FALSE(outcome.error) << display(*outcome.error);
        EXPECT_EQ(outcome.zero_offset, c.zero_offset);
        EXPECT_EQ(outcome.commands, join({IDENTIFY, {"help"}, DIAGNOSTICS, c.setup}));
        EXPECT_EQ(status_text(outcome.state), "Configuring scan");
        EXPECT_EQ(progress_percent(outcome.state), 20u);
        EXPECT_EQ(phase(outcome.state), ScanPhase::Ready);
    }
}

TEST(ScanSetupOverTcp, IdentificationTextHoldsTheRepliesAsReceived) {
    const auto outcome = run_setup(sim::Options{.model = sim::Model::Basic});
    ASSERT_FALSE(outcome.error) << display(*outcome.error);
    // The echoed command lines and the blank left after each prompt are part of the replies.
    EXPECT_TRUE(info_text(outcome.state)
                    .starts_with("Detected tinySA Basic (native raw offset 128 dB)\n"
                                 " version\r\ntinySA_v1.4-240-gf5d5bed\r\n"
                                 " info\r\ntinySA v0.3ZS304\r\n"))
        << info_text(outcome.state);
}

TEST(ScanSetupOverTcp, FailuresOfEachStep) {
    struct Case {
        std::string_view name;
        sim::Options options;
        std::function<void(Config&)> adjust;
        ScanRequest request;
        std::string_view text;
        bool pause_attempted;
        Commands commands;
        std::uint64_t progress;
    };
    const Case cases[] = {
        {"empty version reply",
         {.model = sim::Model::Basic, .echo = false, .reply_overrides = {{"version", ""}}},
         {},
         DEFAULT_REQUEST,
         "the instrument returned an empty version or info reply",
         false,
         IDENTIFY,
         5},
        {"rejection lines are only text to identification",
         {.model = sim::Model::Basic, .reply_overrides = {{"version", "error: no\r\n"}}},
         {},
         DEFAULT_REQUEST,
         "unsupported device identity; expected tinySA_v\u2026 or tinySA4_v\u2026 in "
         "version/info",
         false,
         IDENTIFY,
         5},
        {"configured model differs",
         {.model = sim::Model::Basic},
         [](Config& c) { c.scan.device_model = DeviceModel::Ultra; },
         DEFAULT_REQUEST,
         "configured model tinySA Ultra family does not match detected tinySA Basic",
         false,
         IDENTIFY,
         5},
        // The model's limits are checked before "help" is asked.
        {"request outside the model's limits",
         {.model = sim::Model::Ultra, .hidden_commands = {"scanraw"}},
         {},
         {0, 800 * MHZ, 101, 1},
         "invalid scan request: tinySA Ultra first-tier support is limited to the common "
         "0.1\u2013800 MHz normal range; extended and harmonic modes are not enabled",
         false,
         IDENTIFY,
         5},
        {"missing scanraw",
         {.model = sim::Model::Ultra, .hidden_commands = {"scanraw"}},
         {},
         DEFAULT_REQUEST,
         "tinySA Ultra family firmware does not advertise required command \"scanraw\"",
         false,
         join({IDENTIFY, {"help"}}),
         5},
        {"rejected zero offset",
         {.model = sim::Model::Basic, .fault = sim::FaultKind::Reject, .fault_command = "zero 128"},
         {},
         DEFAULT_REQUEST,
         "device rejected \"zero 128\":  zero 128\r\nerror: rejected\r\n",
         false,
         join({IDENTIFY, {"help"}, DIAGNOSTICS, {"repeat 1", "zero 128"}}),
         5},
        {"readback mismatch",
         {.model = sim::Model::Basic,
          .reply_overrides = {{"zero", "usage: zero {level}\r\n50dBm\r\n"}}},
         {},
         DEFAULT_REQUEST,
         "raw-level offset readback is 50 dB after requesting 128 dB",
         false,
         join({IDENTIFY, {"help"}, DIAGNOSTICS, {"repeat 1", "zero 128", "zero"}}),
         5},
        {"no readback",
         {.model = sim::Model::Ultra, .reply_overrides = {{"zero", "usage: zero {level}\r\n"}}},
         {},
         DEFAULT_REQUEST,
         "could not confirm the raw-level offset after configuring zero 174",
         false,
         join({IDENTIFY, {"help"}, DIAGNOSTICS, {"repeat 1", "zero 174", "zero"}}),
         5},
        {"rejected pause",
         {.model = sim::Model::Basic, .fault = sim::FaultKind::Reject, .fault_command = "pause"},
         {},
         DEFAULT_REQUEST,
         "device rejected \"pause\":  pause\r\nerror: rejected\r\n",
         true,
         join({IDENTIFY, {"help"}, DIAGNOSTICS, {"repeat 1", "zero 128", "zero", "pause"}}),
         20},
        {"rejected sweep range",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::Reject, .fault_command = "sweep"},
         {},
         DEFAULT_REQUEST,
         "device rejected \"sweep start 240000000\":  sweep start 240000000\r\nerror: "
         "rejected\r\n",
         true,
         join({IDENTIFY,
               {"help"},
               DIAGNOSTICS,
               {"repeat 1", "zero 174", "zero", "pause", "mode low input",
                "sweep start 240000000"}}),
         20},
        {"rejected legacy scan",
         {.model = sim::Model::Basic,
          .fault = sim::FaultKind::Reject,
          .fault_command = "scan",
          .fault_line = "usage: scan {start(Hz)} {stop(Hz)}"},
         {},
         {100 * MHZ, 200 * MHZ, 101, 1},
         "device rejected \"scan 100000000 200000000 290 101\":  scan 100000000 200000000 290 "
         "101\r\nusage: scan {start(Hz)} {stop(Hz)}\r\n",
         true,
         join({IDENTIFY,
               {"help"},
               DIAGNOSTICS,
               {"repeat 1", "zero 128", "zero", "pause", "mode low input", "sweep start 100000000",
                "sweep stop 200000000", "sweep", "scan 100000000 200000000 290 101"}}),
         20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = run_setup(c.options, c.request, c.adjust);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(display(*outcome.error), c.text);
        EXPECT_EQ(outcome.pause_attempted, c.pause_attempted);
        EXPECT_EQ(outcome.commands, c.commands);
        EXPECT_EQ(progress_percent(outcome.state), c.progress);
    }
}

TEST(ScanSetupOverTcp, FailedExchangeDuringIdentificationIsTheTransportText) {
    const auto outcome = run_setup(
        {.model = sim::Model::Basic, .fault = sim::FaultKind::NoPrompt, .fault_command = "info"},
        DEFAULT_REQUEST, [](Config& c) { c.connection.tcp_timeout_ms = 100; });
    ASSERT_TRUE(outcome.error);
    ASSERT_TRUE(std::holds_alternative<AcquisitionError::Transport>(outcome.error->value()));
    // The chain continues with the link's I/O error.
    EXPECT_EQ(display(*outcome.error), "serial transport: Operation timed out");
    ASSERT_TRUE(source(*outcome.error));
    EXPECT_EQ(source(*outcome.error)->debug(),
              "Custom { kind: TimedOut, error: \"Operation timed out\" }");
    EXPECT_EQ(outcome.commands, IDENTIFY);
    EXPECT_EQ(info_text(outcome.state), "");
}

TEST(ScanSetupOverTcp, DiagnosticsAreSentOnlyWhenListedAndLoggedOnlyAtDebug) {
    const sim::Options options{.model = sim::Model::Basic,
                               .hidden_commands = {"leveloffset", "threads", "marker"}};
    const Commands expected =
        join({IDENTIFY, {"help", "vbat", "usart_cfg", "repeat 1", "zero 128", "zero", "pause"}});
    {
        testing::LogCapture capture(log::Level::Debug);
        const auto outcome = run_setup(options);
        ASSERT_FALSE(outcome.error) << display(*outcome.error);
        EXPECT_EQ(Commands(outcome.commands.begin(), outcome.commands.begin() + 9), expected);
        const std::vector<testing::CapturedRecord> records{
            {log::Level::Debug, "vireo::acquisition", "vbat:  vbat\r\n4012 mV\r\n"},
            {log::Level::Debug, "vireo::acquisition",
             "usart_cfg:  usart_cfg\r\nSerial: 115200 baud\r\n"},
        };
        EXPECT_EQ(capture.records(), records);
    }
    {
        // At Info the commands still go out; an answer that looks like a rejection is no error.
        sim::Options rejecting = options;
        rejecting.fault = sim::FaultKind::Reject;
        rejecting.fault_command = "vbat";
        rejecting.fault_line = "unknown command";
        testing::LogCapture capture(log::Level::Info);
        const auto outcome = run_setup(rejecting);
        ASSERT_FALSE(outcome.error) << display(*outcome.error);
        EXPECT_EQ(Commands(outcome.commands.begin(), outcome.commands.begin() + 9), expected);
        EXPECT_TRUE(capture.records().empty());
    }
}

}  // namespace
}  // namespace vireo
