#include "common/error_report.hpp"

#include <cerrno>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "common/io_error.hpp"

namespace vireo {
namespace {

// A chain of errors of any length, each naming its cause.
struct Layer {
    std::string text;
    const Layer* cause = nullptr;
};
std::string display(const Layer& layer) {
    return layer.text;
}
std::string debug(const Layer& layer) {
    return fmt::format("Layer({:?})", layer.text);
}
std::optional<ErrorRef> source(const Layer& layer) {
    if (layer.cause == nullptr) {
        return std::nullopt;
    }
    return ErrorRef(*layer.cause);
}

std::string location_line(const ErrorReport& report) {
    const auto& at = report.location();
    return fmt::format("Location: {}:{}:{}", at.file_name(), at.line(), at.column());
}

TEST(ErrorReport, RecordsWhereItWasMade) {
    const ErrorReport report(IoError::from_kind(IoErrorKind::TimedOut));
    const unsigned line = __LINE__ - 1;
    EXPECT_EQ(report.location().line(), line);
    EXPECT_TRUE(std::string_view(report.location().file_name()).ends_with("error_report_test.cpp"))
        << report.location().file_name();
}

TEST(ErrorReport, DisplayIsTheOutermostTextAndDebugListsTheCauses) {
    static const Layer inner{"No such file or directory (os error 2)"};
    static const Layer middle{"cannot open log", &inner};
    const Layer outer{"logging: cannot open log", &middle};
    const ErrorReport report(outer);

    EXPECT_EQ(display(report), "logging: cannot open log");
    EXPECT_EQ(debug(report),
              "Layer(\"logging: cannot open log\")\n"
              "\n"
              "Caused by:\n"
              "   0: cannot open log\n"
              "   1: No such file or directory (os error 2)\n"
              "\n" +
                  location_line(report));
    const auto wrapped = source(report);
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->display(), "logging: cannot open log");
    ASSERT_TRUE(wrapped->source());
    EXPECT_EQ(wrapped->source()->display(), "cannot open log");
}

TEST(ErrorReport, AnErrorWithoutCauseHasNoCauseSection) {
    const ErrorReport report(IoError::from_os(ENOENT));
    EXPECT_EQ(display(report), "No such file or directory (os error 2)");
    EXPECT_EQ(debug(report),
              "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }\n\n" +
                  location_line(report));
    // Copies share the error.
    const ErrorReport copy = report;
    EXPECT_EQ(debug(copy), debug(report));
}

}  // namespace
}  // namespace vireo
