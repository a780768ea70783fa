// Updater: discovers Tessaloom modules, fetches firmware builds and installs them.
#include <cstdio>
#include <string>

#include "app/CLI_Display.h"
#include "app/Log.h"
#include "app/Parameters.h"
#include "app/Printers.h"
#include "tessaloom/common/aDirectory.h"
#include "updater/Updater.h"
#include "updater/UpdaterStore.h"

namespace {

using Display = UpdaterDisplayInterface;

constexpr size_t kHomeBufferSize = 2048;
constexpr unsigned kDirectoryMode = 0755;

// Commands whose operation is not part of this build say so instead of inventing a result.
int not_available(Display& display, const char* command) {
  display.message(Display::LEVEL_ERROR, "The %s command is not available in this build", command);
  return 1;
}

int require_serial(Display& display, const Parameters& p, const char* command) {
  if (p.serialNumber != 0) return 0;
  display.message(Display::LEVEL_ERROR, "Error must supply a serial number for the %s command", command);
  _display_usage(false, false);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  Parameters parameters;
  CLI_Display display;
  Log::SetOutput(stderr);

  if (_get_params(display, argc, argv, parameters) != 0) {
    _display_app_version(display);
    _display_copyright(display);
    _display_usage(false, false);
    return 1;
  }

  _display_app_version(display);

  if (parameters.commands.IsSet(HELP) || !parameters.commands.IsSet(ANY_COMMAND_MASK)) {
    _display_copyright(display);
    _display_usage(parameters.debugMaskGiven, parameters.helpRequested);
    return 0;
  }

  if (parameters.storageDirectory.empty()) {
    char home[kHomeBufferSize];
    const aErr err = aDirectory_GetHomeDirectory(home, sizeof home);
    if (err != aErrNone) {
      Log::log(DEBUG_APP, "Updater: FailedaDirectory_GetHomeDirectory()==> %d\n", static_cast<int>(err));
      return 1;
    }
    parameters.storageDirectory = BuildPath(home, ".marlovex", nullptr);
  }
  parameters.storageDirectory = BuildPath(parameters.storageDirectory.c_str(), "updater", nullptr);
  if (aDirectory_Ensure(parameters.storageDirectory.c_str(), kDirectoryMode) != aErrNone) {
    display.message(Display::LEVEL_ERROR, "Could not find updater directory at %s",
                    parameters.storageDirectory.c_str());
    return 1;
  }

  Updater updater(parameters.serverUrl.c_str(), parameters.storageDirectory.c_str(), display);

  if (parameters.commands.IsSet(GET_FINGERPRINT)) {
    if (parameters.serialPort.empty()) {
      display.message(Display::LEVEL_ERROR, "Must specify the serial port used for connecting");
      return 1;
    }
    return not_available(display, "fingerprint (-N)");
  }

  if (parameters.commands.IsSet(GET_BUILD)) {
    if (parameters.serialNumber == 0) {
      display.message(Display::LEVEL_ERROR, "-G must specify a specific device via -d");
      display.message(Display::LEVEL_ERROR, "--help for usage information");
      return 1;
    }
    display.message(Display::LEVEL_INFO, "Retrieving firmware for device with serial number %08X",
                    parameters.serialNumber);
    if (parameters.build.empty()) {
      display.message(Display::LEVEL_INFO, "No build specified");
      display.message(Display::LEVEL_INFO, "Using Latest build");
    } else {
      display.message(Display::LEVEL_INFO, "Retrieving firmware build %s", parameters.build.c_str());
    }
    const uint32_t fetched = updater.Download_Firmware(parameters.serialNumber, parameters.build,
                                                       parameters.overrideModelCheck, false);
    // A later -U in the same run installs exactly the build fetched here.
    if (fetched != 0) parameters.build = std::to_string(fetched);
    status = fetched != 0 ? 0 : 1;
  }

  if (parameters.commands.IsSet(DISCOVER)) return not_available(display, "discovery (-D)");

  if (parameters.commands.IsSet(UPDATE)) {
    updater.Set_UEIBytes_Load(parameters.useUEIBytes);
    if (parameters.transport == TRANSPORT_RECOVER) return not_available(display, "recovery (-U -t RECOVER)");
    if (parameters.serialNumber == 0) {
      display.message(Display::LEVEL_ERROR, "Must specify the specific device to be updated");
      return 1;
    }
    return not_available(display, "update (-U)");
  }

  if (parameters.commands.IsSet(LIST_BUILDS)) {
    if (require_serial(display, parameters, "List Builds") != 0) return 1;
    _display_builds(display, updater.Get_BuildList(parameters.serialNumber), parameters.serialNumber);
    return 0;
  }

  if (parameters.commands.IsSet(LIST_LOCAL_BUILDS)) {
    if (require_serial(display, parameters, "List Local Builds") != 0) return 1;
    _display_builds(display, updater.Get_BuildListLocal(parameters.serialNumber), parameters.serialNumber);
    return 0;
  }

  if (parameters.commands.IsSet(GET_JWT)) {
    if (require_serial(display, parameters, "Get JWT") != 0) return 1;
    _display_jwt(display, updater.Get_JWT(parameters.serialNumber));
    return 0;
  }

  return status;
}
