#include "ui/port_list.hpp"

#include <libserialport.h>

#include <memory>

namespace vireo {

namespace port_list_detail {

namespace {

std::optional<std::string> text_of(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text);
}

LibraryFailure last_failure(sp_return code) {
    LibraryFailure failure;
    failure.code = static_cast<int>(code);
    if (code == SP_ERR_FAIL) {
        failure.os_code = sp_last_error_code();
        if (char* message = sp_last_error_message()) {
            failure.message = message;
            sp_free_error_message(message);
        }
    }
    return failure;
}

struct PortListDeleter {
    void operator()(sp_port** ports) const { sp_free_port_list(ports); }
};

// The library's own enumeration, copied out before its list is freed.
std::expected<std::vector<LibraryPort>, LibraryFailure> library_ports() {
    sp_port** raw = nullptr;
    if (const sp_return result = sp_list_ports(&raw); result != SP_OK) {
        return std::unexpected(last_failure(result));
    }
    const std::unique_ptr<sp_port*, PortListDeleter> ports(raw);
    std::vector<LibraryPort> found;
    for (sp_port** at = ports.get(); *at != nullptr; ++at) {
        const sp_port* port = *at;
        LibraryPort entry;
        entry.name = text_of(sp_get_port_name(port)).value_or("");
        entry.usb = sp_get_port_transport(port) == SP_TRANSPORT_USB;
        if (entry.usb) {
            int vid = 0;
            int pid = 0;
            if (sp_get_port_usb_vid_pid(port, &vid, &pid) == SP_OK) {
                entry.vid_pid = std::pair{vid, pid};
            }
            entry.serial_number = text_of(sp_get_port_usb_serial(port));
            entry.manufacturer = text_of(sp_get_port_usb_manufacturer(port));
            entry.product = text_of(sp_get_port_usb_product(port));
        }
        found.push_back(std::move(entry));
    }
    return found;
}

}  // namespace

PortRecord record_of(LibraryPort port) {
    if (!port.usb || !port.vid_pid) {
        return PortRecord{std::move(port.name), UnknownPort{}};
    }
    return PortRecord{
        std::move(port.name),
        UsbPort{static_cast<std::uint16_t>(port.vid_pid->first),
                static_cast<std::uint16_t>(port.vid_pid->second), std::move(port.serial_number),
                std::move(port.manufacturer), std::move(port.product)}};
}

SerialError serial_error_of(const LibraryFailure& failure) {
    switch (failure.code) {
        case SP_ERR_FAIL:
            if (failure.os_code != 0) {
                return SerialError::from_os(failure.os_code);
            }
            return SerialError{
                SerialError::Kind::Unknown, IoErrorKind::Other,
                failure.message.empty() ? "listing the serial ports failed" : failure.message};
        case SP_ERR_MEM:
            return SerialError{SerialError::Kind::Unknown, IoErrorKind::Other,
                               "out of memory while listing the serial ports"};
        case SP_ERR_SUPP:
            return SerialError{SerialError::Kind::Unknown, IoErrorKind::Other,
                               "listing the serial ports is not supported on this system"};
        default:
            return SerialError{SerialError::Kind::InvalidInput, IoErrorKind::Other,
                               "invalid argument while listing the serial ports"};
    }
}

}  // namespace port_list_detail

std::expected<std::vector<PortRecord>, SerialError> list_ports(const Config& config) {
    return port_list_detail::list_ports_with(config, port_list_detail::library_ports);
}

}  // namespace vireo
