#include <fmt/format.h>

#include "common/text.hpp"
#include "config/config_error.hpp"

namespace vireo {

std::string display(const TomlError& error) {
    std::string text = error.message + "\n";
    if (!error.key_path.empty()) {
        text += fmt::format("in `{}`\n", fmt::join(error.key_path, "."));
    }
    return text;
}

std::string debug(const TomlError& error) {
    return fmt::format("Error {{ message: {} }}", quoted(error.message));
}

}  // namespace vireo
