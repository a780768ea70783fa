#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "support/Process.h"
#include "tessaloom/common/aDirectory.h"

namespace fs = std::filesystem;

TEST(aDirectory, EnsureCreatesEveryMissingLevel) {
  TempDir tmp;
  EXPECT_FALSE(aDirectory_Exists(nullptr));
  fs::create_directory(tmp / "a");
  EXPECT_EQ(aDirectory_Ensure((tmp / "a/b/c").c_str(), 0750), aErrNone);
  EXPECT_TRUE(aDirectory_Exists((tmp / "a/b").c_str()));
  EXPECT_TRUE(aDirectory_Exists((tmp / "a/b/c").c_str()));
  struct stat st;
  ASSERT_EQ(stat((tmp / "a/b").c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0750u & ~mask);

  EXPECT_EQ(aDirectory_Ensure((tmp / "a/b/c").c_str(), 0755), aErrNone);  // already there
  EXPECT_EQ(aDirectory_Ensure((tmp / "x//y///z").c_str(), 0755), aErrNone);
  EXPECT_TRUE(aDirectory_Exists((tmp / "x/y/z").c_str()));

  WriteFile(tmp / "file", "");
  EXPECT_FALSE(aDirectory_Exists((tmp / "file").c_str()));
  EXPECT_EQ(aDirectory_Ensure((tmp / "file").c_str(), 0755), aErrPermission);
  EXPECT_EQ(aDirectory_Ensure((tmp / "file/sub").c_str(), 0755), aErrPermission);
}

TEST(aDirectory, BuildPath) {
  char b[64];
  struct { const char* first; const char* second; const char* joined; } joins[] = {
      {"a", "b", "a/b"}, {"a/", "b", "a/b"}, {"a", "/b", "a/b"}, {"a/", "/b", "a//b"}, {"", "b", "/b"},
  };
  for (const auto& j : joins) {
    EXPECT_EQ(aDirectory_JoinPath(b, sizeof b, j.first, j.second), aErrNone);
    EXPECT_STREQ(b, j.joined);
  }
  char seven[7], six[6];
  EXPECT_EQ(aDirectory_BuildPath(seven, sizeof seven, "ab", "cd", nullptr), aErrNone);
  EXPECT_STREQ(seven, "ab/cd");
  EXPECT_EQ(aDirectory_BuildPath(six, sizeof six, "ab", "cd", nullptr), aErrOverrun);
  EXPECT_EQ(aDirectory_BuildPath(seven, sizeof seven, "abcdef", nullptr), aErrOverrun);
  EXPECT_EQ(aDirectory_BuildPath(b, sizeof b, "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", nullptr), aErrNone);
  EXPECT_STREQ(b, "1/2/3/4/5/6/7/8/9/10");
  EXPECT_EQ(aDirectory_BuildPath(b, sizeof b, "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", nullptr),
            aErrParam);
  std::strcpy(b, "self");
  EXPECT_EQ(aDirectory_BuildPath(b, sizeof b, "x", b + 1, nullptr), aErrParam);
  EXPECT_EQ(aDirectory_BuildPath(nullptr, 8, "x", nullptr), aErrParam);
  EXPECT_EQ(aDirectory_BuildPath(b, sizeof b, nullptr, nullptr), aErrParam);
}

TEST(aDirectory, ListReportsEveryEntryUntilTheCallbackStops) {
  TempDir tmp;
  fs::create_directory(tmp / "sub");
  WriteFile(tmp / "five", "12345");
  std::map<std::string, std::pair<uint32_t, bool>> seen;
  auto collect = [](const aDirectoryListData* e, void* ref) {
    auto& m = *static_cast<std::map<std::string, std::pair<uint32_t, bool>>*>(ref);
    const std::string path = e->path;
    m[path.substr(path.find_last_of('/') + 1)] = {e->size, e->isDirectory};
    return true;
  };
  EXPECT_EQ(aDirectory_List(tmp.path().c_str(), collect, &seen), aErrNone);
  EXPECT_EQ(seen.size(), 4u);  // ".", "..", "sub", "five"
  EXPECT_EQ(seen["five"], (std::pair<uint32_t, bool>{5, false}));
  EXPECT_TRUE(seen["sub"].second);
  EXPECT_EQ(seen.count(".."), 1u);

  int calls = 0;
  aDirectory_List(tmp.path().c_str(), [](const aDirectoryListData*, void* ref) { return ++*static_cast<int*>(ref) < 2; },
                  &calls);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(aDirectory_List((tmp / "missing").c_str(), collect, &seen), aErrNotFound);
}

TEST(aDirectory, DeleteTreeStaysInsideTheTree) {
  TempDir tmp;
  fs::create_directories(tmp / "outside/keep");
  WriteFile(tmp / "outside/keep/precious", "x");
  fs::create_directories(tmp / "tree/a/b");
  WriteFile(tmp / "tree/a/b/f", "1");
  WriteFile(tmp / "tree/top", "2");
  fs::create_directory_symlink(tmp / "outside", tmp / "tree/a/link-to-dir");
  fs::create_symlink(tmp / "outside/keep/precious", tmp / "tree/link-to-file");

  EXPECT_EQ(aDirectory_DeleteTree((tmp / "tree").c_str()), aErrNone);
  EXPECT_FALSE(fs::exists(tmp / "tree"));
  EXPECT_EQ(ReadFile(tmp / "outside/keep/precious"), "x");

  // A symbolic link given as the tree itself is not followed either.
  fs::create_directory_symlink(tmp / "outside", tmp / "alias");
  EXPECT_EQ(aDirectory_DeleteTree((tmp / "alias").c_str()), aErrNotFound);
  EXPECT_EQ(ReadFile(tmp / "outside/keep/precious"), "x");
  EXPECT_EQ(aDirectory_DeleteTree((tmp / "missing").c_str()), aErrNotFound);

  fs::create_directory(tmp / "empty");
  EXPECT_EQ(aDirectory_Delete((tmp / "empty").c_str()), aErrNone);
  EXPECT_EQ(aDirectory_Delete((tmp / "outside").c_str()), aErrUnknown);  // not empty
}

TEST(aDirectory, WorkingDirectoryExecutableAndHome) {
  char buffer[4096];
  EXPECT_EQ(aDirectory_CWD(buffer, sizeof buffer), aErrNone);
  EXPECT_EQ(std::string(buffer), fs::current_path().string());
  EXPECT_EQ(aDirectory_CWD(buffer, 2), aErrParam);
  EXPECT_EQ(aDirectory_ExecutableFilePath(buffer, sizeof buffer), aErrNone);
  EXPECT_EQ(std::string(buffer), fs::read_symlink("/proc/self/exe").string());
  char tiny[4];
  EXPECT_EQ(aDirectory_ExecutableFilePath(tiny, sizeof tiny), aErrNone);
  EXPECT_EQ(std::strlen(tiny), 3u);

  EXPECT_EQ(aDirectory_GetHomeDirectory(buffer, sizeof buffer), aErrNone);
  EXPECT_GT(std::strlen(buffer), 0u);
  // Too small a buffer is an error, and the buffer is still a terminated (empty) text.
  EXPECT_EQ(aDirectory_GetHomeDirectory(tiny, 1), aErrOverrun);
  EXPECT_STREQ(tiny, "");
}

TEST(aDirectory, BackwardsMemcmpFindsTheLastOccurrence) {
  const char* text = "1234.bird.bird";
  EXPECT_EQ(backwards_memcmp(text, ".bird"), text + 9);
  EXPECT_EQ(backwards_memcmp(text, ""), text);
  EXPECT_EQ(backwards_memcmp(text, "x"), nullptr);
  EXPECT_EQ(backwards_memcmp("ab", "abc"), nullptr);
  EXPECT_EQ(backwards_memcmp(text, text), text);
}
