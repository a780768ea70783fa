#pragma once
// A display that remembers every call, for tests of code that reports through one.
#include <string>
#include <vector>

#include "app/UpdaterDisplayInterface.h"

class CaptureDisplay : public UpdaterDisplayInterface {
 public:
  void display_progress(bool show) override { events.push_back(show ? "progress:on" : "progress:off"); }
  void update_progress(double fraction, const char*) override {
    events.push_back("progress:" + std::to_string(static_cast<int>(fraction * 100)));
  }
  void update_spinner(bool on, const char* label) override {
    events.push_back(std::string("spinner:") + (on ? (label ? label : "") : "off"));
  }
  void info_message(const char* text) override { info.emplace_back(text); }
  void error_message(const char* text) override { errors.emplace_back(text); }

  std::vector<std::string> info;
  std::vector<std::string> errors;
  std::vector<std::string> events;
};
