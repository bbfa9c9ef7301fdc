#pragma once

#include <chrono>
#include <functional>

// Turns the Qt event loop, so queued work can report, until `done` says so. At the deadline it
// fails the test and gives false instead of hanging.
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds deadline = std::chrono::seconds(60));
