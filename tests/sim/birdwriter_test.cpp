#include <gtest/gtest.h>

#include "support/Process.h"
#include "updater/BirdFile.h"

TEST(BirdWriterTool, BuildsAFileFromADescription) {
  TempDir tmp;
  WriteFile(tmp / "loader.bin", "LOADER");
  WriteFile(tmp / "desc",
            "# a generic image\n"
            "loader 0x20000000 file:" + (tmp / "loader.bin") + "\n"
            "firmware 0x08000000 code:2048:7 flags=2\n"
            "offsets 0x08000010 0x08000040\n"
            "info 1300 2.11.0 00000000 Shuttle\n"
            "start 0x20000400\n"
            "block 9 hex:00FF flags=5\n");
  const ProcessResult r = RunProcess({BIRDWRITER_BINARY, "-o", tmp / "out.bird", tmp / "desc"});
  ASSERT_EQ(r.status, 0) << r.err;
  BirdFile f((tmp / "out.bird").c_str());
  ASSERT_EQ(f.BlockCount(), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(f.Blocks()[0].data + 4), 6), "LOADER");
  EXPECT_EQ(f.Blocks()[0].address, 0x20000000u);
  EXPECT_EQ(f.Blocks()[1].flags, 2);
  EXPECT_EQ(f.Blocks()[1].length, 2052u);
  EXPECT_EQ(f.SerialNumberAddress(), 0x08000010u);
  EXPECT_EQ(f.GetBuild(), 1300u);
  EXPECT_TRUE(f.ValidateModel("Shuttle"));
  EXPECT_EQ(f.Blocks()[5].type, 9);
  EXPECT_EQ(f.Blocks()[5].flags, 5);

  const ProcessResult broken = RunProcess({BIRDWRITER_BINARY, "-o", tmp / "bad.bird", "--break", "bad-signature", tmp / "desc"});
  ASSERT_EQ(broken.status, 0);
  EXPECT_FALSE(BirdFile::VerifyFile((tmp / "bad.bird").c_str()));

  const ProcessResult wrong = RunProcess({BIRDWRITER_BINARY, "-o", tmp / "x.bird", "--break", "nonsense", tmp / "desc"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("unknown breakage"), std::string::npos);
}
