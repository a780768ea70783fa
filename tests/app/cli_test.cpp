// Runs the real program and compares its standard output, standard error and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/Parameters.h"
#include "support/Process.h"

namespace {
#include "app/UsageText.inc"

const std::string kVersion = "Updater (Version: 2.12.1 Feb 11 2026)\n";
const std::string kCopyright = "Copyright (c) 2026 Marlovex. All rights reserved.\n";

std::string short_usage() {
  std::string text = kShortUsage;
  text.replace(text.find("%s"), 2, "Updater");
  return text;
}
const std::string kShort = short_usage();
const std::string kFull = kShort + kCommandsUsage + kSampleUsage;
const std::string kFullExtended = kShort + kCommandsUsage + kExtendedUsage + kSampleUsage;

struct CliCase {
  std::vector<std::string> args;
  std::string out;
  std::string err;
  int status;
};

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs every case with the given arguments in front and compares all three results.
template <size_t N>
void expect_cases(const CliCase (&cases)[N], const std::vector<std::string>& prefix = {}) {
  for (const CliCase& c : cases) {
    std::vector<std::string> args = prefix;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunUpdater(args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(r.out, c.out) << shown;
    EXPECT_EQ(r.err, c.err) << shown;
    EXPECT_EQ(r.status, c.status) << shown;
  }
}

bool have_user_namespaces() {
  return RunProcess({"/usr/bin/unshare", "--user", "--map-user=12345", "/bin/true"}).status == 0;
}

}  // namespace

TEST(Cli, UsageTextsHaveTheirExactShape) {
  EXPECT_EQ(kShort.substr(0, 20), "\nApplication Usage:\n");
  EXPECT_NE(std::string(kCommandsUsage).find("used for storage of \n"), std::string::npos);
  EXPECT_NE(std::string(kExtendedUsage).find("Default: update.marlovex.example:port\n"), std::string::npos);
  EXPECT_NE(std::string(UPDATER_DEFAULT_URL).find("http://update.marlovex.example/cgi/u"), std::string::npos);
  for (const std::string& text : {kShort, std::string(kCommandsUsage), std::string(kExtendedUsage), std::string(kSampleUsage)})
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

TEST(Cli, UsageAndOptionErrors) {
  const std::string transport_error =
      "Invalid transport type:[usb]\nMust be one of the following: USB, TCPIP, RECOVER\n";
  const CliCase cases[] = {
      {{}, kVersion + kCopyright, kShort, 0},
      {{"-h"}, kVersion + kCopyright, kFull, 0},
      {{"-H"}, kVersion + kCopyright, kFull, 0},
      {{"--he"}, kVersion + kCopyright, kFull, 0},
      {{"-X", "0x1", "-h"}, kVersion + kCopyright, kFullExtended, 0},
      {{"-X=0x1", "--help"}, kVersion + kCopyright, kFullExtended, 0},
      {{"-h", "-X", "0x1"}, kVersion + kCopyright, kFull, 0},
      // -h ends parsing with success even after a rejected option.
      {{"-Y", "-h"}, kVersion + kCopyright, "Unhandled command: [-Y]\n" + kFull, 0},
      {{"-Y"}, kVersion + kCopyright, "Unhandled command: [-Y]\n" + kShort, 1},
      // Rejected arguments are skipped silently; nothing is left to do, so usage is shown.
      {{"-D=1"}, kVersion + kCopyright, kShort, 0},
      {{"-DU"}, kVersion + kCopyright, kShort, 0},
      {{"-d40F5849A", "-Q", "-", "stray"}, kVersion + kCopyright, kShort, 0},
      {{"-X", "12abc"}, kVersion + kCopyright,
       "Invalid format for \"-X\" parameter, unprocessed characters [abc]\n" + kShort, 0},
      {{"-d", "0x"}, kVersion + kCopyright, "Invalid serial number obtained from argument []\n" + kShort, 1},
      {{"-d", "12G4"}, kVersion + kCopyright, "Invalid serial number obtained from argument [12G4]\n" + kShort, 1},
      {{"-d=0"}, kVersion + kCopyright, "Invalid serial number obtained from argument [0]\n" + kShort, 1},
      // Serial numbers that do not fit in 32 bits are refused instead of wrapping.
      {{"-d", "0x1FFFFFFFF"}, kVersion + kCopyright,
       "Invalid serial number obtained from argument [1FFFFFFFF]\n" + kShort, 1},
      {{"-r", "140F5849A"}, kVersion + kCopyright,
       "Invalid router serial number obtained from argument [140F5849A]\n" + kShort, 1},
      {{"-b", "4294967296"}, kVersion + kCopyright,
       "Invalid build number obtained from argument [4294967296]: it must fit in 32 bits\n" + kShort, 1},
      {{"-t", "usb"}, kVersion + kCopyright, transport_error + kShort, 1},
  };
  expect_cases(cases);
}

TEST(Cli, CommandsThatNeedMoreArguments) {
  TempDir tmp;
  const std::string serial_error = "Error must supply a serial number for the %s command\n";
  auto needs_serial = [&](const char* command) {
    std::string text = serial_error;
    text.replace(text.find("%s"), 2, command);
    return text + kShort;
  };
  const CliCase cases[] = {
      {{"-N"}, kVersion, "Must specify the serial port used for connecting\n", 1},
      {{"-G"}, kVersion, "-G must specify a specific device via -d\n--help for usage information\n", 1},
      // -d as the last argument has no value and is skipped.
      {{"-G", "-d"}, kVersion, "-G must specify a specific device via -d\n--help for usage information\n", 1},
      {{"-U"}, kVersion, "Must specify the specific device to be updated\n", 1},
      {{"-B"}, kVersion, needs_serial("List Builds"), 1},
      {{"-L"}, kVersion, needs_serial("List Local Builds"), 1},
      {{"-J"}, kVersion, needs_serial("Get JWT"), 1},
  };
  expect_cases(cases, {"-i", tmp.path()});
}

TEST(Cli, CommandsWithoutTheirOperationSaySoAndFail) {
  TempDir tmp;
  const CliCase cases[] = {
      {{"-N", "-s", "/dev/ttyS0"}, kVersion, "The fingerprint (-N) command is not available in this build\n", 1},
      // Only the first of -D, -U, -B, -L, -J runs.
      {{"-D", "-U", "-d", "40F5849A"}, kVersion, "The discovery (-D) command is not available in this build\n", 1},
      {{"-U", "-t", "RECOVER"}, kVersion, "The recovery (-U -t RECOVER) command is not available in this build\n", 1},
      {{"-U", "-d", "40F5849A", "-B"}, kVersion, "The update (-U) command is not available in this build\n", 1},
  };
  expect_cases(cases, {"-i", tmp.path()});
}

TEST(Cli, CommandsThatDoNothingPrepareTheStore) {
  for (const std::vector<std::string>& command : {std::vector<std::string>{"-I"}, {"-C"}, {"-Z", "5"}}) {
    TempDir tmp;
    std::vector<std::string> args = {"-i", tmp / "data"};
    args.insert(args.end(), command.begin(), command.end());
    const ProcessResult r = RunUpdater(args);
    EXPECT_EQ(r.out, kVersion);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(is_directory(tmp / "data/updater")) << command[0];
    struct stat st;
    ASSERT_EQ(stat((tmp / "data/updater").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0755u & ~mask);
  }
}

TEST(Cli, DebugMaskFiltersTheParameterLog) {
  TempDir tmp;
  const ProcessResult logged = RunUpdater({"-X", "0x10000", "-I", "extra", "-i", tmp.path()});
  EXPECT_EQ(logged.status, 0);
  // Arguments that are not options are moved behind the options.
  EXPECT_EQ(logged.err, "\nApplication parameters:[updater]\n\t[" UPDATER_BINARY "]\n\t[-X]\n\t[0x10000]\n"
                        "\t[-I]\n\t[-i]\n\t[" + tmp.path() + "]\n\t[extra]\n");

  const ProcessResult rejected = RunUpdater({"-X", "65536abc", "-I", "-i", tmp.path()});
  EXPECT_EQ(rejected.status, 0);
  EXPECT_EQ(rejected.err, "Invalid format for \"-X\" parameter, unprocessed characters [abc]\n");

  // The prefix note is logged only once -X has enabled its package.
  const ProcessResult noted = RunUpdater({"-X", "1", "-d", "0x40F5849A", "-I", "-i", tmp.path(), "-d", "0X12"});
  EXPECT_EQ(noted.err, "Discarding '0x' serial number prefix\nDiscarding '0x' serial number prefix\n");
  const ProcessResult quiet = RunUpdater({"-d", "0x40F5849A", "-X", "1", "-I", "-i", tmp.path()});
  EXPECT_EQ(quiet.err, "");
}

TEST(Cli, StorageDirectoryThatCannotBeMade) {
  TempDir tmp;
  WriteFile(tmp / "file", "x");
  const ProcessResult r = RunUpdater({"-I", "-i", tmp / "file"});
  EXPECT_EQ(r.out, kVersion);
  EXPECT_EQ(r.err, "Could not find updater directory at " + (tmp / "file") + "/updater\n");
  EXPECT_EQ(r.status, 1);
}

// A user the user database does not know falls back to HOME; without HOME the run stops.
TEST(Cli, DefaultStorageDirectoryComesFromHome) {
  if (!have_user_namespaces()) GTEST_SKIP() << "user namespaces are not available";
  TempDir tmp;
  chmod(tmp.path().c_str(), 0777);
  const std::vector<std::string> unknown_user = {"/usr/bin/unshare", "--user", "--map-user=12345",
                                                 "--map-group=12345", UPDATER_BINARY};

  auto with = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = unknown_user;
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  };
  const ProcessResult found = RunProcess(with({"-I"}), WithEnv({"HOME=" + tmp.path()}));
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_EQ(found.out, kVersion);
  EXPECT_TRUE(is_directory(tmp / ".marlovex/updater"));

  const ProcessResult missing = RunProcess(with({"-X", "0x10000", "-I"}), WithEnv({"HOME"}));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, kVersion);
  EXPECT_NE(missing.err.find("Updater: FailedaDirectory_GetHomeDirectory()==> 3\n"), std::string::npos);

  const ProcessResult silent = RunProcess(with({"-I"}), WithEnv({"HOME"}));
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(silent.out, kVersion);
  EXPECT_EQ(silent.err, "");
}
