#include <gtest/gtest.h>

#include "updater/UpdateServerRequest.h"

TEST(UpdateServerRequest, SplitTessaloomVersion) {
  EXPECT_EQ(UpdateServerRequest::SplitTessaloomVersion("1.2.3"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(UpdateServerRequest::SplitTessaloomVersion("1.2").empty());
  EXPECT_TRUE(UpdateServerRequest::SplitTessaloomVersion("1.2.3.4").empty());
  EXPECT_EQ(UpdateServerRequest::SplitTessaloomVersion("a..").size(), 3u);
}

TEST(UpdateServerRequest, SortVersionComparesBytesNewestFirst) {
  using P = std::pair<std::string, std::string>;
  EXPECT_TRUE(_sortVersion(P{"1", "2.11.0"}, P{"2", "2.10.9"}));
  EXPECT_FALSE(_sortVersion(P{"1", "2.10.9"}, P{"2", "2.11.0"}));
  EXPECT_TRUE(_sortVersion(P{"1", "2.10.9"}, P{"2", "2.10.9"}));  // equal versions: by build
  EXPECT_FALSE(_sortVersion(P{"2", "2.10.9"}, P{"1", "2.10.9"}));
  EXPECT_FALSE(_sortVersion(P{"1", "2.256.0"}, P{"2", "2.1.0"}));  // 256 compares like 0
  EXPECT_FALSE(_sortVersion(P{"1", "x.1.0"}, P{"2", "1.1.0"}));
  EXPECT_FALSE(_sortVersion(P{"1", "beta"}, P{"2", "1.1.0"}));
  EXPECT_TRUE(_sortVersion(P{"2", "1.1.0"}, P{"1", "beta"}));
  EXPECT_TRUE(_sortVersion(P{"1", "beta"}, P{"2", "gamma"}));  // both unreadable: by build
  EXPECT_FALSE(_sortVersion(P{"2", "beta"}, P{"1", "gamma"}));
}

TEST(UpdateServerRequest, SortBuildsByVersionKeepsUnreadableVersionsLast) {
  BuildMap builds;
  for (int i = 0; i < 200; ++i) builds[std::to_string(1000 + i)] = (i % 3 == 0) ? "bad" : "2." + std::to_string(i % 50) + ".0";
  const BuildList sorted = UpdateServerRequest::SortBuildsByVersion(builds);
  ASSERT_EQ(sorted.size(), builds.size());
  bool seen_bad = false;
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (sorted[i].second == "bad") {
      seen_bad = true;
      continue;
    }
    EXPECT_FALSE(seen_bad) << "readable version after an unreadable one at " << i;
    if (i > 0 && sorted[i - 1].second != "bad") {
      EXPECT_FALSE(_sortVersion(sorted[i], sorted[i - 1])) << i;
    }
  }
  EXPECT_EQ(sorted.front().second, "2.49.0");
}
