#include "config/config_error.hpp"

#include <cerrno>

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(ConfigError, DisplayDebugAndSourceOfEachVariant) {
    const ConfigError validation = ConfigError::Validation{"baudrate must be in serial.baudrates"};
    EXPECT_EQ(display(validation), "invalid configuration: baudrate must be in serial.baudrates");
    EXPECT_EQ(debug(validation), "Validation(\"baudrate must be in serial.baudrates\")");
    EXPECT_FALSE(source(validation).has_value());

    const ConfigError io = ConfigError::Io{IoError::from_os(EISDIR)};
    EXPECT_EQ(display(io), "configuration I/O: Is a directory (os error 21)");
    EXPECT_EQ(debug(io), "Io(Os { code: 21, kind: IsADirectory, message: \"Is a directory\" })");
    ASSERT_TRUE(source(io).has_value());
    EXPECT_EQ(source(io)->display(), "Is a directory (os error 21)");

    const ConfigError parse = ConfigError::Parse{TomlError{"missing field `ui`", {}, {}}};
    EXPECT_EQ(display(parse), "invalid configuration: missing field `ui`\n");
    EXPECT_EQ(debug(parse),
              "Parse(Error { message: \"missing field `ui`\", keys: [], position: None })");
    ASSERT_TRUE(source(parse).has_value());
    EXPECT_EQ(source(parse)->display(), "missing field `ui`\n");

    const ConfigError serialize =
        ConfigError::Serialize{TomlWriteError{"path contains invalid UTF-8 characters"}};
    EXPECT_EQ(display(serialize),
              "cannot serialize configuration: path contains invalid UTF-8 characters");
    EXPECT_EQ(debug(serialize),
              "Serialize(Error { message: \"path contains invalid UTF-8 characters\" })");
    ASSERT_TRUE(source(serialize).has_value());
    EXPECT_FALSE(source(serialize)->source().has_value());
}

TEST(ConfigError, ValidationDebugEscapesItsMessage) {
    const ConfigError error = ConfigError::Validation{"say \"hi\"\\\n"};
    EXPECT_EQ(debug(error), "Validation(\"say \\\"hi\\\"\\\\\\n\")");
}

}  // namespace
}  // namespace vireo
