#pragma once
// Numeric socket addresses ("127.0.0.1:7355", "[::1]:7355", "[fe80::1%2]:7355"); no name is
// ever looked up.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vireo {

struct SocketAddress {
    bool is_v6 = false;
    std::array<std::uint8_t, 16> ip{};  // network order; the first 4 bytes for IPv4
    std::uint16_t port = 0;
    std::uint32_t scope_id = 0;  // IPv6 zone index
};

// The address, or none when the text is not a numeric IPv4 or bracketed IPv6 socket address.
std::optional<SocketAddress> parse_socket_address(std::string_view text);

}  // namespace vireo
