#include "app/Printers.h"

#include <cstdio>

#include "app/Parameters.h"
#include "tessaloom/common/aDefs.h"

namespace {
#include "app/UsageText.inc"

using Display = UpdaterDisplayInterface;

const char* link_name(uint32_t link) {
  switch (link) {
    case USB: return "USB";
    case TCPIP: return "TCPIP";
    default: return "Unknown";
  }
}

}  // namespace

void _display_app_version(UpdaterDisplayInterface& display) {
  display.message(Display::LEVEL_INFO, "%s (%s)", UPDATER_APP_NAME, UPDATER_APP_VERSION);
}

void _display_copyright(UpdaterDisplayInterface& display) {
  display.message(Display::LEVEL_INFO, "Copyright (c) 2026 Marlovex. All rights reserved.");
}

void _display_jwt(UpdaterDisplayInterface& display, const std::string& token) {
  display.message(Display::LEVEL_INFO, "%s", Display::printable(token).c_str());
}

void _display_fingerprint(UpdaterDisplayInterface& display, const Fingerprint& f) {
  display.message(Display::LEVEL_INFO, "[ %08X %08X %08X %08X ]", f.word[0], f.word[1], f.word[2], f.word[3]);
}

void _display_builds(UpdaterDisplayInterface& display, const BuildMap& builds, uint32_t serial) {
  if (builds.empty()) {
    display.message(Display::LEVEL_INFO, "No builds found for device [%08X]", serial);
    return;
  }
  display.message(Display::LEVEL_INFO, "Build List for device [%08X]:\n", serial);
  display.message(Display::LEVEL_INFO, "%-15.15s\t%-15.15s", "Build", "Version");
  for (const auto& [build, version] : UpdateServerRequest::SortBuildsByVersion(builds))
    display.message(Display::LEVEL_INFO, "%-15.15s\t%-15.15s", Display::printable(build).c_str(),
                    Display::printable(version).c_str());
}

void _display_device_list(UpdaterDisplayInterface& display, const std::vector<DeviceInfo>& devices, uint32_t link) {
  display.message(Display::LEVEL_INFO, "Discovered Devices: (%s)", link_name(link));
  if (devices.empty()) {
    display.message(Display::LEVEL_INFO, "    No devices found.");
    return;
  }
  if (link == USB)
    display.message(Display::LEVEL_INFO,
                    "    Device    Module   Router  Model          Firmware Version (Build)    Device Name");
  else
    display.message(Display::LEVEL_INFO,
                    "    Device    Module   Router  Model          Firmware Version (Build)   [IP address]       "
                    "Device Name");

  for (const DeviceInfo& d : devices) {
    const std::string name = Display::printable(d.name);
    const char* model = aDefs_GetModelName(d.model);
    if (d.type == TCPIP) {
      const auto* ip = reinterpret_cast<const uint8_t*>(&d.t.ip.ipAddress);
      char address[20];
      std::snprintf(address, sizeof address, "[%d.%d.%d.%d]", ip[0], ip[1], ip[2], ip[3]);
      display.message(Display::LEVEL_INFO, "    %08X  %02X       %02X      %-12s %3d.%d.%u (%10u)        %-17s  %s",
                      d.serialNumber, d.module, d.router, model, d.major, d.minor, d.patch, d.build, address,
                      name.c_str());
    } else if (d.error != aErrNone) {
      display.message(Display::LEVEL_INFO, "    %08X  [Error (%d): Is someone else connected to this device?]",
                      d.serialNumber, static_cast<int>(d.error));
    } else {
      display.message(Display::LEVEL_INFO, "    %08X  %02X       %02X      %-12s %3d.%d.%u (%10u)         %s",
                      d.serialNumber, d.module, d.router, model, d.major, d.minor, d.patch, d.build, name.c_str());
    }
  }
}

void _display_usage(bool extended, bool full) {
  std::fprintf(stderr, kShortUsage, UPDATER_APP_NAME);
  if (full) std::fputs(kCommandsUsage, stderr);
  if (full && extended) std::fputs(kExtendedUsage, stderr);
  if (full) std::fputs(kSampleUsage, stderr);
}
