#pragma once
// A borrowed, type-erased view of any of the program's error values, so cause chains can be
// walked without knowing the types involved.
//
// Every error type E provides, findable by argument-dependent lookup:
//   std::string display(const E&);                 // the user's text
//   std::string debug(const E&);                   // the developer's form
//   std::optional<ErrorRef> source(const E&);      // the next error of the chain, or none

#include <optional>
#include <string>

namespace vireo {

class ErrorRef {
  public:
    template <class E>
    explicit ErrorRef(const E& error) : error_(&error), ops_(&ops_for<E>) {}

    std::string display() const { return ops_->display(error_); }
    std::string debug() const { return ops_->debug(error_); }
    std::optional<ErrorRef> source() const;

  private:
    struct Ops {
        std::string (*display)(const void*);
        std::string (*debug)(const void*);
        std::optional<ErrorRef> (*source)(const void*);
    };

    template <class E>
    static const Ops ops_for;

    const void* error_;
    const Ops* ops_;
};

namespace error_detail {
// Free functions, so that the member names of ErrorRef don't hide the error's own.
template <class E>
std::string display_of(const void* e) {
    return display(*static_cast<const E*>(e));
}
template <class E>
std::string debug_of(const void* e) {
    return debug(*static_cast<const E*>(e));
}
template <class E>
std::optional<ErrorRef> source_of(const void* e) {
    return source(*static_cast<const E*>(e));
}
}  // namespace error_detail

template <class E>
constexpr ErrorRef::Ops ErrorRef::ops_for{
    &error_detail::display_of<E>,
    &error_detail::debug_of<E>,
    &error_detail::source_of<E>,
};

inline std::optional<ErrorRef> ErrorRef::source() const {
    return ops_->source(error_);
}

}  // namespace vireo
