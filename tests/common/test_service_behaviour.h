// How a test service behaves: one description that the real test service
// reads from its command line and the host tests turn into a stand-in script.
#ifndef TEST_SERVICE_BEHAVIOUR_H
#define TEST_SERVICE_BEHAVIOUR_H

#include <windows.h>

#include <string>

enum class CheckPoints { kRising, kFlat, kFalling };

struct TestServiceBehaviour {
  DWORD pending_ms = 0;  // how long it stays start-pending
  DWORD wait_hint = 0;
  CheckPoints check_points = CheckPoints::kRising;
  DWORD end_state = SERVICE_RUNNING;  // after starting: running, or stopped again
  DWORD exit_code = 0;                // when it stops again
  DWORD stop_ms = 0;                  // how long a stop takes; INFINITE never
  DWORD linger_ms = 0;                // how long its process stays after it stopped
  bool crashes_on_stop = false;       // its process ends at the stop's end, unreported
  DWORD child_outlives_ms = 0;        // a child that it starts stays this long after it; 0 none
  DWORD child_spawns_every_ms = 0;    // that child starts a grandchild this often; 0 never
  DWORD controls_accepted = SERVICE_ACCEPT_STOP;
  std::string control_log;  // file that receives each control code, one a line
  // File that receives each status it reports, and its process's exit (0),
  // with the system time in 100 ns: "STATE TIME", one a line.
  std::string status_log;
};

// A pending service reports its status this often.
const DWORD kReportIntervalMs = 250;

// The check point reported at the nth report (from 0) of a start-pending phase
// that lasts reports reports.
DWORD CheckPointAt(CheckPoints pattern, DWORD nth, DWORD reports);

// The behaviour as command-line arguments for the test service.
std::string BehaviourArguments(const TestServiceBehaviour &behaviour);

// Reads the arguments back; false for anything it does not understand.
bool ParseBehaviour(int argc, char **argv, TestServiceBehaviour *behaviour);

#endif
