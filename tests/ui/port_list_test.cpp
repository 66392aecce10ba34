#include "ui/port_list.hpp"

#include <cerrno>

#include <libserialport.h>

#include <gtest/gtest.h>

#include "test_config.hpp"

namespace vireo {
namespace {

using port_list_detail::LibraryFailure;
using port_list_detail::LibraryPort;
using port_list_detail::list_ports_with;

using Enumerated = std::expected<std::vector<LibraryPort>, LibraryFailure>;

LibraryPort native(std::string name) {
    LibraryPort port;
    port.name = std::move(name);
    return port;
}

LibraryPort usb(std::string name, std::optional<std::pair<int, int>> vid_pid) {
    LibraryPort port;
    port.name = std::move(name);
    port.usb = true;
    port.vid_pid = vid_pid;
    port.serial_number = "400";
    port.manufacturer = "tinysa.org";
    port.product = "tinySA4";
    return port;
}

TEST(ListPorts, TcpBackEndListsTheConfiguredAddressWithoutEnumerating) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Tcp;
    bool enumerated = false;
    const auto ports = list_ports_with(config, [&] {
        enumerated = true;
        return Enumerated(std::vector{native("/dev/ttyACM0")});
    });
    ASSERT_TRUE(ports.has_value());
    ASSERT_EQ(ports->size(), 1u);
    EXPECT_EQ((*ports)[0].port_name, "tcp://" + config.connection.tcp_address);
    EXPECT_EQ((*ports)[0].kind, PortKind(UnknownPort{}));
    EXPECT_FALSE(enumerated);

    // The public entry point takes the same road, whatever serial ports the machine has.
    const auto real = list_ports(config);
    ASSERT_TRUE(real.has_value());
    EXPECT_EQ(*real, *ports);
}

// The serial back end lists what the enumeration reports, in its order and with its names
// unchanged; only readable USB identifiers make a port USB.
TEST(ListPorts, SerialBackEndListsWhatTheEnumerationReports) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Serial;
    LibraryPort bare = usb("/dev/ttyUSB0", std::pair{0xffff, 0x0001});
    bare.serial_number.reset();
    bare.manufacturer.reset();
    bare.product.reset();
    struct Case {
        const char* name;
        std::vector<LibraryPort> reported;
        std::vector<PortRecord> expected;
    };
    const Case cases[] = {
        {"no port present", {}, {}},
        {"the enumeration's order, not sorted",
         {native("/dev/ttyS1"), native("/dev/ttyACM0"), native("/dev/ttyS0")},
         {{"/dev/ttyS1", UnknownPort{}},
          {"/dev/ttyACM0", UnknownPort{}},
          {"/dev/ttyS0", UnknownPort{}}}},
        {"the same name twice is listed twice",
         {native("/dev/ttyACM1"), native("/dev/ttyACM1")},
         {{"/dev/ttyACM1", UnknownPort{}}, {"/dev/ttyACM1", UnknownPort{}}}},
        {"names differing in case are different ports",
         {native("COM3"), native("com3")},
         {{"COM3", UnknownPort{}}, {"com3", UnknownPort{}}}},
        {"an empty name is listed", {native("")}, {{"", UnknownPort{}}}},
        {"USB with its identifiers and texts",
         {usb("/dev/ttyACM1", std::pair{0x0483, 0x5740})},
         {{"/dev/ttyACM1", UsbPort{0x0483, 0x5740, "400", "tinysa.org", "tinySA4"}}}},
        {"USB without readable identifiers is unknown",
         {usb("/dev/ttyACM1", std::nullopt)},
         {{"/dev/ttyACM1", UnknownPort{}}}},
        {"USB texts the device left out stay out",
         {bare},
         {{"/dev/ttyUSB0", UsbPort{0xffff, 0x0001, std::nullopt, std::nullopt, std::nullopt}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto ports = list_ports_with(config, [&] { return Enumerated(c.reported); });
        ASSERT_TRUE(ports.has_value());
        EXPECT_EQ(*ports, c.expected);
    }
}

TEST(ListPorts, LibraryFailuresBecomeSerialErrors) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Serial;
    struct Case {
        LibraryFailure failure;
        SerialError expected;
    };
    const Case cases[] = {
        {{SP_ERR_FAIL, EACCES, "Permission denied"}, SerialError::from_os(EACCES)},
        {{SP_ERR_FAIL, 0, "udev query failed"},
         {SerialError::Kind::Unknown, IoErrorKind::Other, "udev query failed"}},
        {{SP_ERR_FAIL, 0, ""},
         {SerialError::Kind::Unknown, IoErrorKind::Other, "listing the serial ports failed"}},
        {{SP_ERR_MEM, 0, ""},
         {SerialError::Kind::Unknown, IoErrorKind::Other,
          "out of memory while listing the serial ports"}},
        {{SP_ERR_SUPP, 0, ""},
         {SerialError::Kind::Unknown, IoErrorKind::Other,
          "listing the serial ports is not supported on this system"}},
        {{SP_ERR_ARG, 0, ""},
         {SerialError::Kind::InvalidInput, IoErrorKind::Other,
          "invalid argument while listing the serial ports"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure.code);
        const auto ports =
            list_ports_with(config, [&] { return Enumerated(std::unexpected(c.failure)); });
        ASSERT_FALSE(ports.has_value());
        EXPECT_EQ(ports.error(), c.expected);
    }
}

}  // namespace
}  // namespace vireo
