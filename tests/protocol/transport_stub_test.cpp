// Stand-ins for the exchange until the transport is part of this build; nothing here calls
// them, they only satisfy the linker.
#include <cstdlib>

#include "transport/exchange.hpp"

namespace vireo {

std::expected<void, TransportError> write_command(DeviceLink&, std::string_view) {
    std::abort();
}
std::expected<std::string, TransportError> read_until_prompt(DeviceLink&) {
    std::abort();
}
std::expected<std::string, TransportError> exchange(DeviceLink&, std::string_view,
                                                    std::chrono::milliseconds,
                                                    std::chrono::milliseconds) {
    std::abort();
}
std::expected<std::string, TransportError> send_command(DeviceLink&, std::string_view,
                                                        std::chrono::milliseconds,
                                                        std::chrono::milliseconds) {
    std::abort();
}
std::expected<void, TransportError> drain_prompt(DeviceLink&) {
    std::abort();
}

}  // namespace vireo
