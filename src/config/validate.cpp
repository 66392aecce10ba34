#include "config/validate.hpp"

namespace vireo {

std::expected<void, ConfigError> validate(const Config&) {
    return {};
}

}  // namespace vireo
