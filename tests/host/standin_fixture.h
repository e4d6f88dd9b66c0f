// Shared pieces of the host tests: a fixture that starts every test on a
// fresh simulated platform, and readers of its call log.
#ifndef STANDIN_FIXTURE_H
#define STANDIN_FIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <standin.h>

#include <string>
#include <vector>

extern const char kService[];
const DWORD kSentinel = 0xDEADBEEF;

class StandinTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// The call log as "Function(arguments)" lines.
std::vector<std::string> CallLines();

// The lengths of the pauses taken, in order.
std::vector<DWORD> Pauses();

// The pauses and waits taken, in order: "Sleep(ms)", "SleepEx(ms, alertable)",
// "WaitForSingleObject(handle, ms)" and "WaitForSingleObjectEx(handle, ms, alertable)".
std::vector<std::string> Waits();

// How often function was called.
int CountCalls(const char *function);

// A service that, once started, stays start-pending at check point 1 with
// this wait hint; tests append the steps that follow.
standin::ServiceSetup PendingService(DWORD wait_hint);

// A service that is already started and running.
standin::ServiceSetup RunningService();

#endif
