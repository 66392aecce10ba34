#include "common/io_error.hpp"

#include <cerrno>

#include <gtest/gtest.h>

#include "common/socket_address.hpp"

namespace vireo {
namespace {

TEST(IoError, TextsAndDebugForms) {
    const IoError os = IoError::from_os(ENOENT);
    EXPECT_EQ(os.kind(), IoErrorKind::NotFound);
    EXPECT_EQ(display(os), "No such file or directory (os error 2)");
    EXPECT_EQ(debug(os), "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");

    const IoError simple = IoError::from_kind(IoErrorKind::TimedOut);
    EXPECT_EQ(display(simple), "timed out");
    EXPECT_EQ(debug(simple), "Kind(TimedOut)");

    const IoError custom = IoError::with_message(IoErrorKind::InvalidInput, "missing file name");
    EXPECT_EQ(display(custom), "missing file name");
    EXPECT_EQ(debug(custom), "Custom { kind: InvalidInput, error: \"missing file name\" }");
    EXPECT_FALSE(source(custom).has_value());
}

TEST(SocketAddress, AcceptsOnlyNumericForms) {
    struct Case {
        std::string_view text;
        bool valid;
    };
    const Case cases[] = {
        {"127.0.0.1:7355", true},     {"[::1]:7355", true},
        {"[fe80::1%3]:80", true},     {"0.0.0.0:0", true},
        {"localhost:7355", false},    {"127.0.0.1", false},
        {"127.0.0.1:", false},        {"127.0.0.1:65536", false},
        {"::1:7355", false},          {"[::1]7355", false},
        {"[fe80::1%eth0]:80", false}, {"1.2.3:80", false},
        {"127.0.0.1:+80", false},     {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parse_socket_address(c.text).has_value(), c.valid);
    }
    const auto v6 = parse_socket_address("[fe80::1%3]:7355");
    ASSERT_TRUE(v6);
    EXPECT_TRUE(v6->is_v6);
    EXPECT_EQ(v6->port, 7355);
    EXPECT_EQ(v6->scope_id, 3u);
}

}  // namespace
}  // namespace vireo
