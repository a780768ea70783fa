#include <gtest/gtest.h>

#include "support/CaptureDisplay.h"
#include "updater/Updater.h"
#include "updater/UpdaterStore.h"

TEST(Updater, CopiesItsTextsAndStartsWithoutUEIBytes) {
  CaptureDisplay display;
  std::string url = "http://127.0.0.1:1/cgi/u";
  std::string dir = "/tmp/store";
  Updater updater(url.c_str(), dir.c_str(), display);
  url.assign("changed");
  dir.assign("changed");
  EXPECT_EQ(updater.ServerUrl(), "http://127.0.0.1:1/cgi/u");
  EXPECT_EQ(updater.StorageDirectory(), "/tmp/store");
  EXPECT_FALSE(updater.UEIBytesLoad());
  updater.Set_UEIBytes_Load(true);
  EXPECT_TRUE(updater.UEIBytesLoad());
}

TEST(UpdaterStore, BuildPathJoinsWithoutLookingAtSeparators) {
  EXPECT_EQ(BuildPath("/data", "updater", nullptr), "/data/updater");
  EXPECT_EQ(BuildPath("/data/", "updater", "40F5849A", nullptr), "/data//updater/40F5849A");
  EXPECT_EQ(BuildPath("only", nullptr), "only");
}
