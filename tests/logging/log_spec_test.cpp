#include "logging/log_spec.hpp"

#include <gtest/gtest.h>

namespace vireo::logging {
namespace {

using log::Level;

LogSpec parse_ok(std::string_view text) {
    auto spec = parse_log_spec(text);
    EXPECT_TRUE(spec) << text << ": " << (spec ? "" : spec.error().front());
    return spec ? *spec : LogSpec{};
}

TEST(LogSpec, LevelsOfTargetsAndTheHighestLevelNamed) {
    struct Case {
        std::string_view spec;
        std::string_view target;
        Level level;
        Level max;
    };
    const Case cases[] = {
        {"info", "vireo::scan", Level::Info, Level::Info},
        {"  WaRn ", "anything", Level::Warn, Level::Warn},
        {"off", "vireo::scan", Level::Off, Level::Off},
        // Without a default level, unnamed targets are off.
        {"vireo::scan=debug", "vireo::acquisition", Level::Off, Level::Debug},
        {"vireo::scan=debug", "vireo::scan", Level::Debug, Level::Debug},
        // A module named alone, or with an empty level, takes every level.
        {"error,vireo", "vireo::ui", Level::Trace, Level::Trace},
        {"error,vireo=", "vireo", Level::Trace, Level::Trace},
        {"error, vireo = info ,,", "vireo", Level::Info, Level::Info},
        // Later items override earlier ones.
        {"info,warn,vireo=debug,vireo=error", "vireo", Level::Error, Level::Warn},
        {"info,warn", "x", Level::Warn, Level::Warn},
        // An item with an empty module name covers every target, below named modules.
        {"warn,=debug,vireo=error", "other", Level::Debug, Level::Debug},
        {"warn,=debug,vireo=error", "vireo::scan", Level::Error, Level::Debug},
        {"", "vireo", Level::Off, Level::Off},
        {"info/", "vireo", Level::Info, Level::Info},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.spec << " @ " << c.target);
        const LogSpec spec = parse_ok(c.spec);
        EXPECT_EQ(spec.level_for(c.target), c.level);
        EXPECT_EQ(spec.max_level(), c.max);
    }
}

TEST(LogSpec, ModulesMatchWholeSegmentsAndTheLongestItemWins) {
    const LogSpec spec =
        parse_ok("warn,vireo=info,vireo::scan=trace,vireo::scan::frame=off,vireo::acq=error");
    struct Case {
        std::string_view target;
        Level level;
    };
    const Case cases[] = {
        {"vireo", Level::Info},
        {"vireo::ui", Level::Info},
        {"vireo::scan", Level::Trace},
        {"vireo::scan::state", Level::Trace},
        {"vireo::scan::frame", Level::Off},
        {"vireo::scanner", Level::Info},
        {"vireo::acquisition", Level::Info},
        {"vireo::acq", Level::Error},
        {"vireox", Level::Warn},
        {"other", Level::Warn},
        {"", Level::Warn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(spec.level_for(c.target), c.level);
    }
    EXPECT_EQ(spec.max_level(), Level::Trace);
}

TEST(LogSpec, RecordsPassByLevelAndMessageFilter) {
    const LogSpec spec = parse_ok("info,vireo::acquisition=debug/fail|^vbat");
    EXPECT_TRUE(spec.has_text_filter());
    struct Case {
        Level level;
        std::string_view target;
        std::string_view message;
        bool passes;
    };
    const Case cases[] = {
        {Level::Error, "vireo::scan", "connection failed", true},
        {Level::Error, "vireo::scan", "all good", false},
        {Level::Debug, "vireo::acquisition", "vbat: 4100 mV", true},
        {Level::Debug, "vireo::acquisition", "info: vbat", false},
        {Level::Debug, "vireo::scan", "it failed", false},
        {Level::Trace, "vireo::acquisition", "failed", false},
        {Level::Off, "vireo::scan", "failed", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(spec.passes(c.level, c.target, c.message), c.passes);
    }
}

TEST(LogSpec, ReportsEveryProblem) {
    struct Case {
        std::string_view spec;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"info/a/b", {"invalid log spec 'info/a/b' (too many '/'s), ignoring it"}},
        {"info,vireo scan=debug",
         {"ignoring invalid part in log spec 'vireo scan' (contains a whitespace)"}},
        {"vireo scan", {"ignoring invalid part in log spec 'vireo scan' (contains a whitespace)"}},
        {"verbose=info ,vireo=Loud", {"unknown level filter: Loud"}},
        {" a=info=debug ", {"invalid part in log spec 'a=info=debug', ignoring it"}},
        {"info/(", {"invalid regex filter - missing ): ("}},
        {"a b, c=shout, d=e=f, info/[x",
         {
             "ignoring invalid part in log spec 'a b' (contains a whitespace)",
             "unknown level filter: shout",
             "invalid part in log spec 'd=e=f', ignoring it",
             "invalid regex filter - missing ]: [x",
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        const auto spec = parse_log_spec(c.spec);
        ASSERT_FALSE(spec);
        EXPECT_EQ(spec.error(), c.messages);
    }
}

}  // namespace
}  // namespace vireo::logging
