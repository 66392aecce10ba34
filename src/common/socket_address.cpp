#include "common/socket_address.hpp"

#include <arpa/inet.h>

#include <charconv>
#include <string>

namespace vireo {

namespace {

std::optional<std::uint32_t> parse_decimal(std::string_view digits, std::uint32_t max) {
    if (digits.empty()) {
        return std::nullopt;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size() || value > max) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<SocketAddress> parse_socket_address(std::string_view text) {
    SocketAddress address;
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        address.is_v6 = true;
        if (const auto percent = host.find('%'); percent != std::string_view::npos) {
            const auto scope = parse_decimal(host.substr(percent + 1), UINT32_MAX);
            if (!scope) {
                return std::nullopt;
            }
            address.scope_id = *scope;
            host = host.substr(0, percent);
        }
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }

    const auto port_value = parse_decimal(port, 65535);
    if (!port_value) {
        return std::nullopt;
    }
    address.port = static_cast<std::uint16_t>(*port_value);

    const std::string host_text(host);
    const int family = address.is_v6 ? AF_INET6 : AF_INET;
    if (inet_pton(family, host_text.c_str(), address.ip.data()) != 1) {
        return std::nullopt;
    }
    return address;
}

}  // namespace vireo
