#include <gtest/gtest.h>
#include <arpa/inet.h>

#include "app/Printers.h"
#include "support/CaptureDisplay.h"

TEST(Printers, VersionFingerprintAndToken) {
  CaptureDisplay d;
  _display_app_version(d);
  _display_fingerprint(d, Fingerprint{{0x1, 0xDEADBEEF, 0x00ABCDEF, 0xFFFFFFFF}});
  _display_jwt(d, "eyJhbGciOi.x\x1b]0;pwned\x07");
  ASSERT_EQ(d.info.size(), 3u);
  EXPECT_EQ(d.info[0], "Updater (Version: 2.12.1 Feb 11 2026)");
  EXPECT_EQ(d.info[1], "[ 00000001 DEADBEEF 00ABCDEF FFFFFFFF ]");
  EXPECT_EQ(d.info[2], "eyJhbGciOi.x?]0;pwned?");
}

TEST(Printers, BuildListNewestFirstWithColumnsCut) {
  CaptureDisplay d;
  _display_builds(d, {}, 0x40F5849A);
  ASSERT_EQ(d.info.size(), 1u);
  EXPECT_EQ(d.info[0], "No builds found for device [40F5849A]");

  CaptureDisplay list;
  _display_builds(list, {{"1200", "2.10.3"}, {"1300", "2.11.0"}, {"12345678901234567", "1.0.0\r\x1b[K"}}, 0xAB);
  const std::vector<std::string> expected = {
      "Build List for device [000000AB]:\n",
      "Build          \tVersion        ",
      "1300           \t2.11.0         ",
      "1200           \t2.10.3         ",
      "123456789012345\t1.0.0??[K      ",
  };
  EXPECT_EQ(list.info, expected);
}

TEST(Printers, DeviceTable) {
  CaptureDisplay empty;
  _display_device_list(empty, {}, 3);
  EXPECT_EQ(empty.info, (std::vector<std::string>{"Discovered Devices: (Unknown)", "    No devices found."}));

  DeviceInfo usb;
  usb.type = USB;
  usb.serialNumber = 0x40F5849A;
  usb.module = 2;
  usb.router = 2;
  usb.model = 5;
  usb.major = 2;
  usb.minor = 10;
  usb.patch = 3;
  usb.build = 1234;
  usb.name = "Bench\x1b[31m";
  DeviceInfo busy = usb;
  busy.serialNumber = 0x11;
  busy.error = aErrBusy;

  CaptureDisplay d;
  _display_device_list(d, {usb, busy}, USB);
  const std::vector<std::string> expected = {
      "Discovered Devices: (USB)",
      "    Device    Module   Router  Model          Firmware Version (Build)    Device Name",
      "    40F5849A  02       02      Shuttle        2.10.3 (      1234)         Bench?[31m",
      "    00000011  [Error (5): Is someone else connected to this device?]",
  };
  EXPECT_EQ(d.info, expected);

  DeviceInfo net = usb;
  net.type = TCPIP;
  net.error = aErrTimeout;  // not looked at for network rows
  net.model = 200;
  net.name = "lab";
  inet_pton(AF_INET, "192.168.10.200", &net.t.ip.ipAddress);
  CaptureDisplay n;
  _display_device_list(n, {net}, TCPIP);
  ASSERT_EQ(n.info.size(), 3u);
  EXPECT_EQ(n.info[0], "Discovered Devices: (TCPIP)");
  EXPECT_EQ(n.info[1],
            "    Device    Module   Router  Model          Firmware Version (Build)   [IP address]       Device Name");
  EXPECT_EQ(n.info[2], "    40F5849A  02       02      Unknown        2.10.3 (      1234)        [192.168.10.200]   lab");
}
