#pragma once
// The entries of the connection screen's port list: the configured TCP address, or the serial
// ports the system reports.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/serial_error.hpp"
#include "config/config.hpp"

namespace vireo {

// A port on a USB bus, with what the device reports about itself.
struct UsbPort {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial_number;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;

    friend bool operator==(const UsbPort&, const UsbPort&) = default;
};
// Any other port, or one whose bus is not known.
struct UnknownPort {
    friend bool operator==(const UnknownPort&, const UnknownPort&) = default;
};
using PortKind = std::variant<UnknownPort, UsbPort>;

// One entry; only the name is used by the program.
struct PortRecord {
    std::string port_name;
    PortKind kind;

    friend bool operator==(const PortRecord&, const PortRecord&) = default;
};

// "tcp://{connection.tcp_address}" for the TCP back end; otherwise the serial ports in the
// order the system enumerates them, possibly none.
std::expected<std::vector<PortRecord>, SerialError> list_ports(const Config& config);

namespace port_list_detail {
// One port as the serial-port library describes it; null texts are ones the device left out.
struct LibraryPort {
    std::string name;
    bool usb = false;
    std::optional<std::pair<int, int>> vid_pid;  // none when the library could not read them
    std::optional<std::string> serial_number;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
};
// A port on USB with readable identifiers is USB; everything else is unknown.
PortRecord record_of(LibraryPort port);

// A failing result of the serial-port library: its negative result code, and for a failing
// system call the system's error code (0 when the library had none) and the library's text.
struct LibraryFailure {
    int code = 0;
    int os_code = 0;
    std::string message;
};
// The serial-port error a failed enumeration reports.
SerialError serial_error_of(const LibraryFailure& failure);

// list_ports over an enumeration of the caller's choosing, which returns the library's ports in
// its order or its failure.
template <class Enumerate>
std::expected<std::vector<PortRecord>, SerialError> list_ports_with(const Config& config,
                                                                    Enumerate&& enumerate) {
    if (config.connection.backend == ConnectionBackend::Tcp) {
        std::vector<PortRecord> records;
        records.push_back(PortRecord{"tcp://" + config.connection.tcp_address, UnknownPort{}});
        return records;
    }
    std::expected<std::vector<LibraryPort>, LibraryFailure> ports = enumerate();
    if (!ports) {
        return std::unexpected(serial_error_of(ports.error()));
    }
    std::vector<PortRecord> records;
    records.reserve(ports->size());
    for (LibraryPort& port : *ports) {
        records.push_back(record_of(std::move(port)));
    }
    return records;
}
}  // namespace port_list_detail

}  // namespace vireo
