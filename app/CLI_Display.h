#pragma once
#include "app/UpdaterDisplayInterface.h"

// The console: messages to stdout/stderr, bar and spinner only when stdout is a terminal.
class CLI_Display : public UpdaterDisplayInterface {
 public:
  CLI_Display();

  void display_progress(bool show) override;
  void update_progress(double fraction, const char* label) override;
  void update_spinner(bool on, const char* label) override;
  void info_message(const char* text) override;
  void error_message(const char* text) override;
};
