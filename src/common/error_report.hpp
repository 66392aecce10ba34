#pragma once
// An owned error of any of the program's types together with the place in the source where it
// was reported, for failures that end the program (the interface loop, the hooks).

#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <type_traits>

#include "common/error.hpp"

namespace vireo {

class ErrorReport {
  public:
    // Pass the error type itself (an AppError, not one of its variant structs): the report
    // walks the chain through that type's own display, debug and source.
    template <class E>
    requires(!std::is_same_v<E, ErrorReport>) explicit ErrorReport(
        E error, std::source_location location = std::source_location::current())
        : holder_(std::make_shared<const Holder<E>>(std::move(error))), location_(location) {}

    // The wrapped error.
    ErrorRef error() const { return holder_->ref(); }
    // Where the report was made.
    const std::source_location& location() const { return location_; }

  private:
    struct HolderBase {
        virtual ~HolderBase() = default;
        virtual ErrorRef ref() const = 0;
    };
    template <class E>
    struct Holder final : HolderBase {
        explicit Holder(E e) : error(std::move(e)) {}
        ErrorRef ref() const override { return ErrorRef(error); }
        E error;
    };

    // Shared, since the error inside is never changed.
    std::shared_ptr<const HolderBase> holder_;
    std::source_location location_;
};

// The text of the wrapped error alone.
std::string display(const ErrorReport& report);
// Several lines: the wrapped error's debug form, its chain of causes, the location:
//   Io(Os { .. })
//
//   Caused by:
//      0: No such file or directory (os error 2)
//
//   Location: src/ui/mod.cpp:120:17
std::string debug(const ErrorReport& report);
// The wrapped error.
std::optional<ErrorRef> source(const ErrorReport& report);

}  // namespace vireo
