#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <regex>

#include "support/Process.h"
#include "updater/KeyValueStore.h"

namespace {

// ctime text: "Thu Dec 10 09:05:03 2026"
const std::regex kStamp(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4})");

// The file as written, without the two time stamp lines.
std::string without_stamps(const std::string& text) {
  return std::regex_replace(text, std::regex("(CREATED|UPDATED)_TIME=[^\n]*\n"), "");
}

}  // namespace

TEST(KeyValueStore, ParsesTheFileSyntax) {
  TempDir tmp;
  const std::string long_line(3000, 'L');
  WriteFile(tmp / "s",
            "  NAME =  some text  \n"
            "A=B=C\n"
            "#comment=1\n"
            " #spaced=2\n"
            "A2=\n"
            "X=\r\n"
            "DUP=first\n"
            "noequals\n"
            " = empty key\n"
            "Q=1\n" +
                long_line + "=too long\n"
                "DUP=second\n"
                "AFTER=long line\n"
                "Z=");  // two characters, no newline: ignored
  KeyValueStore s((tmp / "s").c_str());
  const std::map<std::string, std::string> expected = {
      {"NAME", "some text"}, {"A", "B=C"}, {"#spaced", "2"}, {"A2", ""}, {"X", ""},
      {"DUP", "second"},     {"Q", "1"},   {"AFTER", "long line"},
  };
  EXPECT_EQ(s.Entries(), expected);
  EXPECT_FALSE(s.IsModified());
  EXPECT_EQ(s.Path(), tmp / "s");
}

TEST(KeyValueStore, MissingFileIsCreatedWithTimeStamps) {
  TempDir tmp;
  KeyValueStore s((tmp / ".settings").c_str());
  EXPECT_FALSE(s.IsModified());
  const std::string text = ReadFile(tmp / ".settings");
  const std::regex file("CREATED_TIME=(.{24})\nUPDATED_TIME=(.{24})\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(text, m, file)) << text;
  EXPECT_TRUE(std::regex_match(m[1].str(), kStamp)) << m[1];
  EXPECT_EQ(s.GetString("CREATED_TIME"), m[1].str());
}

TEST(KeyValueStore, SavesSortedEntriesAndEmptyValues) {
  TempDir tmp;
  KeyValueStore s;
  s.Add("b", 1);
  s.Add("B", "two words");
  s.Add("a", 2.5);
  s.AddHex("h", 255);
  EXPECT_EQ(s.GetInt("missing", 42), 42);  // leaves "missing=" behind
  s.Save((tmp / "out").c_str());
  EXPECT_FALSE(s.IsModified());
  EXPECT_EQ(without_stamps(ReadFile(tmp / "out")), "B=two words\na=2.500000\nb=1\nh=0x000000FF\nmissing=\n");

  KeyValueStore back((tmp / "out").c_str());
  EXPECT_EQ(back.GetHex("h", 0), 255u);
  EXPECT_DOUBLE_EQ(back.GetDouble("a", 0), 2.5);
  EXPECT_EQ(back.GetInt("b", 0), 1);
  EXPECT_EQ(back.GetInt("missing", 7), 7);
}

TEST(KeyValueStore, TypedLookups) {
  KeyValueStore s;
  s.Add("empty", "");
  s.Add("word", "true");
  s.Add("num", "12abc");
  s.Add("hex", "0xff");
  EXPECT_EQ(s.GetString("empty", "dflt"), "");
  EXPECT_EQ(s.GetString("absent", "dflt"), "dflt");
  EXPECT_EQ(s.GetString("absent", nullptr), "");
  EXPECT_EQ(s["absent"], nullptr);
  EXPECT_STREQ(s["word"], "true");
  EXPECT_FALSE(s.GetBOOL("word", true));  // words read as 0
  EXPECT_TRUE(s.GetBOOL("absent2", true));
  EXPECT_EQ(s.GetInt("num", 0), 12);
  EXPECT_EQ(s.GetHex("hex", 0), 0xFFu);
  EXPECT_EQ(s.GetInt("empty", 9), 9);
  // GetString and operator[] never create entries; the typed getters do.
  EXPECT_EQ(s.Entries().count("absent"), 0u);
  EXPECT_EQ(s.Entries().count("absent2"), 1u);
}

TEST(KeyValueStore, ModifiedOnlyByRealChanges) {
  TempDir tmp;
  KeyValueStore s((tmp / "s").c_str());
  const std::string updated = s.GetString("UPDATED_TIME");
  s.Add("K", "v");
  EXPECT_TRUE(s.IsModified());
  s.Save();
  EXPECT_FALSE(s.IsModified());
  s.Add("K", "v");
  EXPECT_FALSE(s.IsModified());
  s.GetInt("created-quietly", 0);
  EXPECT_FALSE(s.IsModified());

  KeyValueStore other;
  s.Add(other);
  EXPECT_FALSE(s.IsModified());
  other.Add("K", "v");
  s.Add(other);
  EXPECT_TRUE(s.IsModified());  // set even though the value was equal

  KeyValueStore copy = s;
  EXPECT_EQ(copy.Entries(), s.Entries());
  EXPECT_EQ(copy.Path(), s.Path());
  EXPECT_TRUE(copy.IsModified());
  EXPECT_TRUE(s.Clear());
  EXPECT_TRUE(s.Entries().empty());
  EXPECT_EQ(copy.Entries().count("K"), 1u);
}

TEST(KeyValueStore, LoadKeepsEarlierEntries) {
  TempDir tmp;
  WriteFile(tmp / "s", "FROM_FILE=1\n");
  KeyValueStore s;
  s.Add("BEFORE", "x");
  s.Load((tmp / "s").c_str());
  EXPECT_EQ(s.GetString("BEFORE"), "x");
  EXPECT_EQ(s.GetString("FROM_FILE"), "1");
  EXPECT_FALSE(s.IsModified());
}

TEST(KeyValueStore, SaveWithoutAPathUsesTheDefaultName) {
  TempDir tmp;
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(tmp.path());
  {
    KeyValueStore s;
    s.Add("K", "v");
    s.Save();
    EXPECT_EQ(s.Path(), ".settings");
  }
  std::filesystem::current_path(cwd);
  EXPECT_EQ(without_stamps(ReadFile(tmp / ".settings")), "K=v\n");
}

TEST(KeyValueStore, FailedSaveKeepsTheOldFileAndTheChanges) {
  TempDir tmp;
  KeyValueStore s;
  s.Add("K", "v");
  s.Save((tmp / "no-such-dir/s").c_str());
  EXPECT_TRUE(s.IsModified());
  EXPECT_TRUE(ListDirectory(tmp.path()).empty());

  // A directory standing where the file should be is never replaced.
  std::filesystem::create_directory(tmp / "dir");
  WriteFile(tmp / "dir/keep", "x");
  KeyValueStore blocked((tmp / "dir").c_str());
  blocked.Add("K", "v");
  blocked.Save();
  EXPECT_TRUE(blocked.IsModified());
  EXPECT_EQ(ReadFile(tmp / "dir/keep"), "x");
  EXPECT_EQ(ListDirectory(tmp.path()), (std::vector<std::string>{"dir"}));
}

TEST(KeyValueStore, SaveThatCannotFinishKeepsTheOldFile) {
  TempDir tmp;
  const std::string file = tmp / ".settings";
  WriteFile(file, "LATEST_DOWNLOAD=1200.bird\n");
  const int status = RunInChild([&] {
    KeyValueStore s(file.c_str());
    s.Add("BIG", std::string(64 * 1024, 'x'));
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    s.Save();
    return s.IsModified() ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(file), "LATEST_DOWNLOAD=1200.bird\n");
  EXPECT_EQ(ListDirectory(tmp.path()), (std::vector<std::string>{".settings"}));
}

// A history file that exists but cannot be read must survive: the store loads nothing and
// refuses to write over it.
TEST(KeyValueStore, UnreadableFileIsNeverOverwritten) {
  TempDir tmp;
  const std::string file = tmp / ".settings";
  WriteFile(file, "LATEST_DOWNLOAD=1200.bird\n");
  chmod(file.c_str(), 0);
  chmod(tmp.path().c_str(), 0777);

  // Run as a user without rights over the file: in a fresh user namespace, files owned by
  // users it does not map are subject to ordinary permission checks even for root.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (unshare(CLONE_NEWUSER) != 0) _exit(77);
    KeyValueStore s(file.c_str());
    if (!s.Entries().empty()) _exit(2);
    s.Add("K", "v");
    s.Save();
    _exit(s.IsModified() ? 0 : 3);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "user namespaces are not available";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  chmod(file.c_str(), 0644);
  EXPECT_EQ(ReadFile(file), "LATEST_DOWNLOAD=1200.bird\n");
  EXPECT_EQ(ListDirectory(tmp.path()), (std::vector<std::string>{".settings"}));
}
