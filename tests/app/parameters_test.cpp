#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Log.h"
#include "app/Parameters.h"
#include "support/CaptureDisplay.h"

namespace {

struct Parsed {
  int result;
  Parameters p;
  CaptureDisplay display;
  std::vector<std::string> argv;  // after reordering
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "/opt/tools/updater");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  Parsed parsed;
  parsed.result = _get_params(parsed.display, static_cast<int>(argv.size()), argv.data(), parsed.p);
  for (char* a : argv) parsed.argv.emplace_back(a);
  return parsed;
}

}  // namespace

TEST(GetParams, DefaultsAndAppName) {
  Parsed r = parse({});
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.p.appName, "updater");
  EXPECT_EQ(r.p.transport, TRANSPORT_USB);
  EXPECT_FALSE(r.p.transportGiven);
  EXPECT_EQ(r.p.baudRate, 115200u);
  EXPECT_EQ(r.p.logFile, "Updater.log");
  EXPECT_EQ(r.p.serverUrl, UPDATER_DEFAULT_URL);
  EXPECT_TRUE(r.p.useUEIBytes);
  EXPECT_EQ(r.p.commands.Word(), 0u);
  EXPECT_EQ(parse({"x"}).p.appName, "updater");
}

TEST(GetParams, SerialNumbers) {
  EXPECT_EQ(parse({"-d", "0x40F5849A"}).p.serialNumber, 0x40F5849Au);
  EXPECT_EQ(parse({"-d=40f5849a"}).p.serialNumber, 0x40F5849Au);
  EXPECT_EQ(parse({"-d", "0000000040F5849A"}).p.serialNumber, 0x40F5849Au);
  EXPECT_EQ(parse({"-r", "0XD272031D"}).p.routerSerialNumber, 0xD272031Du);
  // A later value replaces the earlier one.
  EXPECT_EQ(parse({"-d", "1", "-d", "2"}).p.serialNumber, 2u);
  for (const char* bad : {"0x", "12G4", "0", "100000000", "FFFFFFFFFFFFFFFFF", "-1"}) {
    Parsed r = parse({std::string("-d=") + bad});
    EXPECT_EQ(r.result, 1) << bad;
    EXPECT_EQ(r.display.errors.size(), 1u) << bad;
  }
}

TEST(GetParams, BuildTransportBaudAndFlags) {
  EXPECT_EQ(parse({"-b", "abc"}).p.build, "0");
  EXPECT_EQ(parse({"-b", "99528558"}).p.build, "99528558");
  EXPECT_EQ(parse({"-b", "4294967295"}).p.build, "4294967295");
  EXPECT_EQ(parse({"-o", "230400"}).p.baudRate, 230400u);
  EXPECT_EQ(parse({"-o", "fast"}).p.baudRate, 0u);
  EXPECT_EQ(parse({"-o", "4295082496"}).p.baudRate, 0u);  // 2^32 + 115200 does not wrap

  struct { const char* value; int32_t transport; int result; } transports[] = {
      {"USB", TRANSPORT_USB, 0},     {"TCPIP", TRANSPORT_TCPIP, 0},      {"TCP", TRANSPORT_TCPIP, 0},
      {"TCPX", TRANSPORT_TCPIP, 0},  {"RECOVER", TRANSPORT_RECOVER, 0},  {"RECOVERY", TRANSPORT_RECOVER, 0},
      {"usb", TRANSPORT_INVALID, 1}, {"REC", TRANSPORT_INVALID, 1},      {"", TRANSPORT_INVALID, 1},
  };
  for (const auto& t : transports) {
    Parsed r = parse({std::string("-t=") + t.value});
    EXPECT_EQ(r.p.transport, t.transport) << t.value;
    EXPECT_EQ(r.result, t.result) << t.value;
    EXPECT_TRUE(r.p.transportGiven);
  }

  EXPECT_TRUE(parse({"-m", "1"}).p.useUEIBytes);
  EXPECT_TRUE(parse({"-m", "trueish"}).p.useUEIBytes);
  EXPECT_FALSE(parse({"-m", "yes"}).p.useUEIBytes);
  EXPECT_FALSE(parse({"-m", "True"}).p.useUEIBytes);

  Parsed flags = parse({"-OV", "-n", "-e", "-Z", "9", "-i", "/data", "-f", "a.bird", "-l", "note", "-k", "x.log",
                        "-s", "/dev/ttyUSB0", "-u", "127.0.0.1:8080", "-I", "-C", "-N", "-J", "-L", "-B", "-G"});
  EXPECT_EQ(flags.result, 0);
  EXPECT_TRUE(flags.p.overrideModelCheck);
  EXPECT_TRUE(flags.p.optionN);
  EXPECT_TRUE(flags.p.echo);
  EXPECT_EQ(flags.p.storageDirectory, "/data");
  EXPECT_EQ(flags.p.birdFile, "a.bird");
  EXPECT_EQ(flags.p.historyMessage, "note");
  EXPECT_EQ(flags.p.logFile, "x.log");
  EXPECT_EQ(flags.p.serialPort, "/dev/ttyUSB0");
  EXPECT_EQ(flags.p.serverUrl, "127.0.0.1:8080");
  EXPECT_EQ(flags.p.commands.Word(),
            uint32_t{OPTION_Z | VIEW_INFO | CHECK_BIRDFILE | GET_FINGERPRINT | GET_JWT | LIST_LOCAL_BUILDS |
                     LIST_BUILDS | GET_BUILD});
}

TEST(GetParams, SplittingRules) {
  // Unique prefixes, exact matches, and what gets skipped.
  EXPECT_TRUE(parse({"-OVERRIDE"}).p.overrideModelCheck);
  EXPECT_TRUE(parse({"-O"}).p.overrideModelCheck);
  EXPECT_FALSE(parse({"-OVERRIDEX"}).p.overrideModelCheck);
  EXPECT_FALSE(parse({"-OVERRIDE=1"}).p.overrideModelCheck);
  EXPECT_TRUE(parse({"--"}).p.helpRequested);  // a leading part of --help only
  EXPECT_EQ(parse({"-DU"}).p.commands.Word(), 0u);

  // A value that begins with "-" is not taken; that argument is read as the next option.
  Parsed next = parse({"-d", "-D"});
  EXPECT_EQ(next.result, 0);
  EXPECT_EQ(next.p.serialNumber, 0u);
  EXPECT_TRUE(next.p.commands.IsSet(DISCOVER));
  // With "=" any text is the value, even one that begins with "-".
  EXPECT_EQ(parse({"-l=-x"}).p.historyMessage, "-x");
  EXPECT_EQ(parse({"-u=http://h/p?a=b"}).p.serverUrl, "http://h/p?a=b");

  // Arguments that are not options go behind the options, which keep their values.
  Parsed moved = parse({"one", "-d", "12", "two", "-D"});
  EXPECT_EQ(moved.argv, (std::vector<std::string>{"/opt/tools/updater", "-d", "12", "-D", "one", "two"}));

  // Help stops parsing: later options are never read.
  Parsed help = parse({"-d", "12", "-h", "-d", "34", "-Y"});
  EXPECT_EQ(help.result, 0);
  EXPECT_EQ(help.p.serialNumber, 0x12u);
  EXPECT_TRUE(help.p.commands.IsSet(HELP));
  EXPECT_TRUE(help.display.errors.empty());
}

TEST(GetParams, DebugMask) {
  const uint32_t saved = Log::package_bitmask;
  Log::DeactivatePackage(0xFFFFFFFF);
  Parsed hex = parse({"-X", "0x20"});
  EXPECT_TRUE(hex.p.debugMaskGiven);
  EXPECT_EQ(hex.p.debugMask, 0x20u);
  EXPECT_TRUE(Log::IsActive(DEBUG_ServerComm));
  Log::DeactivatePackage(0xFFFFFFFF);

  Parsed bad = parse({"-X", "12abc"});
  EXPECT_EQ(bad.result, 0);
  EXPECT_EQ(Log::package_bitmask, 0u);
  ASSERT_EQ(bad.display.errors.size(), 1u);
  EXPECT_EQ(bad.display.errors[0], "Invalid format for \"-X\" parameter, unprocessed characters [abc]");
  EXPECT_EQ(parse({"-X", "65536"}).p.debugMask, 65536u);
  Log::DeactivatePackage(0xFFFFFFFF);
  Log::ActivatePackage(saved);
}

TEST(GetHexIntArg, AcceptOnlyTheirDigits) {
  const char* end = nullptr;
  const char text[] = "1aF";
  EXPECT_EQ(_get_hex_arg(text, &end), 0x1AFu);
  EXPECT_EQ(end, text + 3);
  end = nullptr;
  EXPECT_EQ(_get_hex_arg("12G4", &end), 0u);
  EXPECT_EQ(end, nullptr);
  EXPECT_EQ(_get_hex_arg("12", nullptr), 0u);
  EXPECT_EQ(_get_int_arg("", &end), 0u);
  EXPECT_EQ(_get_int_arg("1a", &end), 0u);
  EXPECT_EQ(_get_int_arg("007", &end), 7u);
  EXPECT_EQ(_get_int_arg("99999999999999999999999", &end), UINT64_MAX);
}
