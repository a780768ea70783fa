#pragma once
// The parsed command line.
#include <cstdint>
#include <string>

#include "app/UpdaterDisplayInterface.h"
#include "updater/UpdateServerRequest.h"

enum COMMANDS : uint32_t {
  DISCOVER = 0x00000001,
  UPDATE = 0x00000002,
  LIST_BUILDS = 0x00000004,
  GET_BUILD = 0x00000008,
  VIEW_INFO = 0x00000010,
  CHECK_BIRDFILE = 0x00000020,
  GET_FINGERPRINT = 0x00000040,
  OPTION_Z = 0x00000080,
  GET_JWT = 0x00000100,
  LIST_LOCAL_BUILDS = 0x00000200,
  HELP = 0x80000000,
};

// Any of these bits means the operator asked for something to be done.
constexpr uint32_t ANY_COMMAND_MASK = 0x000307FF;

class CommandsClass {
 public:
  void Set(uint32_t bit) { word |= bit; }
  bool IsSet(uint32_t mask) const { return (word & mask) != 0; }
  uint32_t Word() const { return word; }

 private:
  uint32_t word = 0;
};

enum TransportKind : int32_t {
  TRANSPORT_INVALID = 0,
  TRANSPORT_USB = 1,
  TRANSPORT_TCPIP = 2,
  TRANSPORT_RECOVER = 255,
};

struct Parameters {
  CommandsClass commands;
  uint32_t serialNumber = 0;
  uint32_t routerSerialNumber = 0;
  int32_t transport = TRANSPORT_USB;
  bool transportGiven = false;
  std::string serialPort;
  uint32_t baudRate = 115200;
  uint8_t moduleAddress = 0;
  std::string birdFile;
  std::string historyMessage;
  std::string build;
  bool echo = false;
  std::string serverUrl = UPDATER_DEFAULT_URL;
  bool optionN = false;
  std::string storageDirectory;
  std::string appName;
  std::string logFile = "Updater.log";
  bool overrideModelCheck = false;
  bool useUEIBytes = true;
  uint32_t debugMask = 0;
  bool debugMaskGiven = false;
  bool helpRequested = false;
};

enum OptionKind { OPTION_KIND_COMMAND, OPTION_KIND_HELP, OPTION_KIND_PARAMETER };

struct OptionEntry {
  const char* name;
  OptionKind kind;
  bool takesValue;
};

extern const OptionEntry g_rgOptions[];
extern const size_t g_optionCount;

// 0 when the command line is valid, 1 when an option was rejected. argv is reordered so that
// arguments that are not options come last.
int _get_params(UpdaterDisplayInterface& display, int argc, char** argv, Parameters& parameters);
int _validate_params(Parameters& parameters);

// Both accept only an all-digit text (hexadecimal or decimal); on refusal they answer 0 and
// leave *end alone. A value too large for 64 bits answers UINT64_MAX.
uint64_t _get_hex_arg(const char* text, const char** end);
uint64_t _get_int_arg(const char* text, const char** end);
