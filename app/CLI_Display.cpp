#include "app/CLI_Display.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kBar[] = "=====================================================================";
constexpr int kBarWidth = sizeof kBar - 1;
static_assert(kBarWidth == 69);
constexpr int kClearWidth = 88;
constexpr const char* kSpinnerFrames[] = {".", "..", "...", "....", ".....", "....", "...", ".."};
constexpr unsigned kSpinnerFrameCount = sizeof kSpinnerFrames / sizeof kSpinnerFrames[0];

// Shared by every display, as there is only one console.
unsigned g_spinnerPosition = 0;

bool on_terminal() { return isatty(fileno(stdout)) == 1; }

void clear_line() { std::printf("\r%*s\r", kClearWidth, " "); }

}  // namespace

CLI_Display::CLI_Display() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

void CLI_Display::display_progress(bool show) {
  if (!on_terminal() || show) return;
  clear_line();
}

void CLI_Display::update_progress(double fraction, const char* label) {
  if (!on_terminal()) return;
  if (!(fraction >= 0.0)) fraction = 0.0;  // also catches NaN
  if (fraction > 1.0) fraction = 1.0;
  const bool labelled = label != nullptr && label[0] != '\0';
  int width = kBarWidth;
  if (labelled) {
    const size_t length = std::strlen(label);
    width = length >= static_cast<size_t>(kBarWidth) ? 1 : kBarWidth - static_cast<int>(length) - 4;
    if (width < 1) width = 1;
  }
  const int filled = static_cast<int>(width * fraction);
  const int percent = static_cast<int>(fraction * 100.0);
  if (labelled)
    std::printf("\r (%s) [%.*s>%*s] (%3d%% ) ", label, filled, kBar, width - filled - 1, "", percent);
  else
    std::printf("\r[%.*s>%*s] (%3d%% ) ", filled, kBar, width - filled - 1, "", percent);
}

void CLI_Display::update_spinner(bool on, const char* label) {
  if (!on_terminal()) return;
  if (!on) {
    clear_line();
    return;
  }
  const char* frame = kSpinnerFrames[g_spinnerPosition];
  if (label != nullptr && label[0] != '\0')
    std::printf("\r (%s) %s      \r", label, frame);
  else
    std::printf("\r %s      \r", frame);
  g_spinnerPosition = (g_spinnerPosition + 1) % kSpinnerFrameCount;
}

void CLI_Display::info_message(const char* text) { std::printf("%s\n", text); }

void CLI_Display::error_message(const char* text) { std::fprintf(stderr, "%s\n", text); }
