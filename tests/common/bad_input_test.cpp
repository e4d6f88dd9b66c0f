// Bad input for every operation, the same table on both platforms: names the
// manager cannot hold, values out of range, null pointers. Each gets a clear
// code or stage, the code stays the last error, and the installed service is
// left exactly as it was. Both tables run for the ANSI and the wide form.
#include <gtest/gtest.h>
#include <service_control.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "module_forms.h"
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

DWORD InstallNamed(const ModuleForm &form, const char *name, bool quoted, DWORD start_type,
                   DWORD *error, const char *given = "C:\\Tessera Test\\svc.exe") {
  char path[64];
  std::snprintf(path, sizeof path, "%s", given);
  if (quoted) {
    return form.install_quoted(path, name, "Tessera", SERVICE_WIN32_OWN_PROCESS, start_type, "",
                               SERVICE_ERROR_NORMAL, "", "", "", error);
  }
  return form.install_unquoted(path, name, "Tessera", SERVICE_WIN32_OWN_PROCESS, start_type, "",
                               SERVICE_ERROR_NORMAL, "", "", "", error);
}

DWORD Reconfigure(const ModuleForm &form, const char *name, DWORD start_type, DWORD *error,
                  const std::string &path = "") {
  std::string buffer = path + std::string(3, '\0');
  return form.reconfigure_quoted(&buffer[0], name, "", SERVICE_NO_CHANGE, start_type, "",
                                 SERVICE_NO_CHANGE, "", "", "", error);
}

DWORD ReadConfigOf(const ModuleForm &form, const char *name, DWORD *start_type, DWORD *error) {
  DWORD values[3];
  char path[MAX_PATH];
  char group[100];
  char dependencies[100];
  char display[100];
  return form.read_config(name, &values[0], start_type, &values[1], &values[2], path, group,
                          dependencies, display, error);
}

// Every operation that opens a service by name, with the code a refused open gives.
void AddNameRows(const ModuleForm &f, std::vector<Row> *rows, const std::string &label,
                 const std::string &name, DWORD open_code) {
  struct Op {
    const char *name;
    std::function<DWORD(const ModuleForm &, const char *, DWORD *)> call;
    bool staged;
  };
  // clang-format off
  const Op ops[] = {
      {"StartServiceAndWait",          [](const ModuleForm &m, const char *n, DWORD *) { DWORD flag = 42; return m.start_and_wait(n, &flag); },     false},
      {"StartServiceAndPoll",          [](const ModuleForm &m, const char *n, DWORD *) { return m.start_and_poll(n); },                             false},
      {"StopServiceAndWait",           [](const ModuleForm &m, const char *n, DWORD *) { return m.stop_and_wait(n); },                              false},
      {"ControlServiceAndWaitStopped", [](const ModuleForm &m, const char *n, DWORD *) { return m.control_and_wait_stopped(n); },                    false},
      {"SendServiceControl",           [](const ModuleForm &m, const char *n, DWORD *) { return m.send_control(n, 200); },                         false},
      {"QueryServiceState",            [](const ModuleForm &m, const char *n, DWORD *) { SERVICE_STATUS status; return m.query_state(n, &status); }, false},
      {"DeleteServiceIfStopped",       [](const ModuleForm &m, const char *n, DWORD *) { return m.delete_if_stopped(n, 1); },                       false},
      {"DeleteServiceByName",          [](const ModuleForm &m, const char *n, DWORD *) { return m.delete_by_name(n); },                             false},
      {"SetServiceStartType",          [](const ModuleForm &m, const char *n, DWORD *) { return m.set_start_type(n, SERVICE_DISABLED); },           false},
      {"ReadServiceConfig",            [](const ModuleForm &m, const char *n, DWORD *error) { DWORD start_type; return ReadConfigOf(m, n, &start_type, error); }, true},
      {"SetServiceDescription",        [](const ModuleForm &m, const char *n, DWORD *) { return m.set_description(n, "Tessera"); },                 false},
      {"SetServiceFailureActions",     [](const ModuleForm &m, const char *n, DWORD *) { return m.set_failure_actions(n, 0, nullptr, 0, 0); },     false},
      {"SetServiceDelayedAutoStart",   [](const ModuleForm &m, const char *n, DWORD *) { return m.set_delayed_auto_start(n, 1); },                  false},
      {"StopServiceAndWaitForExit",    [](const ModuleForm &m, const char *n, DWORD *) { return m.stop_and_wait_for_exit(n, 1000); },               false},
      {"DeleteServiceAndWaitGone",     [](const ModuleForm &m, const char *n, DWORD *) { return m.delete_and_wait_gone(n, 1000); },                 false},
      {"StopServiceWithDependents",    [](const ModuleForm &m, const char *n, DWORD *) { char list[100]; return m.stop_with_dependents(n, 1000, list, 100); }, false},
      {"StartServiceWithDependents",   [](const ModuleForm &m, const char *n, DWORD *) { return m.start_with_dependents(n, "", 1000); },            false},
      {"StopServicesForUpdate",        [](const ModuleForm &m, const char *n, DWORD *) { char record[64]; DWORD size = 64; return m.stop_for_update(n, 1000, 0, record, &size); }, false},
  };
  // clang-format on
  for (const Op &op : ops) {
    auto call = op.call;
    rows->push_back({std::string(op.name) + ", " + label,
                     [&f, call, name](DWORD *error) { return call(f, name.c_str(), error); },
                     op.staged ? SERVICE_STAGE_OPEN_SERVICE : open_code,
                     op.staged ? open_code : 0});
  }
  for (bool quoted : {true, false}) {
    rows->push_back(
        {std::string(quoted ? "InstallServiceQuoted, " : "InstallServiceUnquoted, ") + label,
         [&f, quoted, name](DWORD *error) {
           return InstallNamed(f, name.c_str(), quoted, SERVICE_DEMAND_START, error);
         },
         SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_NAME});
  }
  // Refused as the install refuses an overlong name, and otherwise where the service is opened.
  rows->push_back({"ReconfigureServiceQuoted, " + label,
                   [&f, name](DWORD *error) { return Reconfigure(f, name.c_str(), 3, error); },
                   name.size() > 256 ? SERVICE_STAGE_CREATE_SERVICE : SERVICE_STAGE_OPEN_SERVICE,
                   ERROR_INVALID_NAME});
}

std::vector<Row> BadInputRows(const ModuleForm &f) {
  std::vector<Row> rows;
  AddNameRows(f, &rows, "empty name", "", ERROR_INVALID_NAME);
  AddNameRows(f, &rows, "name with '/'", "tessera/bad", ERROR_INVALID_NAME);
  AddNameRows(f, &rows, "name with '\\'", "tessera\\bad", ERROR_INVALID_NAME);
  // Longer than any name a manager holds: refused as a name on every platform.
  AddNameRows(f, &rows, "257 characters", std::string(257, 't'), ERROR_INVALID_NAME);
  AddNameRows(f, &rows, "1000 characters", std::string(1000, 't'), ERROR_INVALID_NAME);

  for (DWORD start_type : {0u, 1u, 5u, 0x10000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    const std::string type = std::to_string(start_type);
    rows.push_back({"SetServiceStartType, start type " + type,
                    [&f, start_type](DWORD *) { return f.set_start_type(kInstalled, start_type); },
                    ERROR_INVALID_PARAMETER, 0});
    if (start_type != SERVICE_NO_CHANGE) {
      rows.push_back(
          {"ReconfigureServiceQuoted, start type " + type,
           [&f, start_type](DWORD *error) { return Reconfigure(f, kInstalled, start_type, error); },
           SERVICE_STAGE_CHANGE_CONFIG, ERROR_INVALID_PARAMETER});
    }
    rows.push_back({"InstallServiceUnquoted, start type " + type,
                    [&f, start_type](DWORD *error) {
                      return InstallNamed(f, "tessera_bad_type", false, start_type, error);
                    },
                    SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_PARAMETER});
  }
  for (DWORD control : {0u, 11u, 127u, 256u, 0x10000u, 0xFFFFFFFFu}) {
    rows.push_back({"SendServiceControl, control " + std::to_string(control),
                    [&f, control](DWORD *) { return f.send_control(kInstalled, control); },
                    ERROR_INVALID_PARAMETER, 0});
  }

  rows.push_back({"StartServiceAndWait, null name",
                  [&f](DWORD *) { return f.start_and_wait(nullptr, nullptr); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"QueryServiceState, null record",
                  [&f](DWORD *) { return f.query_state(kInstalled, nullptr); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"ReadServiceConfig, null start type",
                  [&f](DWORD *error) { return ReadConfigOf(f, kInstalled, nullptr, error); },
                  SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER});
  rows.push_back({"InstallServiceQuoted, null path",
                  [&f](DWORD *error) {
                    return f.install_quoted(nullptr, "tessera_bad_path", "Tessera",
                                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                            nullptr, SERVICE_ERROR_NORMAL, nullptr, nullptr,
                                            nullptr, error);
                  },
                  SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER});
  rows.push_back({"ReconfigureServiceQuoted, a path that quoted would not fit",
                  [&f](DWORD *error) {
                    return Reconfigure(f, kInstalled, SERVICE_DISABLED, error,
                                       std::string(259, 'x'));
                  },
                  SERVICE_STAGE_CREATE_SERVICE, ERROR_FILENAME_EXCED_RANGE});
  // The quotes that quoting would add could not protect the rest from being split.
  for (const char *path : {"C:\\Tessera\" Test\\svc.exe", "C:\\Tessera\" Test\\svc.exe\" x"}) {
    rows.push_back({std::string("InstallServiceQuoted, a quote inside ") + path,
                    [&f, path](DWORD *error) {
                      return InstallNamed(f, "tessera_bad_path", true, SERVICE_DEMAND_START, error,
                                          path);
                    },
                    SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_NAME});
    rows.push_back({std::string("ReconfigureServiceQuoted, a quote inside ") + path,
                    [&f, path](DWORD *error) {
                      return Reconfigure(f, kInstalled, SERVICE_DISABLED, error, path);
                    },
                    SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_NAME});
  }
  rows.push_back({"ReconfigureServiceQuoted, null name",
                  [&f](DWORD *error) { return Reconfigure(f, nullptr, SERVICE_DISABLED, error); },
                  SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER});
  rows.push_back({"StopServiceWithDependents, null list",
                  [&f](DWORD *) { return f.stop_with_dependents(kInstalled, 1000, nullptr, 100); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"StopServiceWithDependents, no room for the list's closing zeros",
                  [&f](DWORD *) {
                    char list[1];
                    return f.stop_with_dependents(kInstalled, 1000, list, 1);
                  },
                  ERROR_INSUFFICIENT_BUFFER, 0});
  // The record of an update: a null size, a null record with a size, an unknown flag.
  for (DWORD flags : {0u, 8u}) {
    rows.push_back({"StopServicesForUpdate, flags " + std::to_string(flags) + ", null record",
                    [&f, flags](DWORD *) {
                      DWORD size = 1;
                      return f.stop_for_update(kInstalled, 1000, flags, nullptr,
                                               flags == 0 ? &size : nullptr);
                    },
                    ERROR_INVALID_PARAMETER, 0});
  }
  // Not of the form, or cut: refused before anything is touched. The last count
  // runs into a letter, in a record long enough for the ten that 0A would be.
  for (const char *record :
       {"", "SCU1", "SCU1/0", "SCU1/2;R-3=tessera_bad_input", "SCU1/1;R-9=a", "SCU1/1;R-5=a",
        "SCU1/1;R-=a", "SCU1/1;X-3=a", "SCU1/1;R-3=", "SCU1/1;R-3=a%4", "SCU1/1;R-3=a%00",
        "SCU1/1;R-3=a%u00E9", "SCU1/1;R-3=a b", "SCU1/1;R-3=a;", "scu1/1;R-3=a",
        "SCU1/0A;R-3=a;R-3=a;R-3=a;R-3=a;R-3=a;R-3=a;R-3=a;R-3=a;R-3=a;R-3=a",
        // Whole or refused: cut, a driver's start type, a name twice or one no manager holds.
        "SCU2/0/1;R-2=tessera_bad_input/30", "SCU1/1;R-0=tessera_bad_input",
        "SCU1/1;R-1=tessera_bad_input", "SCU1/2;R-2=tessera_bad_input;R-2=TESSERA_BAD_INPUT",
        "SCU1/1;R-3=a%5Cb"}) {
    rows.push_back({std::string("RestoreServicesAfterUpdate, ") + record,
                    [&f, record](DWORD *) { return f.restore_after_update(record, 1000); },
                    ERROR_INVALID_DATA, 0});
  }
  rows.push_back({"ListFolderProcesses, null folder",
                  [&f](DWORD *) {
                    DWORD count = 0;
                    return f.list_folder_processes(nullptr, nullptr, &count);
                  },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"ListFolderProcesses, null list with a count",
                  [&f](DWORD *) {
                    DWORD count = 1;
                    return f.list_folder_processes("C:\\Tessera", nullptr, &count);
                  },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"RestoreServicesAfterUpdate, one of two not installed: nothing touched",
                  [&f](DWORD *) {
                    return f.restore_after_update(
                        "SCU1/2;R-2=tessera_bad_input;R-3=tessera_never_installed", 1000);
                  },
                  ERROR_SERVICE_DOES_NOT_EXIST, 0});
  rows.push_back({"RestoreServicesAfterUpdate, null record",
                  [&f](DWORD *) { return f.restore_after_update(nullptr, 1000); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"SetServiceDescription, null description",
                  [&f](DWORD *) { return f.set_description(kInstalled, nullptr); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"SetServiceFailureActions, null actions with a count",
                  [&f](DWORD *) { return f.set_failure_actions(kInstalled, 0, nullptr, 2, 0); },
                  ERROR_INVALID_PARAMETER, 0});
  rows.push_back({"InstallServiceUnquoted, empty path",
                  [&f](DWORD *error) {
                    return f.install_unquoted("", "tessera_bad_path", "Tessera",
                                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "",
                                              SERVICE_ERROR_NORMAL, "", "", "", error);
                  },
                  SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_PARAMETER});
  return rows;
}

class BadInput : public testing::TestWithParam<const ModuleForm *> {};

TEST_P(BadInput, ClearCodeAndNothingChanged) {
  const ModuleForm &form = *GetParam();
  BeginServiceTest();
  TestServiceBehaviour behaviour;
  InstallTestService(kInstalled, behaviour, SERVICE_DEMAND_START);
  for (const Row &row : BadInputRows(form)) {
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
    EXPECT_EQ(ReadConfigOf(form, kInstalled, &start_type, &error), 0u);
    EXPECT_EQ(start_type, static_cast<DWORD>(SERVICE_DEMAND_START));
  }
  for (const char *never_made : {"tessera_bad_type", "tessera_bad_path"}) {
    SERVICE_STATUS status;
    EXPECT_EQ(form.query_state(never_made, &status), ERROR_SERVICE_DOES_NOT_EXIST) << never_made;
  }
  RemoveTestService(kInstalled);
}

TEST_P(BadInput, NamesTheManagerHoldsRoundTrip) {
  const ModuleForm &form = *GetParam();
  BeginServiceTest();
  // Bytes above ASCII, and the longest name that install takes (one more is refused above).
  for (const std::string &name : {std::string("tessera_\xE9\xFC"), std::string(256, 't')}) {
    SCOPED_TRACE(name.size());
    SERVICE_STATUS status;
    EXPECT_EQ(form.query_state(name.c_str(), &status), ERROR_SERVICE_DOES_NOT_EXIST);
    DWORD error = kSentinel;
    ASSERT_EQ(InstallNamed(form, name.c_str(), true, SERVICE_DEMAND_START, &error), 0u);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(form.query_state(name.c_str(), &status), 0u);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(form.delete_by_name(name.c_str()), 0u);
    WaitUntilGone(name.c_str());
    EXPECT_EQ(form.query_state(name.c_str(), &status), ERROR_SERVICE_DOES_NOT_EXIST);
  }
}

INSTANTIATE_TEST_SUITE_P(BothForms, BadInput, testing::ValuesIn(kBothForms),
                         [](const testing::TestParamInfo<const ModuleForm *> &param) {
                           return std::string(param.param->suffix);
                         });

}  // namespace
