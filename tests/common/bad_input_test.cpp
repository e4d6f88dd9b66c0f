// Bad input for every operation, the same table on both platforms: names the
// manager cannot hold, values out of range, null pointers. Each gets a clear
// code or stage, the code stays the last error, and the installed service is
// left exactly as it was.
#include <gtest/gtest.h>
#include <service_control.h>

#include <functional>
#include <string>
#include <vector>

#include "service_fixture.h"

namespace {

const char kInstalled[] = "tessera_bad_input";
const DWORD kSentinel = 0xDEADBEEF;

struct Row {
  std::string what;
  // Makes the call; stage operations also hand back their error out-parameter.
  std::function<DWORD(DWORD *error)> call;
  DWORD result;
  DWORD error;  // for the stage operations; 0 for the others
};

DWORD InstallNamed(const char *name, bool quoted, DWORD start_type, DWORD *error) {
  char path[64] = "C:\\Tessera Test\\svc.exe";
  if (quoted) {
    return InstallServiceQuoted(path, name, "Tessera", SERVICE_WIN32_OWN_PROCESS, start_type, "",
                                SERVICE_ERROR_NORMAL, "", "", "", error);
  }
  return InstallServiceUnquoted(path, name, "Tessera", SERVICE_WIN32_OWN_PROCESS, start_type, "",
                                SERVICE_ERROR_NORMAL, "", "", "", error);
}

DWORD ReadConfigOf(const char *name, DWORD *start_type, DWORD *error) {
  DWORD values[3];
  char path[MAX_PATH];
  char group[100];
  char dependencies[100];
  char display[100];
  return ReadServiceConfig(name, &values[0], start_type, &values[1], &values[2], path, group,
                           dependencies, display, error);
}

// Every operation that opens a service by name, with the code a refused open gives.
void AddNameRows(std::vector<Row> *rows, const std::string &label, const std::string &name,
                 DWORD open_code) {
  struct Op {
    const char *name;
    std::function<DWORD(const char *, DWORD *)> call;
    bool staged;
  };
  // clang-format off
  const Op ops[] = {
      {"StartServiceAndWait",          [](const char *n, DWORD *) { DWORD flag = 42; return StartServiceAndWait(n, &flag); },     false},
      {"StartServiceAndPoll",          [](const char *n, DWORD *) { return StartServiceAndPoll(n); },                             false},
      {"StopServiceAndWait",           [](const char *n, DWORD *) { return StopServiceAndWait(n); },                              false},
      {"ControlServiceAndWaitStopped", [](const char *n, DWORD *) { return ControlServiceAndWaitStopped(n); },                    false},
      {"SendServiceControl",           [](const char *n, DWORD *) { return SendServiceControl(n, 200); },                         false},
      {"QueryServiceState",            [](const char *n, DWORD *) { SERVICE_STATUS status; return QueryServiceState(n, &status); }, false},
      {"DeleteServiceIfStopped",       [](const char *n, DWORD *) { return DeleteServiceIfStopped(n, 1); },                       false},
      {"DeleteServiceByName",          [](const char *n, DWORD *) { return DeleteServiceByName(n); },                             false},
      {"SetServiceStartType",          [](const char *n, DWORD *) { return SetServiceStartType(n, SERVICE_DISABLED); },           false},
      {"ReadServiceConfig",            [](const char *n, DWORD *error) { DWORD start_type; return ReadConfigOf(n, &start_type, error); }, true},
  };
  // clang-format on
  for (const Op &op : ops) {
    auto call = op.call;
    rows->push_back({std::string(op.name) + ", " + label,
                     [call, name](DWORD *error) { return call(name.c_str(), error); },
                     op.staged ? SERVICE_STAGE_OPEN_SERVICE : open_code,
                     op.staged ? open_code : 0});
  }
  for (bool quoted : {true, false}) {
    rows->push_back(
        {std::string(quoted ? "InstallServiceQuoted, " : "InstallServiceUnquoted, ") + label,
         [quoted, name](DWORD *error) {
           return InstallNamed(name.c_str(), quoted, SERVICE_DEMAND_START, error);
         },
         SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_NAME});
  }
}

std::vector<Row> BadInputRows() {
  std::vector<Row> rows;
  AddNameRows(&rows, "empty name", "", ERROR_INVALID_NAME);
  AddNameRows(&rows, "name with '/'", "tessera/bad", ERROR_INVALID_NAME);
  AddNameRows(&rows, "name with '\\'", "tessera\\bad", ERROR_INVALID_NAME);
  // Longer than any name a manager holds: refused as a name on every platform.
  AddNameRows(&rows, "257 characters", std::string(257, 't'), ERROR_INVALID_NAME);
  AddNameRows(&rows, "1000 characters", std::string(1000, 't'), ERROR_INVALID_NAME);

  for (DWORD start_type : {0u, 1u, 5u, 0x10000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    const std::string type = std::to_string(start_type);
    rows.push_back({"SetServiceStartType, start type " + type,
                    [start_type](DWORD *) { return SetServiceStartType(kInstalled, start_type); },
                    ERROR_INVALID_PARAMETER, 0});
    rows.push_back({"InstallServiceUnquoted, start type " + type,
                    [start_type](DWORD *error) {
                      return InstallNamed("tessera_bad_type", false, start_type, error);
                    },
                    SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_PARAMETER});
  }
  for (DWORD control : {0u, 11u, 127u, 256u, 0x10000u, 0xFFFFFFFFu}) {
    rows.push_back({"SendServiceControl, control " + std::to_string(control),
                    [control](DWORD *) { return SendServiceControl(kInstalled, control); },
                    ERROR_INVALID_PARAMETER, 0});
  }

  rows.push_back({"StartServiceAndWait, null name",
                  [](DWORD *) { return StartServiceAndWait(nullptr, nullptr); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"QueryServiceState, null record",
                  [](DWORD *) { return QueryServiceState(kInstalled, nullptr); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"ReadServiceConfig, null start type",
                  [](DWORD *error) { return ReadConfigOf(kInstalled, nullptr, error); },
                  SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER});
  rows.push_back({"InstallServiceQuoted, null path",
                  [](DWORD *error) {
                    return InstallServiceQuoted(nullptr, "tessera_bad_path", "Tessera",
                                                SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                nullptr, SERVICE_ERROR_NORMAL, nullptr, nullptr,
                                                nullptr, error);
                  },
                  SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER});
  rows.push_back({"InstallServiceUnquoted, empty path",
                  [](DWORD *error) {
                    return InstallServiceUnquoted("", "tessera_bad_path", "Tessera",
                                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                  "", SERVICE_ERROR_NORMAL, "", "", "", error);
                  },
                  SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_PARAMETER});
  return rows;
}

TEST(BadInput, ClearCodeAndNothingChanged) {
  BeginServiceTest();
  TestServiceBehaviour behaviour;
  InstallTestService(kInstalled, behaviour, SERVICE_DEMAND_START);
  for (const Row &row : BadInputRows()) {
    SCOPED_TRACE(row.what);
    DWORD error = kSentinel;
    SetLastError(kSentinel);
    const DWORD result = row.call(&error);
    EXPECT_EQ(result, row.result);
    if (row.error != 0) {
      EXPECT_EQ(error, row.error);
      EXPECT_EQ(GetLastError(), row.error);
    } else {
      EXPECT_EQ(GetLastError(), row.result);
    }
    EXPECT_EQ(TestServiceState(kInstalled), static_cast<DWORD>(SERVICE_STOPPED));
    DWORD start_type = 0;
    EXPECT_EQ(ReadConfigOf(kInstalled, &start_type, &error), 0u);
    EXPECT_EQ(start_type, static_cast<DWORD>(SERVICE_DEMAND_START));
  }
  for (const char *never_made : {"tessera_bad_type", "tessera_bad_path"}) {
    SERVICE_STATUS status;
    EXPECT_EQ(QueryServiceState(never_made, &status), ERROR_SERVICE_DOES_NOT_EXIST) << never_made;
  }
  RemoveTestService(kInstalled);
}

TEST(BadInput, NamesTheManagerHoldsRoundTrip) {
  BeginServiceTest();
  // Bytes above ASCII, and the longest name that install takes (one more is refused above).
  for (const std::string &name : {std::string("tessera_\xE9\xFC"), std::string(256, 't')}) {
    SCOPED_TRACE(name.size());
    SERVICE_STATUS status;
    EXPECT_EQ(QueryServiceState(name.c_str(), &status), ERROR_SERVICE_DOES_NOT_EXIST);
    DWORD error = kSentinel;
    ASSERT_EQ(InstallNamed(name.c_str(), true, SERVICE_DEMAND_START, &error), 0u);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(QueryServiceState(name.c_str(), &status), 0u);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(DeleteServiceByName(name.c_str()), 0u);
    WaitUntilGone(name.c_str());
    EXPECT_EQ(QueryServiceState(name.c_str(), &status), ERROR_SERVICE_DOES_NOT_EXIST);
  }
}

}  // namespace
