#include "ui/ui_error.hpp"

#include <cerrno>

#include <gtest/gtest.h>

namespace vireo {
namespace {

std::string source_text(const UiError& error) {
    const auto cause = source(error);
    return cause ? cause->display() : "(none)";
}

TEST(UiError, TextsDebugFormsAndSources) {
    struct Case {
        UiError error;
        std::string text;
        std::string debug;
        std::string source;
    };
    const Case cases[] = {
        {UiError::MenuSelection{}, "selected menu item is unavailable", "MenuSelection", "(none)"},
        {UiError::UninitializedItemList{"Port", 148, "src/ui/view"},
         "widget Port is not initialized (src/ui/view:148)",
         "UninitializedItemList(\"Port\", 148, \"src/ui/view\")", "(none)"},
        {UiError::NoPortSelected{},
         "no serial port is selected; connect the instrument and restart", "NoPortSelected",
         "(none)"},
        {UiError::NoReturnData{}, "the completed scan has no available samples", "NoReturnData",
         "(none)"},
        // The wrapped error's text and chain pass through without a prefix or an extra link.
        {AppError(AppError::Acquisition{AcquisitionError::Protocol{
             ProtocolError::InvalidRequest{"start frequency must not exceed stop frequency"}}}),
         "invalid scan request: start frequency must not exceed stop frequency",
         "Application(Acquisition(Protocol(InvalidRequest(\"start frequency must not exceed "
         "stop frequency\"))))",
         "(none)"},
        {AppError(AppError::Config{
             ConfigError::Validation{"start_frequency must be below stop_frequency"}}),
         "invalid configuration: start_frequency must be below stop_frequency",
         "Application(Config(Validation(\"start_frequency must be below stop_frequency\")))",
         "(none)"},
        {AppError(AppError::Config{ConfigError::Io{IoError::from_os(EACCES)}}),
         "configuration I/O: Permission denied (os error 13)",
         "Application(Config(Io(Os { code: 13, kind: PermissionDenied, message: \"Permission "
         "denied\" })))",
         "Permission denied (os error 13)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(display(c.error), c.text);
        EXPECT_EQ(debug(c.error), c.debug);
        EXPECT_EQ(source_text(c.error), c.source);
    }
}

TEST(UiError, UninitializedItemListNamesTheRaisingPlaceWithoutExtension) {
    const std::uint32_t line = __LINE__ + 1;
    const UiError error = uninitialized_item_list("Baud");
    const auto* list = std::get_if<UiError::UninitializedItemList>(&error.value());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->widget, "Baud");
    EXPECT_EQ(list->line, line);
    // Relative to the project root whatever the build directory.
    EXPECT_EQ(list->file, "tests/ui/ui_error_test");
    EXPECT_EQ(display(error), "widget Baud is not initialized (tests/ui/ui_error_test:" +
                                  std::to_string(line) + ")");
}

}  // namespace
}  // namespace vireo
