// The configuration loader on arbitrary text merged over the defaults. A document it accepts
// must also survive saving: the saved text loads back to the same configuration.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/config_error.hpp"
#include "config/load.hpp"
#include "config/save.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vireo::fuzz::check;
    const auto config = vireo::parse_with_defaults(vireo::fuzz::as_text(data, size));
    if (!config) {
        check(!display(config.error()).empty(), "a refused document says why");
        return 0;
    }
    const auto saved = vireo::config_to_toml(*config);
    check(saved.has_value(), "an accepted configuration can be saved");
    const auto reloaded = vireo::parse_with_defaults(*saved);
    check(reloaded.has_value(), "the saved text loads again");
    check(*reloaded == *config, "the saved text loads to the same configuration");
    return 0;
}
