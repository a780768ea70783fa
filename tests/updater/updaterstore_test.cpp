#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <stdexcept>

#include "sim/BirdWriter.h"
#include "support/LogCapture.h"
#include "support/Process.h"
#include "updater/UpdaterStore.h"

namespace fs = std::filesystem;

namespace {

std::string thrown_by(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(UpdaterStore, MakesItsDirectoryOrSaysWhyNot) {
  TempDir tmp;
  LogCapture log(DEBUG_Updater);
  UpdaterStore store((tmp / "a/b/updater").c_str());
  EXPECT_TRUE(fs::is_directory(tmp / "a/b/updater"));
  EXPECT_STREQ(store.BasePath(), (tmp / "a/b/updater").c_str());
  EXPECT_TRUE(log.contains("UpdaterStore: Created directory [" + (tmp / "a/b/updater") + "].\n"));
  UpdaterStore again((tmp / "a/b/updater").c_str());
  EXPECT_TRUE(log.contains("UpdaterStore: [" + (tmp / "a/b/updater") + "] already exists.\n"));

  WriteFile(tmp / "file", "x");
  EXPECT_EQ(thrown_by([&] { UpdaterStore s((tmp / "file").c_str()); }),
            "UpdaterStore: " + (tmp / "file") + " exists and is a file");
  EXPECT_EQ(thrown_by([&] { UpdaterStore s((tmp / "file/sub").c_str()); }),
            "UpdaterStore: Could not create directory " + (tmp / "file/sub") + " error 12");
}

TEST(UpdaterStore, AddDeviceMakesAPaddedFolderWithSettings) {
  TempDir tmp;
  UpdaterStore store(tmp.path().c_str());
  UpdaterStoreItem item = store.AddDevice(0xABC);
  EXPECT_TRUE(item.IsValid());
  EXPECT_EQ(item.name, "00000ABC");
  EXPECT_EQ(item.basePath, tmp.path());
  EXPECT_EQ(item.kind, STORE_ITEM_DIRECTORY);
  EXPECT_TRUE(fs::is_directory(tmp / "00000ABC"));
  EXPECT_EQ(item.settings.Entries().count("CREATED_TIME"), 1u);
  const std::string settings = ReadFile(tmp / "00000ABC/.settings");
  EXPECT_EQ(settings.rfind("CREATED_TIME=", 0), 0u);
  EXPECT_NE(settings.find("\nUPDATED_TIME="), std::string::npos);

  item.settings.Add("LATEST_DOWNLOAD", "1200.bird");
  item.settings.Save();
  LogCapture log(DEBUG_Updater);
  UpdaterStoreItem second = store.AddDevice(0xABC);
  EXPECT_TRUE(log.contains("already exists"));
  EXPECT_EQ(second.settings.GetString("LATEST_DOWNLOAD"), "1200.bird");
  EXPECT_FALSE(UpdaterStoreItem().IsValid());
}

TEST(UpdaterStore, FindDevice) {
  TempDir tmp;
  UpdaterStore store(tmp.path().c_str());
  LogCapture log(DEBUG_Updater);
  UpdaterStoreItem item;
  EXPECT_FALSE(store.FindDevice(0x40F5849A, &item));
  EXPECT_TRUE(log.contains("UpdaterStore: FindDevice Not Found 40F5849A.\n"));
  EXPECT_FALSE(item.IsValid());

  // A file whose name holds the serial text is not a device entry.
  WriteFile(tmp / "40F5849A.txt", "x");
  EXPECT_FALSE(store.FindDevice(0x40F5849A, nullptr));

  store.AddDevice(0x40F5849A);
  EXPECT_TRUE(store.FindDevice(0x40F5849A, nullptr));
  EXPECT_TRUE(store.FindDevice(0x40F5849A, &item));
  EXPECT_TRUE(log.contains("UpdaterStore: FindDevice Found 40F5849A.\n"));
  EXPECT_EQ(item.basePath, tmp.path());
  EXPECT_EQ(item.name, "40F5849A");
  EXPECT_EQ(item.kind, STORE_ITEM_DIRECTORY);
  EXPECT_EQ(item.settings.Path(), tmp / "40F5849A/.settings");

  EXPECT_FALSE(UpdaterStore(tmp.path().c_str()).FindDevice(0x1, nullptr));
}

TEST(UpdaterStore, LocalBuildsSkipHiddenEntries) {
  TempDir tmp;
  UpdaterStore store(tmp.path().c_str());
  std::vector<UpdaterStoreItem> items;
  EXPECT_TRUE(store.FindLocalBuilds(0x40F5849A, items));
  EXPECT_TRUE(items.empty());

  UpdaterStoreItem device = store.AddDevice(0x40F5849A);
  WriteFile(tmp / "40F5849A/1200.bird", "a");
  WriteFile(tmp / "40F5849A/1300.bird", "b");
  WriteFile(tmp / "40F5849A/.1400.bird.tmp-1-2", "partial");
  fs::create_directory(tmp / "40F5849A/notes");
  EXPECT_TRUE(store.FindLocalBuilds(0x40F5849A, items));
  std::vector<std::string> names;
  for (const auto& i : items) {
    EXPECT_EQ(i.basePath, tmp / "40F5849A");
    EXPECT_TRUE(i.settings.Entries().empty());
    names.push_back(i.name + (i.kind == STORE_ITEM_DIRECTORY ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1200.bird", "1300.bird", "notes/"}));
}

TEST(UpdaterStoreItem, FileExistsUsesASubstringMatch) {
  TempDir tmp;
  UpdaterStore store(tmp.path().c_str());
  UpdaterStoreItem device = store.AddDevice(0x40F5849A);
  LogCapture log(DEBUG_Updater);
  EXPECT_FALSE(device.FileExists("1300.bird"));
  EXPECT_TRUE(log.contains("UpdaterStore: FindDevice Not Found 1300.bird.\n"));
  WriteFile(tmp / "40F5849A/11300.bird", "x");
  EXPECT_TRUE(device.FileExists("1300.bird"));
  EXPECT_TRUE(log.contains("UpdaterStore: FindDevice Found 1300.bird.\n"));
}

TEST(UpdaterStoreItem, WriteFileReplacesOnlyWhenComplete) {
  TempDir tmp;
  UpdaterStore store(tmp.path().c_str());
  UpdaterStoreItem device = store.AddDevice(0x40F5849A);
  const std::string target = tmp / "40F5849A/1200.bird";

  EXPECT_EQ(device.WriteFile("1200.bird", nullptr, 10), aErrNotFound);
  EXPECT_FALSE(fs::exists(target));

  const std::string good = "good build";
  EXPECT_EQ(device.WriteFile("1200.bird", reinterpret_cast<const uint8_t*>(good.data()), good.size()), aErrNone);
  EXPECT_EQ(ReadFile(target), good);

  // A write that cannot finish (here: the file size limit) leaves the old file as it was and
  // no temporary file behind.
  const int status = RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::vector<uint8_t> big(256 * 1024, 0x5A);
    return static_cast<int>(device.WriteFile("1200.bird", big.data(), big.size()));
  });
  EXPECT_EQ(status, aErrIO);
  EXPECT_EQ(ReadFile(target), good);
  EXPECT_EQ(ListDirectory(tmp / "40F5849A"), (std::vector<std::string>{".settings", "1200.bird"}));

  UpdaterStoreItem elsewhere;
  elsewhere.basePath = tmp.path();
  elsewhere.name = "no-such-device";
  EXPECT_EQ(elsewhere.WriteFile("1200.bird", reinterpret_cast<const uint8_t*>(good.data()), good.size()), aErrNotFound);
}

TEST(UpdaterStoreItem, ReadBirdFile) {
  TempDir tmp;
  UpdaterStore store(tmp.path().c_str());
  UpdaterStoreItem device = store.AddDevice(0x40F5849A);
  birdsim::BirdImage image;
  image.Firmware(0, birdsim::CodeLikeBytes(64, 1)).Info(1200, "2.1.0", 0x40F5849A, "Shuttle");
  image.WriteTo(tmp / "40F5849A/1200.bird");
  EXPECT_EQ(device.ReadBirdFile("1200.bird").GetBuild(), 1200u);

  WriteFile(tmp / "40F5849A/text.bird", "not a bird file");
  EXPECT_EQ(thrown_by([&] { device.ReadBirdFile("text.bird"); }), "Invalid bird " + (tmp / "40F5849A/text.bird"));
  EXPECT_EQ(thrown_by([&] { device.ReadBirdFile("missing.bird"); }), "Invalid bird " + (tmp / "40F5849A/missing.bird"));
  image.WriteTo(tmp / "40F5849A/broken.bird", birdsim::Breakage::TruncatedStream);
  EXPECT_EQ(thrown_by([&] { device.ReadBirdFile("broken.bird"); }), "Failed to load bird data");
}
