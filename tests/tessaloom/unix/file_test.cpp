#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "support/Process.h"
#include "tessaloom/unix/aFile.h"
#include "tessaloom/unix/aMutex.h"
#include "tessaloom/unix/aThread.h"
#include "tessaloom/unix/aTime.h"

TEST(aFile, OpenRefusals) {
  TempDir tmp;
  EXPECT_EQ(aFile_Open(nullptr, aFileModeRead), nullptr);
  EXPECT_EQ(aFile_Open("", aFileModeRead), nullptr);
  EXPECT_EQ(aFile_Open((tmp / "x").c_str(), 3), nullptr);
  EXPECT_EQ(aFile_Open(std::string(4097, 'a').c_str(), aFileModeWrite), nullptr);
  EXPECT_EQ(aFile_Open((tmp / "missing").c_str(), aFileModeRead), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(aFile_Exists(nullptr));
  EXPECT_FALSE(aFile_Exists(tmp.path().c_str()));  // a directory
  EXPECT_EQ(aFile_Delete((tmp / "missing").c_str()), aErrNotFound);
  EXPECT_EQ(aFile_Delete(nullptr), aErrParam);
  EXPECT_EQ(aFile_Delete(std::string(4097, 'a').c_str()), aErrFileNameLength);
}

TEST(aFile, ModesReadWriteSeekAndSize) {
  TempDir tmp;
  const std::string path = tmp / "f";
  aFileHandle w = aFile_Open(path.c_str(), aFileModeWrite);
  ASSERT_NE(w, nullptr);
  uint64_t count = 99;
  uint8_t buffer[16];
  EXPECT_EQ(aFile_Read(w, buffer, 4, &count), aErrMode);
  EXPECT_EQ(aFile_Write(w, reinterpret_cast<const uint8_t*>("hello"), 5, &count), aErrNone);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(aFile_Printf(w, " %d", 42), aErrNone);
  EXPECT_EQ(aFile_SetUnbuffered(w), aErrNone);
  EXPECT_EQ(aFile_Close(&w), aErrNone);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(aFile_Close(&w), aErrParam);
  EXPECT_TRUE(aFile_Exists(path.c_str()));

  aFileHandle r = aFile_Open(path.c_str(), aFileModeRead);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(aFile_Write(r, buffer, 1, &count), aErrMode);
  EXPECT_EQ(aFile_Printf(r, "x"), aErrMode);
  EXPECT_EQ(aFile_SetUnbuffered(r), aErrMode);
  EXPECT_EQ(aFile_Read(r, nullptr, 1, &count), aErrParam);
  uint64_t size = 0;
  EXPECT_EQ(aFile_GetSize(r, &size), aErrNone);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(aFile_GetSize(r, nullptr), aErrParam);

  uint64_t position = 1234;
  EXPECT_EQ(aFile_GetPosition(r, &position), aErrNone);
  EXPECT_EQ(position, 1234u);  // left alone at the start of the file
  EXPECT_EQ(aFile_Seek(r, 9, aSeekStart), aErrRange);
  EXPECT_EQ(aFile_Seek(r, static_cast<uint64_t>(-1), aSeekStart), aErrRange);
  EXPECT_EQ(aFile_Seek(r, 8, aSeekStart), aErrNone);
  EXPECT_EQ(aFile_Read(r, buffer, 4, &count), aErrEOF);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(aFile_Seek(r, static_cast<uint64_t>(-3), aSeekEnd), aErrNone);
  EXPECT_EQ(aFile_GetPosition(r, &position), aErrNone);
  EXPECT_EQ(position, 5u);
  EXPECT_EQ(aFile_Read(r, buffer, sizeof buffer, &count), aErrNone);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), " 42");
  EXPECT_EQ(aFile_Seek(r, static_cast<uint64_t>(-2), aSeekCurrent), aErrNone);
  EXPECT_EQ(aFile_Read(r, buffer, 1, &count), aErrNone);
  EXPECT_EQ(buffer[0], '4');
  EXPECT_EQ(aFile_Seek(r, 0, 7), aErrParam);
  EXPECT_EQ(aFile_Close(&r), aErrNone);

  aFileHandle a = aFile_Open(path.c_str(), aFileModeAppend);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(aFile_Write(a, reinterpret_cast<const uint8_t*>("!"), 1, nullptr), aErrNone);
  EXPECT_EQ(aFile_Seek(a, 0, aSeekStart), aErrNone);
  EXPECT_EQ(aFile_Read(a, buffer, sizeof buffer, &count), aErrNone);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "hello 42!");
  EXPECT_EQ(aFile_Close(&a), aErrNone);
  EXPECT_EQ(aFile_Delete(path.c_str()), aErrNone);
  EXPECT_FALSE(aFile_Exists(path.c_str()));
}

TEST(aFile, ForgedHandleIsRefused) {
  alignas(16) unsigned char junk[64] = {};
  auto forged = reinterpret_cast<aFileHandle>(junk);
  uint8_t b;
  EXPECT_EQ(aFile_Read(forged, &b, 1, nullptr), aErrParam);
  EXPECT_EQ(aFile_Close(&forged), aErrParam);
  EXPECT_EQ(forged, nullptr);
  EXPECT_EQ(aFile_Close(nullptr), aErrParam);
}

TEST(aFile, ReadLine) {
  TempDir tmp;
  WriteFile(tmp / "lines", "abcdefghi\nabcdefgh\n\nlast");
  aFileHandle f = aFile_Open((tmp / "lines").c_str(), aFileModeRead);
  char line[10];
  uint64_t length = 0;
  EXPECT_EQ(aFile_ReadLine(f, line, sizeof line, &length), aErrOverrun);
  EXPECT_EQ(length, 9u);
  EXPECT_STREQ(line, "abcdefghi");
  EXPECT_EQ(aFile_ReadLine(f, line, sizeof line, &length), aErrNone);  // the rest: "\n"
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(aFile_ReadLine(f, line, sizeof line, &length), aErrNone);
  EXPECT_EQ(length, 9u);
  EXPECT_STREQ(line, "abcdefgh\n");
  EXPECT_EQ(aFile_ReadLine(f, line, sizeof line, &length), aErrNone);
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(aFile_ReadLine(f, line, sizeof line, &length), aErrNone);
  EXPECT_STREQ(line, "last");
  EXPECT_EQ(aFile_ReadLine(f, line, sizeof line, &length), aErrEOF);
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(line, "");
  aFile_Close(&f);

  aFileHandle w = aFile_Open((tmp / "w").c_str(), aFileModeWrite);
  EXPECT_EQ(aFile_ReadLine(w, line, sizeof line, &length), aErrMode);
  aFile_Close(&w);
}

TEST(aFile, FailedCloseIsReported) {
  // /dev/full accepts the open and fails when the buffered data is flushed.
  aFileHandle f = aFile_Open("/dev/full", aFileModeWrite);
  if (f == nullptr) GTEST_SKIP() << "/dev/full is not available";
  EXPECT_EQ(aFile_Write(f, reinterpret_cast<const uint8_t*>("data"), 4, nullptr), aErrNone);
  EXPECT_EQ(aFile_Close(&f), aErrIO);
  EXPECT_EQ(f, nullptr);
}

TEST(aMutex, NamesLockingAndErrors) {
  EXPECT_EQ(aMutex_Create(std::string(256, 'm').c_str()), nullptr);
  aMutexHandle m = aMutex_Create(std::string(255, 'm').c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(std::strlen(aMutex_Identifier(m)), 255u);
  aMutex_Destroy(&m);

  m = aMutex_Create(nullptr);
  EXPECT_STREQ(aMutex_Identifier(m), "");
  EXPECT_EQ(aMutex_Lock(m), aErrNone);
  std::atomic<int> try_result{-1};
  std::pair<aMutexHandle, std::atomic<int>*> shared{m, &try_result};
  aThreadHandle t = aThread_Create(
      [](void* arg) -> void* {
        auto* pair = static_cast<std::pair<aMutexHandle, std::atomic<int>*>*>(arg);
        pair->second->store(aMutex_TryLock(pair->first));
        return nullptr;
      },
      &shared);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(aThread_Destroy(&t), 0);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(try_result.load(), aErrBusy);
  EXPECT_EQ(aMutex_Unlock(m), aErrNone);
  EXPECT_EQ(aMutex_TryLock(m), aErrNone);
  EXPECT_EQ(aMutex_Unlock(m), aErrNone);
  EXPECT_EQ(aMutex_Destroy(&m), aErrNone);
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(aMutex_Destroy(&m), aErrParam);
  EXPECT_EQ(aMutex_Lock(nullptr), aErrParam);
  EXPECT_EQ(aMutex_TryLock(nullptr), aErrParam);
  EXPECT_EQ(aMutex_Unlock(nullptr), aErrParam);
}

TEST(aThread, RunsEntryWithArgumentAndJoins) {
  int value = 1;
  aThreadHandle t = aThread_Create([](void* arg) -> void* { *static_cast<int*>(arg) = 42; return nullptr; }, &value);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(aThread_Destroy(&t), 0);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(aThread_Create(nullptr, nullptr), nullptr);
}

TEST(aTime, TicksFollowTheClockAndSleepLastsAtLeastItsLength) {
  const uint64_t start = aTime_GetMSTicks();
  EXPECT_GT(start, 1600000000000u);  // after 2020
  EXPECT_EQ(aTime_MSSleep(0), aErrNone);
  EXPECT_EQ(aTime_MSSleep(25), aErrNone);
  EXPECT_GE(aTime_GetMSTicks() - start, 25u);
}
