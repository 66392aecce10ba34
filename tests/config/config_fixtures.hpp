#pragma once
// Shared by the configuration tests: the defaults written out by hand, independent of the
// compiled-in document they are checked against.

#include "config/config.hpp"

namespace vireo::fixtures {

inline Config expected_defaults() {
    Config c;
    c.port = "";
    c.baudrate = 115200;
    c.start_frequency = 240;
    c.stop_frequency = 800;
    c.points = 10001;
    c.repeat = 1;
    c.connection = {ConnectionBackend::Serial, "127.0.0.1:7355", 3000};
    c.serial = {3000,
                20,
                200,
                2000,
                65536,
                {19200, 38400, 57600, 115200, 230400, 460800, 921600, 1843200, 2000000, 3000000},
                {"/dev/ttyACM0", "COM3", "COM5", "/dev/ttyS16"}};
    c.scan = {DeviceModel::Auto,       true, 128, 10, 100, 101, 1000001, 1000,
              FrequencyAxis::Firmware, true};
    c.ui = {16, -128.0, 0.0};
    c.output = {".", "scan", false};
    c.logging = {"info", "."};
    return c;
}

}  // namespace vireo::fixtures
