#include "app/Parameters.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/Log.h"

const OptionEntry g_rgOptions[] = {
    {"-B", OPTION_KIND_COMMAND, false},   {"-L", OPTION_KIND_COMMAND, false},
    {"-D", OPTION_KIND_COMMAND, false},   {"-G", OPTION_KIND_COMMAND, false},
    {"-I", OPTION_KIND_COMMAND, false},   {"-U", OPTION_KIND_COMMAND, false},
    {"-OVERRIDE", OPTION_KIND_COMMAND, false},
    {"-N", OPTION_KIND_COMMAND, false},   {"-Y", OPTION_KIND_COMMAND, false},
    {"-C", OPTION_KIND_COMMAND, false},   {"-J", OPTION_KIND_COMMAND, false},
    {"-h", OPTION_KIND_HELP, false},      {"-H", OPTION_KIND_HELP, false},
    {"-n", OPTION_KIND_PARAMETER, false}, {"-X", OPTION_KIND_PARAMETER, true},
    {"-Z", OPTION_KIND_PARAMETER, true},  {"-m", OPTION_KIND_PARAMETER, true},
    {"-i", OPTION_KIND_PARAMETER, true},  {"-b", OPTION_KIND_PARAMETER, true},
    {"-d", OPTION_KIND_PARAMETER, true},  {"-t", OPTION_KIND_PARAMETER, true},
    {"-f", OPTION_KIND_PARAMETER, true},  {"-r", OPTION_KIND_PARAMETER, true},
    {"-s", OPTION_KIND_PARAMETER, true},  {"-o", OPTION_KIND_PARAMETER, true},
    {"-e", OPTION_KIND_PARAMETER, false}, {"-l", OPTION_KIND_PARAMETER, true},
    {"-k", OPTION_KIND_PARAMETER, true},  {"-u", OPTION_KIND_PARAMETER, true},
    {"--help", OPTION_KIND_HELP, false},
};
const size_t g_optionCount = sizeof g_rgOptions / sizeof g_rgOptions[0];

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;

// Exact match first, then a unique prefix; null for unknown or ambiguous names.
const OptionEntry* find_option(std::string_view name) {
  for (size_t i = 0; i < g_optionCount; ++i)
    if (name == g_rgOptions[i].name) return &g_rgOptions[i];
  const OptionEntry* candidate = nullptr;
  for (size_t i = 0; i < g_optionCount; ++i) {
    const std::string_view entry = g_rgOptions[i].name;
    if (entry.size() > name.size() && entry.substr(0, name.size()) == name) {
      if (candidate != nullptr) return nullptr;
      candidate = &g_rgOptions[i];
    }
  }
  return candidate;
}

uint64_t get_digits(const char* text, const char** end, const char* digits, int base) {
  if (end == nullptr || text == nullptr) return 0;
  if (std::strspn(text, digits) != std::strlen(text)) return 0;
  if (*text == '\0') {
    *end = text;
    return 0;
  }
  errno = 0;
  char* stop = nullptr;
  const unsigned long long value = std::strtoull(text, &stop, base);
  *end = stop;
  return errno == ERANGE ? UINT64_MAX : value;
}

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

const char* drop_hex_prefix(const char* value, const char* note) {
  if (value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    Log::log(DEBUG_Updater, "%s", note);
    return value + 2;
  }
  return value;
}

// A serial number must be non-zero and fit in 32 bits; anything else would address some
// other module.
bool parse_serial(const char* value, uint32_t& out) {
  const char* end = nullptr;
  const uint64_t serial = _get_hex_arg(value, &end);
  if (serial == 0 || serial > kMax32) return false;
  out = static_cast<uint32_t>(serial);
  return true;
}

class OptionHandler {
 public:
  OptionHandler(UpdaterDisplayInterface& display, Parameters& parameters) : display_(display), p_(parameters) {}

  // Answers false when the option makes the command line invalid.
  bool handle(const OptionEntry& option, const char* value) {
    const std::string_view name = option.name;
    if (option.kind == OPTION_KIND_HELP) {
      p_.commands.Set(HELP);
      p_.helpRequested = true;
      return true;
    }
    if (name == "-B") p_.commands.Set(LIST_BUILDS);
    else if (name == "-L") p_.commands.Set(LIST_LOCAL_BUILDS);
    else if (name == "-D") p_.commands.Set(DISCOVER);
    else if (name == "-G") p_.commands.Set(GET_BUILD);
    else if (name == "-I") p_.commands.Set(VIEW_INFO);
    else if (name == "-U") p_.commands.Set(UPDATE);
    else if (name == "-OVERRIDE") p_.overrideModelCheck = true;
    else if (name == "-N") p_.commands.Set(GET_FINGERPRINT);
    else if (name == "-C") p_.commands.Set(CHECK_BIRDFILE);
    else if (name == "-J") p_.commands.Set(GET_JWT);
    else if (name == "-Y") {
      display_.message(UpdaterDisplayInterface::LEVEL_ERROR, "Unhandled command: [%s]", option.name);
      return false;
    }
    else if (name == "-n") p_.optionN = true;
    else if (name == "-e") p_.echo = true;
    else if (name == "-X") debug_mask(option, value);
    else if (name == "-Z") p_.commands.Set(OPTION_Z);
    else if (name == "-m") p_.useUEIBytes = starts_with(value, "1") || starts_with(value, "true");
    else if (name == "-i") p_.storageDirectory = value;
    else if (name == "-f") p_.birdFile = value;
    else if (name == "-l") p_.historyMessage = value;
    else if (name == "-k") p_.logFile = value;
    else if (name == "-s") p_.serialPort = value;
    else if (name == "-u") p_.serverUrl = value;
    else if (name == "-d") return serial(value, p_.serialNumber, "Discarding '0x' serial number prefix\n",
                                         "Invalid serial number obtained from argument [%s]");
    else if (name == "-r") return serial(value, p_.routerSerialNumber, "Discarding '0x' router serial number prefix\n",
                                         "Invalid router serial number obtained from argument [%s]");
    else if (name == "-b") return build(value);
    else if (name == "-o") baud_rate(value);
    else if (name == "-t") return transport(value);
    return true;
  }

 private:
  bool serial(const char* value, uint32_t& out, const char* note, const char* error) {
    const char* digits = drop_hex_prefix(value, note);
    if (parse_serial(digits, out)) return true;
    display_.message(UpdaterDisplayInterface::LEVEL_ERROR, error, digits);
    return false;
  }

  bool build(const char* value) {
    const char* end = nullptr;
    const uint64_t number = _get_int_arg(value, &end);
    if (number > kMax32) {
      display_.message(UpdaterDisplayInterface::LEVEL_ERROR,
                       "Invalid build number obtained from argument [%s]: it must fit in 32 bits", value);
      return false;
    }
    p_.build = std::to_string(number);
    return true;
  }

  void baud_rate(const char* value) {
    const char* end = nullptr;
    const uint64_t rate = _get_int_arg(value, &end);
    // Out-of-range rates read as 0 like any other unusable text, rather than wrapping onto a
    // plausible speed.
    p_.baudRate = rate > kMax32 ? 0 : static_cast<uint32_t>(rate);
  }

  bool transport(const char* value) {
    p_.transportGiven = true;
    if (std::strncmp(value, "USB", 3) == 0) {
      p_.transport = TRANSPORT_USB;
    } else if (std::strncmp(value, "TCP", 3) == 0) {
      p_.transport = TRANSPORT_TCPIP;
    } else if (std::strncmp(value, "RECOVER", 7) == 0) {
      p_.transport = TRANSPORT_RECOVER;
    } else {
      display_.message(UpdaterDisplayInterface::LEVEL_ERROR,
                       "Invalid transport type:[%s]\nMust be one of the following: USB, TCPIP, RECOVER", value);
      p_.transport = TRANSPORT_INVALID;
      return false;
    }
    return true;
  }

  void debug_mask(const OptionEntry& option, const char* value) {
    p_.debugMaskGiven = true;
    const bool hex = value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    char* end = nullptr;
    p_.debugMask = static_cast<uint32_t>(std::strtoul(value, &end, hex ? 16 : 10));
    if (end != nullptr && *end != '\0') {
      display_.message(UpdaterDisplayInterface::LEVEL_ERROR,
                       "Invalid format for \"%s\" parameter, unprocessed characters [%s]", option.name, end);
      return;
    }
    Log::ActivatePackage(p_.debugMask);
  }

  UpdaterDisplayInterface& display_;
  Parameters& p_;
};

std::string app_name(const char* argv0) {
  if (argv0 == nullptr) return "";
  const char* name = argv0;
  for (const char* c = argv0; *c != '\0'; ++c)
    if (*c == '/' || *c == '\\') name = c + 1;
  return name;
}

}  // namespace

uint64_t _get_hex_arg(const char* text, const char** end) {
  return get_digits(text, end, "0123456789ABCDEFabcdef", 16);
}

uint64_t _get_int_arg(const char* text, const char** end) { return get_digits(text, end, "0123456789", 10); }

int _validate_params(Parameters&) { return 0; }

int _get_params(UpdaterDisplayInterface& display, int argc, char** argv, Parameters& parameters) {
  parameters = Parameters{};
  parameters.appName = app_name(argc > 0 ? argv[0] : nullptr);
  OptionHandler handler(display, parameters);

  std::vector<char*> options;
  std::vector<char*> others;
  bool invalid = false;
  for (int i = 1; i < argc; ++i) {
    char* argument = argv[i];
    if (argument[0] != '-') {
      others.push_back(argument);
      continue;
    }
    options.push_back(argument);

    std::string_view name = argument;
    const char* value = nullptr;
    if (const char* equals = std::strchr(argument, '=')) {
      name = std::string_view(argument, static_cast<size_t>(equals - argument));
      value = equals + 1;
    }
    const OptionEntry* option = find_option(name);
    // Rejected arguments are skipped without a word and do not invalidate the command line.
    if (option == nullptr) continue;
    if (!option->takesValue && value != nullptr) continue;
    if (option->takesValue && value == nullptr) {
      if (i + 1 >= argc || argv[i + 1][0] == '-') continue;
      value = argv[++i];
      options.push_back(argv[i]);
    }

    if (!handler.handle(*option, value)) invalid = true;
    if (option->kind == OPTION_KIND_HELP) return 0;
  }

  int slot = 1;
  for (char* a : options) argv[slot++] = a;
  for (char* a : others) argv[slot++] = a;

  Log::log(DEBUG_APP, "\nApplication parameters:[%s]\n", parameters.appName.c_str());
  for (int i = 0; i < argc; ++i) Log::log(DEBUG_APP, "\t[%s]\n", argv[i]);

  return invalid ? 1 : _validate_params(parameters);
}
