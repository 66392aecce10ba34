#include "ui/ui_error.hpp"

#include <fmt/format.h>

#include "common/overloaded.hpp"
#include "common/text.hpp"

namespace vireo {

namespace {

// "src/ui/view.cpp" -> "src/ui/view"; a dot in a folder name is not an extension.
std::string_view without_extension(std::string_view path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return path;
    }
    return path.substr(0, dot);
}

}  // namespace

UiError uninitialized_item_list(std::string_view widget, std::source_location where) {
    return UiError::UninitializedItemList{widget, static_cast<std::uint32_t>(where.line()),
                                          without_extension(where.file_name())};
}

std::string display(const UiError& error) {
    return std::visit(
        Overloaded{
            [](const UiError::MenuSelection&) -> std::string {
                return "selected menu item is unavailable";
            },
            [](const UiError::UninitializedItemList& v) {
                return fmt::format("widget {} is not initialized ({}:{})", v.widget, v.file,
                                   v.line);
            },
            [](const UiError::NoPortSelected&) -> std::string {
                return "no serial port is selected; connect the instrument and restart";
            },
            [](const UiError::Application& v) { return display(v.error); },
            [](const UiError::NoReturnData&) -> std::string {
                return "the completed scan has no available samples";
            },
        },
        error.value());
}

std::string debug(const UiError& error) {
    return std::visit(
        Overloaded{
            [](const UiError::MenuSelection&) -> std::string { return "MenuSelection"; },
            [](const UiError::UninitializedItemList& v) {
                return fmt::format("UninitializedItemList({}, {}, {})", quoted(v.widget), v.line,
                                   quoted(v.file));
            },
            [](const UiError::NoPortSelected&) -> std::string { return "NoPortSelected"; },
            [](const UiError::Application& v) { return "Application(" + debug(v.error) + ")"; },
            [](const UiError::NoReturnData&) -> std::string { return "NoReturnData"; },
        },
        error.value());
}

std::optional<ErrorRef> source(const UiError& error) {
    if (const auto* application = std::get_if<UiError::Application>(&error.value())) {
        return source(application->error);
    }
    return std::nullopt;
}

}  // namespace vireo
