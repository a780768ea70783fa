#pragma once
// Turning the Updater's results into console text.
#include <string>
#include <vector>

#include "app/UpdaterDisplayInterface.h"
#include "updater/UpdateServerRequest.h"
#include "updater/Updater.h"

#define UPDATER_APP_NAME "Updater"
#define UPDATER_APP_VERSION "Version: 2.12.1 Feb 11 2026"

void _display_app_version(UpdaterDisplayInterface& display);
void _display_copyright(UpdaterDisplayInterface& display);
void _display_jwt(UpdaterDisplayInterface& display, const std::string& token);
void _display_fingerprint(UpdaterDisplayInterface& display, const Fingerprint& fingerprint);
void _display_builds(UpdaterDisplayInterface& display, const BuildMap& builds, uint32_t serial);
void _display_device_list(UpdaterDisplayInterface& display, const std::vector<DeviceInfo>& devices, uint32_t link);
// Written straight to standard error.
void _display_usage(bool extended, bool full);
