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

TEST(ListPorts, SerialBackEndKeepsTheLibrarysOrderNamesAndKinds) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Serial;
    std::vector<LibraryPort> reported;
    reported.push_back(usb("/dev/ttyACM1", std::pair{0x0483, 0x5740}));
    reported.push_back(native("/dev/ttyS0"));
    // Identical names are both kept; the kind needs readable identifiers.
    reported.push_back(usb("/dev/ttyACM1", std::nullopt));
    LibraryPort bare = usb("/dev/ttyUSB0", std::pair{0xffff, 0x0001});
    bare.serial_number.reset();
    bare.manufacturer.reset();
    bare.product.reset();
    reported.push_back(bare);
    reported.push_back(native(""));

    const auto ports = list_ports_with(config, [&] { return Enumerated(reported); });
    ASSERT_TRUE(ports.has_value());
    const std::vector<PortRecord> expected{
        {"/dev/ttyACM1", UsbPort{0x0483, 0x5740, "400", "tinysa.org", "tinySA4"}},
        {"/dev/ttyS0", UnknownPort{}},
        {"/dev/ttyACM1", UnknownPort{}},
        {"/dev/ttyUSB0", UsbPort{0xffff, 0x0001, std::nullopt, std::nullopt, std::nullopt}},
        {"", UnknownPort{}},
    };
    EXPECT_EQ(*ports, expected);

    const auto none =
        list_ports_with(config, [] { return Enumerated(std::vector<LibraryPort>{}); });
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
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

TEST(ListPorts, ListsThisMachinesSerialPorts) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Serial;
    const auto ports = list_ports(config);
    ASSERT_TRUE(ports.has_value()) << display(ports.error());
    for (const PortRecord& port : *ports) {
        EXPECT_FALSE(port.port_name.empty());
    }
}

}  // namespace
}  // namespace vireo
