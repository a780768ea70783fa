// The download and build-list operations of the Updater against the local update server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "sim/BirdWriter.h"
#include "support/CaptureDisplay.h"
#include "support/LogCapture.h"
#include "support/ServerFixture.h"
#include "updater/Updater.h"
#include "updater/UpdaterStore.h"

namespace fs = std::filesystem;
using updatesim::Fault;

namespace {

struct Acquisition : testing::Test {
  void SetUp() override { server.Start(); }
  Updater make() { return Updater(server.Url().c_str(), store.path().c_str(), display); }
  std::string device_dir() const { return store / "40F5849A"; }
  KeyValueStore settings() const { return KeyValueStore((device_dir() + "/.settings").c_str()); }

  ServerFixture server;
  TempDir store;
  CaptureDisplay display;
};

}  // namespace

TEST_F(Acquisition, LatestBuildIsValidatedDownloadedAndRecorded) {
  Updater updater = make();
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "", false, false), 1300u);
  EXPECT_EQ(display.info, (std::vector<std::string>{"Retrieving build 1300", "Validating build 1300 with server",
                                                    "Build 1300 is valid"}));
  EXPECT_TRUE(display.errors.empty());
  EXPECT_EQ(display.events.front(), "spinner:Downloading");
  EXPECT_EQ(display.events.back(), "spinner:off");
  EXPECT_EQ(ReadFile(device_dir() + "/1300.bird"), ReadFile(server.catalogue.devices[kShuttle].builds[1300].file));
  KeyValueStore s = settings();
  EXPECT_EQ(s.GetString("LATEST_DOWNLOAD"), "1300.bird");
  EXPECT_EQ(s.GetString("LAST_DOWNLOAD_DATE").size(), 24u);
}

TEST_F(Acquisition, RequestedBuildsAndTheirChecks) {
  Updater updater = make();
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "12abc", false, false), 0u);  // asks for build 12
  EXPECT_EQ(display.errors, (std::vector<std::string>{"No valid build 12"}));
  display.errors.clear();
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "abc", false, false), 0u);
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Build number 'abc' must be an number"}));
  display.errors.clear();
  EXPECT_EQ(updater.Download_Firmware(0, "", false, false), 0u);
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Serial Number must be non-zero"}));

  auto list_requests = [&] {
    const auto all = server.Requests();
    return std::count_if(all.begin(), all.end(), [](const std::string& r) { return r.find("op=builds") != r.npos; });
  };
  const auto lists_before = list_requests();

  // With the override the build is fetched without asking for the list; the server refuses it.
  display.info.clear();
  display.errors.clear();
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "1250", true, false), 0u);
  EXPECT_EQ(display.info[1], "Override specified, skipping validation of build 1250");
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Download failed", "Failed to retrieve a valid BIRD file"}));
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "1200", true, false), 1200u);
  EXPECT_TRUE(fs::exists(device_dir() + "/1200.bird"));
  EXPECT_EQ(list_requests(), lists_before);
}

TEST_F(Acquisition, BadPayloadsRecordNothing) {
  struct { Fault fault; std::vector<std::string> errors; } cases[] = {
      {Fault::EmptyPayload, {"Failed to retrieve a valid BIRD file"}},
      {Fault::MissingLines, {"Failed to retrieve a valid BIRD file"}},
      {Fault::NotOk, {"Download failed", "Failed to retrieve a valid BIRD file"}},
      {Fault::BrokenPayload, {"Failed to decode the BIRD file sent by the server"}},
  };
  for (const auto& c : cases) {
    server.server->SetFault("bird", c.fault);
    display.errors.clear();
    Updater updater = make();
    EXPECT_EQ(updater.Download_Firmware(kShuttle, "", false, false), 0u);
    EXPECT_EQ(display.errors, c.errors);
    EXPECT_FALSE(fs::exists(device_dir() + "/1300.bird"));
    EXPECT_EQ(settings().Entries().count("LATEST_DOWNLOAD"), 0u);
  }
}

TEST_F(Acquisition, ServerDownOrStalled) {
  const std::string down = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/cgi/u";
  Updater nowhere(down.c_str(), store.path().c_str(), display);
  EXPECT_EQ(nowhere.Download_Firmware(kShuttle, "", false, false), 0u);
  EXPECT_TRUE(nowhere.Get_BuildList(kShuttle).empty());
  EXPECT_EQ(nowhere.Get_JWT(kShuttle), "");
  EXPECT_EQ(display.errors, std::vector<std::string>(3, "Server request failed for " + down));

  // A server that accepts the download and never answers is given up within the time-outs.
  ShortLimits limits;
  server.server->SetFault("bird", Fault::Stall);
  display.errors.clear();
  Updater updater = make();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "", false, false), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Download failed", "Failed to retrieve a valid BIRD file"}));
  EXPECT_GE(std::count(display.events.begin(), display.events.end(), "spinner:Downloading"), 5);
}

TEST_F(Acquisition, StoreThatCannotBeMade) {
  WriteFile(store / "blocked", "");
  Updater updater(server.Url().c_str(), (store / "blocked").c_str(), display);
  EXPECT_EQ(updater.Download_Firmware(kShuttle, "", false, false), 0u);
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Failed to Create UpdaterStore in: Download_Firmware - "
                                                      "Exception: UpdaterStore: " + (store / "blocked") +
                                                      " exists and is a file"}));
}

TEST_F(Acquisition, BuildListsAndToken) {
  Updater updater = make();
  EXPECT_EQ(updater.Get_BuildList(kShuttle), (BuildMap{{"1200", "2.10.3"}, {"1300", "2.11.0"}}));
  EXPECT_EQ(updater.Get_BuildList(0x12345678), BuildMap{});
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Failed to retrieve builds for 12345678"}));
  EXPECT_EQ(updater.Get_JWT(kShuttle), server.catalogue.devices[kShuttle].token);
  display.errors.clear();
  EXPECT_EQ(updater.Get_JWT(0x12345678), "");
  EXPECT_EQ(display.errors, (std::vector<std::string>{"Failed to retrieve jwt for 12345678"}));

  EXPECT_TRUE(updater.Get_BuildListLocal(kShuttle).empty());
  ASSERT_EQ(updater.Download_Firmware(kShuttle, "1200", false, false), 1200u);
  WriteFile(device_dir() + "/notes.txt", "x");
  WriteFile(device_dir() + "/999.bird", "not a bird");
  EXPECT_EQ(updater.Get_BuildListLocal(kShuttle), (BuildMap{{"1200", "2.10.3"}, {"notes.txt", ""}, {"999", ""}}));
}

TEST_F(Acquisition, LoadBird) {
  Updater updater = make();
  try {
    updater.load_bird("Updating", "", kShuttle, 1300, false);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Error reading birdfile");
  }
  EXPECT_EQ(display.info.back(), "Updating firmware with build: 1300");
  BirdFile fetched = updater.load_bird("Recovering", "", kShuttle, 1300, true);
  EXPECT_EQ(fetched.GetBuild(), 1300u);
  EXPECT_NE(std::find(display.info.begin(), display.info.end(), "Downloading firmware build 1300"), display.info.end());
  BirdFile stored = updater.load_bird("Updating", "", kShuttle, 1300, false);
  EXPECT_EQ(stored.GetVersion(), "2.11.0");
  const std::string path = server.catalogue.devices[kShuttle].builds[1200].file;
  BirdFile named = updater.load_bird("Updating", path, kShuttle, 0, false);
  EXPECT_EQ(named.GetBuild(), 1200u);
  EXPECT_EQ(display.info.back(), "Updating from Birdfile: " + path);
}
