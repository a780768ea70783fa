#pragma once
// Runs a program with captured output and a hard time limit, and makes scratch directories.
#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  bool timedOut = false;
  std::string out;
  std::string err;
};

struct ProcessOptions {
  // "NAME=value" sets, "NAME" alone removes a variable from the inherited environment.
  std::vector<std::string> env;
  std::string workingDirectory;
  int timeoutMs = 20000;
  // When non-zero, the largest file the program may write (RLIMIT_FSIZE), with SIGXFSZ ignored
  // so that a write beyond it fails instead of killing the program.
  unsigned long fileSizeLimit = 0;
};

inline ProcessOptions WithEnv(std::vector<std::string> env) {
  ProcessOptions options;
  options.env = std::move(env);
  return options;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Runs body in a forked child and answers its exit status (its return value), or 128 + signal.
int RunInChild(const std::function<int()>& body);

// Runs the updater binary under test.
ProcessResult RunUpdater(const std::vector<std::string>& args, const ProcessOptions& options = {});

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::vector<std::string> ListDirectory(const std::string& path);  // sorted, without . and ..
