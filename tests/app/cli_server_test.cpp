// -B, -L, -J and -G of the real program against the local update server.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ServerFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kVersion = "Updater (Version: 2.12.1 Feb 11 2026)\n";

struct CliServer : testing::Test {
  void SetUp() override { server.Start(); }
  ProcessResult run(std::vector<std::string> args, const ProcessOptions& options = {}) {
    args.insert(args.begin(), {"-i", store.path(), "-u", server.Url()});
    return RunUpdater(args, options);
  }
  ServerFixture server;
  TempDir store;
};

}  // namespace

TEST_F(CliServer, ListBuildsFromTheServer) {
  const ProcessResult r = run({"-B", "-d", "40F5849A"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kVersion +
                       "Build List for device [40F5849A]:\n\n"
                       "Build          \tVersion        \n"
                       "1300           \t2.11.0         \n"
                       "1200           \t2.10.3         \n");
  EXPECT_EQ(r.err, "");
  const ProcessResult unknown = run({"-B", "-d", "1234"});
  EXPECT_EQ(unknown.status, 0);
  EXPECT_EQ(unknown.out, kVersion + "No builds found for device [00001234]\n");
  EXPECT_EQ(unknown.err, "Failed to retrieve builds for 00001234\n");
}

TEST_F(CliServer, GetBuildThenListLocal) {
  const ProcessResult got = run({"-G", "-d", "40F5849A"});
  EXPECT_EQ(got.status, 0) << got.err;
  EXPECT_EQ(got.out, kVersion +
                         "Retrieving firmware for device with serial number 40F5849A\n"
                         "No build specified\n"
                         "Using Latest build\n"
                         "Retrieving build 1300\n"
                         "Validating build 1300 with server\n"
                         "Build 1300 is valid\n");
  EXPECT_EQ(got.err, "");
  EXPECT_TRUE(fs::exists(store / "updater/40F5849A/1300.bird"));

  const ProcessResult specific = run({"-G", "-d", "40F5849A", "-b", "1200"});
  EXPECT_EQ(specific.status, 0);
  EXPECT_NE(specific.out.find("Retrieving firmware build 1200\n"), std::string::npos);

  WriteFile(store / "updater/40F5849A/notes.txt", "x");
  const ProcessResult local = run({"-L", "-d", "40F5849A"});
  EXPECT_EQ(local.status, 0);
  EXPECT_EQ(local.out, kVersion +
                           "Build List for device [40F5849A]:\n\n"
                           "Build          \tVersion        \n"
                           "1300           \t2.11.0         \n"
                           "1200           \t2.10.3         \n"
                           "notes.txt      \t               \n");

  const std::vector<std::string> expected = {
      "/cgi/u?op=hi&rv=2&",
      "/cgi/u?op=qu&sn=40F5849A&",
      "/cgi/u?op=builds&sn=40F5849A&",
      "/cgi/u?bld=1300&fw=shuttle&no_cal=false&op=bird&sn=40F5849A&",
  };
  const auto requests = server.Requests();
  ASSERT_GE(requests.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 4), expected);
}

TEST_F(CliServer, GetBuildFailures) {
  const ProcessResult bad = run({"-G", "-d", "40F5849A", "-b", "1250"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "No valid build 1250\n");

  const std::string down = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/cgi/u";
  const ProcessResult nowhere = RunUpdater({"-i", store.path(), "-u", down, "-G", "-d", "40F5849A"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.err, "Server request failed for " + down + "\n");

  // A write that cannot finish records nothing and fails.
  ProcessOptions limited;
  limited.fileSizeLimit = 4096;
  const ProcessResult full = run({"-G", "-d", "40F5849A"}, limited);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Failed to write file with 6\n");
  EXPECT_FALSE(fs::exists(store / "updater/40F5849A/1300.bird"));
  EXPECT_EQ(ReadFile(store / "updater/40F5849A/.settings").find("LATEST_DOWNLOAD"), std::string::npos);
}

TEST_F(CliServer, DownloadsTheServerSpoils) {
  struct { const char* build; updatesim::Fault fault; bool override; std::string err; } cases[] = {
      {"1250", updatesim::Fault::None, true, "Download failed\nFailed to retrieve a valid BIRD file\n"},
      {"", updatesim::Fault::EmptyPayload, false, "Failed to retrieve a valid BIRD file\n"},
      {"", updatesim::Fault::BrokenPayload, false, "Failed to decode the BIRD file sent by the server\n"},
      {"", updatesim::Fault::Status500, false, "Download failed\nFailed to retrieve a valid BIRD file\n"},
  };
  for (const auto& c : cases) {
    server.server->SetFault("bird", c.fault);
    std::vector<std::string> args = {"-G", "-d", "40F5849A"};
    if (*c.build != '\0') args.insert(args.end(), {"-b", c.build});
    if (c.override) args.push_back("-OVERRIDE");
    const ProcessResult r = run(args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    if (c.override) {
      EXPECT_NE(r.out.find("Override specified, skipping validation of build 1250\n"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(store / "updater/40F5849A/1300.bird"));
  }
}

TEST_F(CliServer, FeatureToken) {
  server.catalogue.devices[kShuttle].token = "eyJh.eyJz.c2ln\x1b[31m";
  server.Start();
  const ProcessResult r = run({"-J", "-d", "40F5849A"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kVersion + "eyJh.eyJz.c2ln?[31m\n");
}
