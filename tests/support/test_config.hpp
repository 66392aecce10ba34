#pragma once
// The compiled-in defaults as a Config, for tests that start from them. Header-only: the
// support library itself stays free of the program's code.

#include <gtest/gtest.h>

#include "config/config.hpp"
#include "config/default_config.hpp"
#include "config/typed_reader.hpp"

namespace vireo::test {

inline Config default_config() {
    auto config = read_config_document(DEFAULT_CONFIG);
    EXPECT_TRUE(config.has_value());
    return *config;
}

}  // namespace vireo::test
