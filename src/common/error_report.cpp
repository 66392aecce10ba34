#include "common/error_report.hpp"

#include <fmt/format.h>

namespace vireo {

std::string display(const ErrorReport& report) {
    return report.error().display();
}

std::string debug(const ErrorReport& report) {
    const ErrorRef error = report.error();
    std::string text = error.debug();
    std::optional<ErrorRef> cause = error.source();
    if (cause) {
        text += "\n\nCaused by:";
        for (int index = 0; cause; ++index, cause = cause->source()) {
            text += fmt::format("\n   {}: {}", index, cause->display());
        }
    }
    const std::source_location& at = report.location();
    text += fmt::format("\n\nLocation: {}:{}:{}", at.file_name(), at.line(), at.column());
    return text;
}

std::optional<ErrorRef> source(const ErrorReport& report) {
    return report.error();
}

}  // namespace vireo
