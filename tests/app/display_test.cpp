#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/CLI_Display.h"
#include "app/Log.h"
#include "support/CaptureDisplay.h"
#include "support/Pty.h"

namespace {

std::string bar(int filled, int spaces, const char* percent, const char* label = nullptr) {
  std::string s = "\r";
  if (label != nullptr) s += std::string(" (") + label + ") ";
  return s + "[" + std::string(filled, '=') + ">" + std::string(spaces, ' ') + "] (" + percent + "% ) ";
}

const std::string kBlank = "\r" + std::string(88, ' ') + "\r";

}  // namespace

TEST(UpdaterDisplayInterface, MessageRoutesByLevelAndCutsLongText) {
  CaptureDisplay d;
  d.message(UpdaterDisplayInterface::LEVEL_INFO, "build %d", 7);
  d.message(UpdaterDisplayInterface::LEVEL_ERROR, "failed: %s", "nope");
  d.message(UpdaterDisplayInterface::LEVEL_INFO, "%s", std::string(3000, 'x').c_str());
  ASSERT_EQ(d.info.size(), 2u);
  EXPECT_EQ(d.info[0], "build 7");
  EXPECT_EQ(d.info[1].size(), 2047u);
  ASSERT_EQ(d.errors.size(), 1u);
  EXPECT_EQ(d.errors[0], "failed: nope");
}

TEST(UpdaterDisplayInterface, MutedMessagesPrintNothingButProgressStillRuns) {
  CaptureDisplay d;
  d.mute_messages(true);
  d.message(UpdaterDisplayInterface::LEVEL_INFO, "hidden");
  d.message(UpdaterDisplayInterface::LEVEL_ERROR, "hidden");
  d.update_progress(0.5, nullptr);
  EXPECT_TRUE(d.info.empty());
  EXPECT_TRUE(d.errors.empty());
  EXPECT_EQ(d.events.size(), 1u);
  d.mute_messages(false);
  d.message(UpdaterDisplayInterface::LEVEL_INFO, "shown");
  EXPECT_EQ(d.info.size(), 1u);
}

TEST(UpdaterDisplayInterface, PrintableReplacesControlAndNonAsciiBytes) {
  EXPECT_EQ(UpdaterDisplayInterface::printable("Pump\x1b[2J\r\n\x7f\xc2\x9b ok"), "Pump?[2J????? ok");
  EXPECT_EQ(UpdaterDisplayInterface::printable("plain text 1.2"), "plain text 1.2");
}

struct BarCase {
  double fraction;
  const char* label;
  std::string expected;
};

TEST(CLI_Display, ProgressBarOnATerminal) {
  const std::string label40(40, 'L');
  const std::string label70(70, 'L');
  const BarCase cases[] = {
      {0.0, nullptr, bar(0, 68, "  0")},
      {0.5, nullptr, bar(34, 34, " 50")},
      // At 1.0 the field width is -1, which printf reads as left-justified width 1.
      {1.0, nullptr, bar(69, 1, "100")},
      {0.25, "Update", bar(14, 44, " 25", "Update")},
      // Out-of-range and NaN fractions are clamped, so the bar never reads past its string.
      {7.5, nullptr, bar(69, 1, "100")},
      {-3.0, nullptr, bar(0, 68, "  0")},
      {std::nan(""), nullptr, bar(0, 68, "  0")},
      // Labels that leave no room keep a bar of width 1.
      {1.0, label70.c_str(), bar(1, 1, "100", label70.c_str())},
      {0.5, label40.c_str(), bar(12, 12, " 50", label40.c_str())},
  };
  for (const BarCase& c : cases) {
    const std::string out = RunWithTerminalOutput([&] {
      CLI_Display d;
      d.update_progress(c.fraction, c.label);
    });
    EXPECT_EQ(out, c.expected) << "fraction " << c.fraction;
  }
}

TEST(CLI_Display, SpinnerCyclesThroughEightFramesAndClearing) {
  const std::string out = RunWithTerminalOutput([] {
    CLI_Display d;
    d.display_progress(true);
    for (int i = 0; i < 9; ++i) d.update_spinner(true, i == 0 ? "Downloading" : nullptr);
    d.update_spinner(false, "Downloading");
    d.update_spinner(true, nullptr);  // switching off does not move the counter
    d.display_progress(false);
  });
  std::string expected = "\r (Downloading) .      \r";
  for (const char* frame : {"..", "...", "....", ".....", "....", "...", "..", "."})
    expected += std::string("\r ") + frame + "      \r";
  expected += kBlank + "\r ..      \r" + kBlank;
  EXPECT_EQ(out, expected);
}

TEST(CLI_Display, WritesNoProgressWhenOutputIsNotATerminal) {
  testing::internal::CaptureStdout();
  {
    CLI_Display d;
    d.update_progress(0.5, "x");
    d.update_spinner(true, "Downloading");
    d.update_spinner(false, nullptr);
    d.display_progress(false);
    d.message(UpdaterDisplayInterface::LEVEL_INFO, "still here");
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "still here\n");
}

TEST(CLI_Display, ErrorsGoToStandardError) {
  testing::internal::CaptureStderr();
  CLI_Display d;
  d.message(UpdaterDisplayInterface::LEVEL_ERROR, "bad %s", "thing");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "bad thing\n");
}

TEST(Log, WritesOnlyEnabledPackagesAndPackageZero) {
  const uint32_t saved = Log::package_bitmask;
  FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);

  Log::SetOutput(nullptr);
  Log::log(0, "before output is set\n");
  Log::SetOutput(sink);
  Log::DeactivatePackage(0xFFFFFFFF);
  Log::log(0, "always %d\n", 1);
  Log::log(DEBUG_ServerComm, "hidden\n");
  Log::ActivatePackage(DEBUG_ServerComm | DEBUG_APP);
  Log::log(DEBUG_ServerComm, "server\n");
  Log::DeactivatePackage(DEBUG_ServerComm);
  Log::log(DEBUG_ServerComm, "hidden again\n");
  Log::log(DEBUG_APP, "%s", std::string(3000, 'y').c_str());
  Log::SetOutput(nullptr);

  std::rewind(sink);
  std::string text(8192, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), sink));
  std::fclose(sink);
  Log::DeactivatePackage(0xFFFFFFFF);
  Log::ActivatePackage(saved);

  EXPECT_EQ(text, "always 1\nserver\n" + std::string(2047, 'y'));
}
