#pragma once
// Builds one visitor for std::visit out of several lambdas.

namespace vireo {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace vireo
