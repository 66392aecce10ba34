#pragma once
// The error of an interface action: a missing selection or widget, a failed start of a run, a
// completed run without samples.

#include <cstdint>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <variant>

#include "app/app_error.hpp"
#include "common/error.hpp"

namespace vireo {

class UiError {
  public:
    struct MenuSelection {};
    struct UninitializedItemList {
        std::string_view widget;  // static text
        std::uint32_t line;
        std::string_view file;  // static text: project-relative path without extension
    };
    struct NoPortSelected {};
    struct Application {
        AppError error;
    };
    struct NoReturnData {};
    using Variant = std::variant<MenuSelection, UninitializedItemList, NoPortSelected, Application,
                                 NoReturnData>;

    UiError(MenuSelection v) : value_(v) {}
    UiError(UninitializedItemList v) : value_(v) {}
    UiError(NoPortSelected v) : value_(v) {}
    UiError(Application v) : value_(std::move(v)) {}
    UiError(NoReturnData v) : value_(v) {}
    UiError(AppError error) : value_(Application{std::move(error)}) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// UninitializedItemList for `widget`, naming the caller's file (extension cut) and line.
UiError uninitialized_item_list(std::string_view widget,
                                std::source_location where = std::source_location::current());

// The user's text; Application shows the AppError's text unchanged.
std::string display(const UiError& error);
// MenuSelection, UninitializedItemList("Port", 148, "src/ui/view"), Application(Config(..)).
std::string debug(const UiError& error);
// Application passes the AppError's own source through; the others have none.
std::optional<ErrorRef> source(const UiError& error);

}  // namespace vireo
