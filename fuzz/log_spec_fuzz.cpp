// The log filter parser on arbitrary text, then the parsed filter asked about arbitrary
// targets and messages: levels stay within what the filter names, module items answer for
// themselves, and the message filter only ever narrows.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.hpp"
#include "logging/log_spec.hpp"

namespace {

using vireo::fuzz::check;
using vireo::log::Level;

void check_spec(const vireo::logging::LogSpec& spec, std::string_view spec_text, Level level,
                std::string_view target, std::string_view message) {
    const auto& modules = spec.modules();
    check(std::ranges::is_sorted(modules, std::greater<>{},
                                 [](const auto& item) { return item.module.size(); }),
          "longest module first");
    for (const auto& item : modules) {
        check(spec.level_for(item.module) == item.level, "a module item answers for itself");
        check(item.level <= spec.max_level(), "no module above the highest level");
    }

    const Level allowed = spec.level_for(target);
    check(allowed <= spec.max_level(), "no target above the highest level");
    const bool passes = spec.passes(level, target, message);
    const bool level_passes = level != Level::Off && level <= allowed;
    check(!passes || level_passes, "a passing record passes the levels");
    if (!spec.has_text_filter()) {
        check(passes == level_passes, "without a message filter only the levels count");
    }

    // Dropping the message filter leaves the levels as they were.
    const auto slash = spec_text.find('/');
    if (slash != std::string_view::npos) {
        const auto levels_only = vireo::logging::parse_log_spec(spec_text.substr(0, slash));
        check(levels_only.has_value(), "the levels part of a valid filter is valid");
        check(levels_only->level_for(target) == allowed &&
                  levels_only->max_level() == spec.max_level() &&
                  levels_only->modules().size() == modules.size(),
              "the levels part gives the same levels");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto level = static_cast<Level>(input.ConsumeIntegralInRange<int>(
        static_cast<int>(Level::Off), static_cast<int>(Level::Trace)));
    const std::string spec_text = input.ConsumeRandomLengthString();
    const std::string target = input.ConsumeRandomLengthString();
    const std::string message = input.ConsumeRemainingBytesAsString();

    const auto spec = vireo::logging::parse_log_spec(spec_text);
    if (!spec) {
        check(!spec.error().empty(), "a refused filter names a problem");
        return 0;
    }
    check_spec(*spec, spec_text, level, target, message);
    return 0;
}
