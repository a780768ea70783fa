#pragma once
// Runs a piece of code in a child process whose standard output is a pseudo-terminal, and
// answers every byte it wrote there.
#include <functional>
#include <string>

std::string RunWithTerminalOutput(const std::function<void()>& body, int timeoutMs = 10000);
