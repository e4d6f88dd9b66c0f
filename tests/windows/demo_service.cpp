// Registers, starts, reports, stops or removes the service "tessera" for the
// demo and the benchmark: the test service, by default start-pending for
// about 3 s with a rising check point, then running. stop-for-exit prints
// what StopServiceAndWaitForExit returns within a deadline of MS. cycle
// starts and stops a service RUNS times each way, and stops for an update
// RUNS times one whose child outlives it, and prints, for each, how long
// after the service's own report (or its last process's exit) the call
// returned, and the CPU time that this process spent per second waited.
// restore puts back what the record in FILE says ran, and exits with the result.
//   demo_service install [BEHAVIOUR ARGUMENTS] | start | state | stop-for-exit MS | remove
//              | cycle RUNS | restore FILE
#include <service_control.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "service_fixture.h"
#include "windows_paths.h"

namespace {

const char kName[] = "tessera";

unsigned long long Now100ns() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

unsigned long long ProcessCpu100ns() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto value = [](const FILETIME &time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return value(kernel) + value(user);
}

// When the service's log last shows state (0: its process's exit).
unsigned long long LoggedAt(const std::string &log, unsigned long state) {
  unsigned long long at = 0;
  FILE *file = std::fopen(log.c_str(), "r");
  if (file == nullptr) return 0;
  unsigned long logged;
  unsigned long long time;
  while (std::fscanf(file, "%lu %llu", &logged, &time) == 2) {
    if (logged == state) at = time;
  }
  std::fclose(file);
  return at;
}

// A start as peers wait for one: a status query every 250 ms, the first one
// phase ms after the start, so that runs see every phase of the poll.
DWORD StartAndPollEvery250Ms(const char *name, DWORD phase) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_START | SERVICE_QUERY_STATUS);
  DWORD result = StartServiceA(service, 0, nullptr) ? 0 : GetLastError();
  Sleep(phase);
  SERVICE_STATUS status = {};
  while (result == 0 && QueryServiceStatus(service, &status) &&
         status.dwCurrentState == SERVICE_START_PENDING) {
    Sleep(250);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return result;
}

struct Measure {
  const char *what;
  std::vector<double> after_ms;    // from the service's change to the return
  std::vector<double> cpu_per_s;   // CPU ms per second waited
  std::vector<double> service_ms;  // the service's own time: start to running, stop to exit
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

int Cycle(int runs) {
  TestServiceBehaviour behaviour;
  behaviour.pending_ms = 2000;
  behaviour.wait_hint = 3000;
  behaviour.stop_ms = 1000;
  behaviour.status_log = BesideThisProgram(kName) + ".status";
  InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
  Measure starts[] = {{"StartServiceWithDependents", {}, {}, {}},
                      {"a 250 ms poll (QueryServiceStatus)", {}, {}, {}},
                      {"StartServiceAndWait (paced by the hint, for reference)", {}, {}, {}}};
  Measure stops = {"StopServiceAndWaitForExit", {}, {}, {}};
  for (int run = 0; run < runs; ++run) {
    for (int way = 0; way < 3; ++way) {
      DeleteFileA(behaviour.status_log.c_str());
      const unsigned long long cpu = ProcessCpu100ns();
      const unsigned long long began = Now100ns();
      DWORD flag = 0;
      const DWORD result = way == 0   ? StartServiceWithDependents(kName, nullptr, 30000)
                           : way == 1 ? StartAndPollEvery250Ms(kName, 250 * run / runs)
                                      : StartServiceAndWait(kName, &flag);
      const unsigned long long returned = Now100ns();
      const double waited_s = (returned - began) / 1e7;
      const unsigned long long running = LoggedAt(behaviour.status_log, SERVICE_RUNNING);
      if (result != 0 || running == 0) {
        std::fprintf(stderr, "%s: %lu\n", starts[way].what, static_cast<unsigned long>(result));
        return 1;
      }
      starts[way].after_ms.push_back((static_cast<double>(returned) - running) / 1e4);
      starts[way].cpu_per_s.push_back((ProcessCpu100ns() - cpu) / 1e4 / waited_s);
      starts[way].service_ms.push_back((static_cast<double>(running) - began) / 1e4);
      const unsigned long long stop_cpu = ProcessCpu100ns();
      const unsigned long long stop_began = Now100ns();
      if (StopServiceAndWaitForExit(kName, 30000) != 0) return 1;
      const unsigned long long stop_returned = Now100ns();
      const unsigned long long exited = LoggedAt(behaviour.status_log, 0);
      if (way == 0) {
        stops.after_ms.push_back((static_cast<double>(stop_returned) - exited) / 1e4);
        stops.cpu_per_s.push_back((ProcessCpu100ns() - stop_cpu) / 1e4 /
                                  ((stop_returned - stop_began) / 1e7));
        stops.service_ms.push_back((static_cast<double>(exited) - stop_began) / 1e4);
      }
    }
  }
  std::printf("the service: start to RUNNING report | %.0f ms\n", Median(starts[0].service_ms));
  std::printf("the service: stop to its process's exit | %.0f ms\n", Median(stops.service_ms));
  for (const Measure &measure : starts) {
    std::printf("%s | %.1f ms after RUNNING | %.1f ms CPU per s waited\n", measure.what,
                Median(measure.after_ms), Median(measure.cpu_per_s));
  }
  std::printf("%s | %.1f ms after the process exited | %.1f ms CPU per s waited\n", stops.what,
              Median(stops.after_ms), Median(stops.cpu_per_s));
  RemoveTestService(kName);
  // A stop for an update that waits for a tree: the service's child, which
  // logs its exit last, exits 3 s after the service's process.
  Measure tree = {"StopServicesForUpdate, a child that outlives the service by 3 s", {}, {}, {}};
  behaviour.pending_ms = 0;
  behaviour.stop_ms = 0;
  behaviour.child_outlives_ms = 3000;
  InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
  StartTestService(kName);
  // The processor's time is counted in ticks of 10 ms or more: summed over
  // every run, it is told to a tenth of a millisecond per second.
  unsigned long long tree_cpu = 0, tree_waited = 0;
  for (int run = 0; run < runs; ++run) {
    char record[512];
    DWORD size = sizeof record;
    const unsigned long long cpu = ProcessCpu100ns();
    const unsigned long long began = Now100ns();
    const DWORD stopped =
        StopServicesForUpdate(kName, 30000, SERVICE_UPDATE_HOLD_STOPPED, record, &size);
    if (stopped != 0) {
      std::fprintf(stderr, "%s: %lu\n", tree.what, static_cast<unsigned long>(stopped));
      return 1;
    }
    const unsigned long long returned = Now100ns();
    const double child_exited = LoggedAt(behaviour.status_log, 0);
    tree.after_ms.push_back((returned - child_exited) / 1e4);
    tree_cpu += ProcessCpu100ns() - cpu;
    tree_waited += returned - began;
    const DWORD restored = RestoreServicesAfterUpdate(record, 30000);
    if (restored != 0) {
      std::fprintf(stderr, "RestoreServicesAfterUpdate: %lu\n",
                   static_cast<unsigned long>(restored));
      return 1;
    }
  }
  std::printf("%s | %.1f ms after the child exited | %.1f ms CPU per s waited, in all\n", tree.what,
              Median(tree.after_ms), tree_cpu / 1e4 / (tree_waited / 1e7));
  RemoveTestService(kName);
  DeleteFileA(behaviour.status_log.c_str());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const char *command = argc >= 2 ? argv[1] : "";
  if (std::strcmp(command, "install") == 0) {
    TestServiceBehaviour behaviour;
    behaviour.pending_ms = 3000;
    behaviour.wait_hint = 2000;
    // The arguments after the command, in the test service's own form.
    if (!ParseBehaviour(argc - 1, argv + 1, &behaviour)) {
      std::fprintf(stderr, "demo_service: bad behaviour arguments\n");
      return 2;
    }
    InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
    return 0;
  }
  if (argc == 2 && std::strcmp(command, "start") == 0) {
    StartTestService(kName);
    return 0;
  }
  if (argc == 2 && std::strcmp(command, "state") == 0) {
    std::printf("%lu\n", static_cast<unsigned long>(TestServiceState(kName)));
    return 0;
  }
  if (argc == 3 && std::strcmp(command, "stop-for-exit") == 0) {
    const DWORD deadline = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    std::printf("%lu\n", static_cast<unsigned long>(StopServiceAndWaitForExit(kName, deadline)));
    return 0;
  }
  if (argc == 3 && std::strcmp(command, "cycle") == 0) return Cycle(std::atoi(argv[2]));
  if (argc == 3 && std::strcmp(command, "restore") == 0) {
    // The record that StopServicesForUpdate wrote, as a file keeps it: one line.
    char record[4096] = "";
    FILE *saved = std::fopen(argv[2], "r");
    if (saved == nullptr || std::fgets(record, sizeof record, saved) == nullptr) return 2;
    std::fclose(saved);
    return static_cast<int>(RestoreServicesAfterUpdate(record, 30000));
  }
  if (argc == 2 && std::strcmp(command, "remove") == 0) {
    RemoveTestService(kName);
    return 0;
  }
  std::fprintf(stderr,
               "usage: demo_service install [BEHAVIOUR ARGUMENTS] | start | state | "
               "stop-for-exit MS | remove | cycle RUNS | restore FILE\n");
  return 2;
}
