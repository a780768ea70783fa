#pragma once
// What the operator sees: one-line messages at two levels, a progress bar and a spinner.
#include <string>
#include <string_view>

class UpdaterDisplayInterface {
 public:
  enum Level { LEVEL_INFO = 0, LEVEL_ERROR = 1 };
  static constexpr size_t BUFFER_SIZE = 2048;

  virtual void display_progress(bool show) = 0;
  virtual void update_progress(double fraction, const char* label) = 0;
  virtual void update_spinner(bool on, const char* label) = 0;
  virtual void info_message(const char* text) = 0;
  virtual void error_message(const char* text) = 0;

  void message(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void mute_messages(bool mute) { muted = mute; }

  // Text that came from a device or a server, made safe to print: anything but printable
  // ASCII becomes '?', so a hostile name cannot send escape sequences to the terminal.
  static std::string printable(std::string_view text);

 protected:
  UpdaterDisplayInterface() = default;
  ~UpdaterDisplayInterface() = default;

  bool muted = false;
};
