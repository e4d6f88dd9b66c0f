/* Operations on one Windows service, given by its key name, through the
 * Service Control Manager. Each call opens the handles it needs, does one
 * job and closes them before it returns (the last opened first); no handle
 * or buffer outlives a call. Most return 0 for success, otherwise a Win32
 * error code, which is then also the calling thread's last-error value. The
 * install, reconfigure and configuration-read operations instead return 0
 * or a stage number (SERVICE_STAGE_...), with the Win32 code in their error
 * out-parameter and as the last error. A null service name is refused with
 * ERROR_INVALID_PARAMETER before any other check and before anything is
 * opened, and a name over 256 characters (which no manager holds) with
 * ERROR_INVALID_NAME.
 *
 * An optional setting that the platform refuses without a code gives
 * ERROR_NOT_SUPPORTED, never 0.
 *
 * Every operation also comes in a wide form, named with a W at the end, that
 * takes UTF-16 strings (and fills UTF-16 buffers, counted in WCHARs) and
 * otherwise does and returns exactly what its ANSI form does. */
#ifndef SERVICE_CONTROL_H
#define SERVICE_CONTROL_H

#include <windows.h>

/* How a program calls the module: in the C calling convention, whatever its
 * own default (MSVC's /Gz makes it stdcall), and through the import table of
 * service_control.dll where SERVICE_CONTROL_DLL is defined, as the
 * ServiceControlDll package does. */
#if defined(_WIN32) && defined(SERVICE_CONTROL_DLL)
#define SERVICE_CONTROL_API __declspec(dllimport) __cdecl
#elif defined(_WIN32)
#define SERVICE_CONTROL_API __cdecl
#else
#define SERVICE_CONTROL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* StartServiceAndWait starts the service and waits while it starts; returns 0 or a code.
 * It pauses a tenth of the wait hint (1 to 10 s) between queries and gives up once the check point
 * has not risen for longer than the hint. The result is 0 or the code of the failed platform call;
 * it writes 1 to *notRunning (when not null) if the wait ended in any state but SERVICE_RUNNING,
 * never 0. */
DWORD SERVICE_CONTROL_API StartServiceAndWait(const char *serviceName, DWORD *notRunning);
DWORD SERVICE_CONTROL_API StartServiceAndWaitW(const wchar_t *serviceName, DWORD *notRunning);

/* StartServiceAndPoll starts the service and polls until it runs; returns 0 or a code.
 * It queries every 100 ms, at most 100 times. The result is 0, the code of the failed platform
 * call, or ERROR_SERVICE_NOT_ACTIVE (1062) if it is not running at the end. */
DWORD SERVICE_CONTROL_API StartServiceAndPoll(const char *serviceName);
DWORD SERVICE_CONTROL_API StartServiceAndPollW(const wchar_t *serviceName);

/* StopServiceAndWait stops the service and polls until it has stopped; returns 0 or a code.
 * It sends SERVICE_CONTROL_STOP unless the service is stopped, then queries every 500 ms, at most
 * 50 times. The result is 0, the code of a platform call that failed before the wait, or
 * ERROR_SERVICE_REQUEST_TIMEOUT (1053) if it is not stopped at the end, which is also the result
 * when a status query inside the wait fails. */
DWORD SERVICE_CONTROL_API StopServiceAndWait(const char *serviceName);
DWORD SERVICE_CONTROL_API StopServiceAndWaitW(const wchar_t *serviceName);

/* ControlServiceAndWaitStopped sends control 103 and waits as a stop; returns 0 or a code.
 * It is StopServiceAndWait with control code 103 in place of the stop control, and returns as
 * StopServiceAndWait does. */
DWORD SERVICE_CONTROL_API ControlServiceAndWaitStopped(const char *serviceName);
DWORD SERVICE_CONTROL_API ControlServiceAndWaitStoppedW(const wchar_t *serviceName);

/* SendServiceControl sends one control code without waiting; returns 0 or a code.
 * It asks through a handle that holds only SERVICE_QUERY_STATUS and SERVICE_USER_DEFINED_CONTROL,
 * so a control that needs another right (a stop) is refused with ERROR_ACCESS_DENIED. */
DWORD SERVICE_CONTROL_API SendServiceControl(const char *serviceName, DWORD control);
DWORD SERVICE_CONTROL_API SendServiceControlW(const wchar_t *serviceName, DWORD control);

/* QueryServiceState fills *status with the service's status; returns 0 or a code.
 * The code is that of the failed platform call; a null status is refused with
 * ERROR_INVALID_PARAMETER. *status is written only by a successful query. */
DWORD SERVICE_CONTROL_API QueryServiceState(const char *serviceName, SERVICE_STATUS *status);
DWORD SERVICE_CONTROL_API QueryServiceStateW(const wchar_t *serviceName, SERVICE_STATUS *status);

/* QueryServiceStateEx fills *status with the status and process id; returns 0 or a code.
 * As QueryServiceState, with the platform's SERVICE_STATUS_PROCESS: its process id is 0 while the
 * service is stopped. */
DWORD SERVICE_CONTROL_API QueryServiceStateEx(const char *serviceName,
                                              SERVICE_STATUS_PROCESS *status);
DWORD SERVICE_CONTROL_API QueryServiceStateExW(const wchar_t *serviceName,
                                               SERVICE_STATUS_PROCESS *status);

/* The steps of an update, each within a deadline of the caller's
 * (timeoutMs from the call, INFINITE for none), with the module's rule that
 * a nonzero result is also the last error. A service's process is watched
 * through a handle where the caller may open it (SYNCHRONIZE), and through
 * the process list where it may not: the stops never need a right on it.
 * Their waits return within milliseconds of the change that they wait for:
 * the platform's notifications of the service's status
 * (NotifyServiceStatusChangeW) wake them in an alertable wait of the calling
 * thread, so an APC that the caller has queued to that thread may run during
 * the call; where notifications cannot be had, the status is queried at a
 * pace from 4 ms up to a tenth of the wait hint (100 ms at most). The
 * platform may still write a notification's record, and queue its callback,
 * after the call has closed the handle that asked for it: so the records lie
 * in a pool of the module's that lasts as long as the process (64 of them;
 * a wait that finds none free queries at a pace), each taken for one wait
 * and given back after it, and a late write into one only wakes a later
 * wait once more. A callback that comes after the call runs in the caller's
 * next alertable wait and touches nothing but its record. */

/* StopServiceAndWaitForExit stops the service until its process exits; returns 0 or a code.
 * It stops the service unless it is stopped (one that is stopping is only waited for) and waits
 * until it reports that it stopped and then until its process has exited, which may be later, so
 * that its program can be replaced. A process that exits without reporting that the service stopped
 * (a crash in its stop, a kill) counts as stopped, though the manager may still show it stop-
 * pending, and one that had exited before the call is sent no stop. The process of a service that
 * shares it with others (SERVICE_WIN32_SHARE_PROCESS) is not waited for. The result is 0 (at once
 * for a stopped service), ERROR_SERVICE_REQUEST_TIMEOUT (1053) if it has not stopped by the
 * deadline, WAIT_TIMEOUT (258) if it has stopped but its process was still there at the deadline,
 * or the code of the failed platform call (ERROR_DEPENDENT_SERVICES_RUNNING while others that
 * depend on it run). */
DWORD SERVICE_CONTROL_API StopServiceAndWaitForExit(const char *serviceName, DWORD timeoutMs);
DWORD SERVICE_CONTROL_API StopServiceAndWaitForExitW(const wchar_t *serviceName, DWORD timeoutMs);

/* DeleteServiceAndWaitGone deletes the service until it is gone; returns 0 or a code.
 * It deletes the service (or takes one already marked for deletion), closes its own handles and
 * waits until the manager no longer knows it, which is once it has stopped and nobody holds a
 * handle to it: the name can then be installed again. A running service stays registered until it
 * stops, so stop it first: otherwise the call waits to its deadline (with INFINITE, until someone
 * stops it). The result is 0 once it is gone (at once for a name that opens no service, which
 * includes a display name: such a name may still be one that cannot be installed,
 * ERROR_DUPLICATE_SERVICE_NAME), ERROR_SERVICE_MARKED_FOR_DELETE (1072) if it is still registered
 * at the deadline, or the code of the failed platform call. */
DWORD SERVICE_CONTROL_API DeleteServiceAndWaitGone(const char *serviceName, DWORD timeoutMs);
DWORD SERVICE_CONTROL_API DeleteServiceAndWaitGoneW(const wchar_t *serviceName, DWORD timeoutMs);

/* StopServiceWithDependents stops the dependents, then the service; returns 0 or a code.
 * It stops the running services that depend on the service, in the platform's order (the reverse of
 * their starts), then the service, each as StopServiceAndWaitForExit does, and writes the names of
 * the dependents that it stopped (one that was stopping already counts) to stoppedDependents as a
 * list closed by two zeros, which never cuts a name, for StartServiceWithDependents. A dependent
 * that starts meanwhile is stopped too (at most three rounds). It returns as
 * StopServiceAndWaitForExit; a null list is refused with ERROR_INVALID_PARAMETER, and a list of
 * size characters (WCHARs in the wide form) that cannot hold the names with
 * ERROR_INSUFFICIENT_BUFFER: before anything is stopped, with the list untouched, when the first
 * round's names do not fit, and after a later round's, or any other failure, with the list holding
 * the names stopped so far. */
DWORD SERVICE_CONTROL_API StopServiceWithDependents(const char *serviceName, DWORD timeoutMs,
                                                    char *stoppedDependents, DWORD size);
DWORD SERVICE_CONTROL_API StopServiceWithDependentsW(const wchar_t *serviceName, DWORD timeoutMs,
                                                     wchar_t *stoppedDependents, DWORD size);

/* StartServiceWithDependents starts the service, then its dependents; returns 0 or a code.
 * It starts the service and waits while it is start-pending, as StartServiceAndWait does, then
 * starts the dependents of the list (as StopServiceWithDependents writes it, closed by two zeros;
 * null or empty for none) from its last name to its first, each the same way; a dependent that runs
 * already will do, and one that is starting already is waited for. An updater is better served by
 * the record of StopServicesForUpdate. The result is 0 once all of them run,
 * ERROR_SERVICE_REQUEST_TIMEOUT if one was still starting at the deadline, ERROR_SERVICE_NOT_ACTIVE
 * (1062) if one ended its wait in another state, or the code of the failed platform call; it stops
 * at the first failure. */
DWORD SERVICE_CONTROL_API StartServiceWithDependents(const char *serviceName,
                                                     const char *dependents, DWORD timeoutMs);
DWORD SERVICE_CONTROL_API StartServiceWithDependentsW(const wchar_t *serviceName,
                                                      const wchar_t *dependents, DWORD timeoutMs);

/* Flags of StopServicesForUpdate. SERVICE_UPDATE_HOLD_STOPPED sets each
 * recorded service to SERVICE_DISABLED before it is stopped, so that nothing
 * (a failure action, a watchdog, a user) starts the old program during the
 * update. SERVICE_UPDATE_KILL_AT_DEADLINE (which holds too) ends, at the
 * deadline, the processes of the services that have not exited, and then
 * waits SERVICE_UPDATE_KILL_GRACE_MS at most for them to be gone, ending
 * again at each round what they started meanwhile; for the kill alone it
 * enables the SeDebugPrivilege where the caller holds it (an elevated
 * administrator does, disabled), which ending a LocalSystem service's
 * process takes, on a token of the thread's own that it then drops.
 * SERVICE_UPDATE_WAIT_FOR_FOLDER also waits for (and with the kill ends)
 * every process whose program lies in the folder of the service's program
 * or below it, found by its image path: a helper whose parent has long
 * gone, a tray program of the product. It is refused with
 * ERROR_INVALID_PARAMETER, before anything is touched, for a service that
 * shares its process or whose program lies at a drive's root or under the
 * Windows folder. */
#define SERVICE_UPDATE_HOLD_STOPPED 0x1u
#define SERVICE_UPDATE_KILL_AT_DEADLINE 0x2u
#define SERVICE_UPDATE_WAIT_FOR_FOLDER 0x4u
#define SERVICE_UPDATE_KILL_GRACE_MS 3000u

/* RecordServicesForUpdate records what runs, for a stop for an update; returns 0 or a code.
 * It records the service and its running dependents in record and changes nothing, so that the
 * caller can keep the record before anything is held, stopped or ended: a line of printable
 * characters closed by a zero, which tells its own length and checksum, so that a cut or altered
 * one is refused whole. For each it holds the name, whether it ran and its start type, and with
 * SERVICE_UPDATE_KILL_AT_DEADLINE its failure actions, their reset period and their flag, where the
 * platform reads them back; where it does not (Wine), the record says so, and the stop then leaves
 * them alone, so that a kill there may run them (Wine runs none). It holds the flags too, for
 * StopServicesAsRecorded. *recordSize is in characters (WCHARs in the wide form): the buffer's size
 * on the way in, then the characters written with the zero, or those needed. The result is 0 or the
 * code of the failed platform call (ERROR_SERVICE_DOES_NOT_EXIST: nothing recorded); refused: a
 * null name or size, a null record with a size, an unknown flag, or with
 * SERVICE_UPDATE_WAIT_FOR_FOLDER a service whose folder may not be waited for
 * (ERROR_INVALID_PARAMETER), and a record that does not fit (ERROR_INSUFFICIENT_BUFFER, with the
 * size it needs). */
DWORD SERVICE_CONTROL_API RecordServicesForUpdate(const char *serviceName, DWORD flags,
                                                  char *record, DWORD *recordSize);
DWORD SERVICE_CONTROL_API RecordServicesForUpdateW(const wchar_t *serviceName, DWORD flags,
                                                   wchar_t *record, DWORD *recordSize);

/* StopServicesAsRecorded stops for an update what a record names; returns 0 or a code.
 * It takes a record of RecordServicesForUpdate and, as its flags ask, holds each service disabled
 * (and takes its kept failure actions away) before anything stops, then stops the dependents in the
 * record's order and the service, each until no process of it runs, within the one deadline, as
 * StopServicesForUpdate says; it writes the marks of what it ended into the record in place, at the
 * same length. Before anything changes it opens every service and, with
 * SERVICE_UPDATE_WAIT_FOR_FOLDER, finds its folder. A dependent that started since the record is
 * not in it, and the service's stop then gives ERROR_DEPENDENT_SERVICES_RUNNING. It returns as
 * StopServicesForUpdate; a null record gives ERROR_INVALID_PARAMETER, and one that is not whole
 * ERROR_INVALID_DATA, before anything is touched. */
DWORD SERVICE_CONTROL_API StopServicesAsRecorded(char *record, DWORD timeoutMs);
DWORD SERVICE_CONTROL_API StopServicesAsRecordedW(wchar_t *record, DWORD timeoutMs);

/* StopServicesForUpdate records what runs and stops it for an update; returns 0 or a code.
 * It is RecordServicesForUpdate and then StopServicesAsRecorded in one call: the record exists only
 * in the caller's memory until it returns, so an updater that must survive its own end records
 * first and keeps the record, then stops. It stops the dependents in the platform's order and the
 * service, each until no process of it runs, within the one deadline: its own, and every process
 * that one of them started, before the stop or during the wait (found by parent id in the process
 * list, read again every 500 ms, and created while that parent ran). The calling process, its
 * descendants and the processes between the service's process and it (an updater that the service
 * started) are never waited for or ended, so that a service can update itself; nor is a process
 * that others share (SERVICE_WIN32_SHARE_PROCESS), or one whose id another took. The record notes
 * each service whose processes it ended. The result is 0 once every recorded service has stopped,
 * or was ended, and no process of it is left, so that the files can be replaced;
 * ERROR_SERVICE_REQUEST_TIMEOUT if one had not stopped by the deadline, WAIT_TIMEOUT if its
 * processes were still there, or the code of the failed platform call; whatever it returns after
 * recording, the record stays valid for the restore. It is refused as RecordServicesForUpdate is,
 * before anything is stopped, and the record then says nothing: the buffer is left as it was. */
DWORD SERVICE_CONTROL_API StopServicesForUpdate(const char *serviceName, DWORD timeoutMs,
                                                DWORD flags, char *record, DWORD *recordSize);
DWORD SERVICE_CONTROL_API StopServicesForUpdateW(const wchar_t *serviceName, DWORD timeoutMs,
                                                 DWORD flags, wchar_t *record, DWORD *recordSize);

/* RestoreServicesAfterUpdate puts back what a record says ran; returns 0 or a code.
 * It checks the record whole (its length and checksum; each start type one of a program's, 2, 3 or
 * 4; each name one that a manager holds, and given once) and opens every service before anything is
 * touched. A service still stopping, its stop cut short by the end of its updater, is first waited
 * for until it and its processes are gone, within the deadline, and ended then where the record's
 * flags asked for the kill. Then it puts back each start type and the failure actions that the
 * record kept, then starts the services that ran, the service first and then its dependents in the
 * reverse of their stop, each until it runs (one that is starting is waited for, one that runs will
 * do; one that ran although disabled is started with a demand start and disabled again), within a
 * second deadline as long as the first. Called twice with one record, the second call finds all as
 * recorded and returns 0. Records of version 1 (SCU1), which tell no length, are read too. The
 * result is 0, ERROR_SERVICE_REQUEST_TIMEOUT if one was still stopping or starting at its deadline
 * (one still stopping, with nothing put back), WAIT_TIMEOUT if its processes were still there,
 * ERROR_SERVICE_NOT_ACTIVE if one ended its start in another state, or the code of the failed
 * platform call; a null record gives ERROR_INVALID_PARAMETER, and one that is not whole, or fails a
 * check, ERROR_INVALID_DATA, before anything is touched. */
DWORD SERVICE_CONTROL_API RestoreServicesAfterUpdate(const char *record, DWORD timeoutMs);
DWORD SERVICE_CONTROL_API RestoreServicesAfterUpdateW(const wchar_t *record, DWORD timeoutMs);

/* A process whose program lies in a folder, as ListFolderProcesses writes
 * it: its id, its parent's id and its program's path (cut to MAX_PATH - 1
 * characters, never inside a character). */
typedef struct SERVICE_FOLDER_PROCESSA {
  DWORD processId;
  DWORD parentProcessId;
  char program[MAX_PATH];
} SERVICE_FOLDER_PROCESSA;
typedef struct SERVICE_FOLDER_PROCESSW {
  DWORD processId;
  DWORD parentProcessId;
  wchar_t program[MAX_PATH];
} SERVICE_FOLDER_PROCESSW;

/* ListFolderProcesses lists the processes that run a folder's programs; returns 0 or a code.
 * It writes to processes the processes whose program lies in folder or below it, which hold its
 * files, found by their image path as SERVICE_UPDATE_WAIT_FOR_FOLDER finds them (one that the
 * caller may not open with PROCESS_QUERY_LIMITED_INFORMATION is not listed). *count is in records:
 * the buffer's on the way in, then those written or needed. The result is 0,
 * ERROR_INSUFFICIENT_BUFFER with the count needed and the records that fit, ERROR_INVALID_PARAMETER
 * for a null folder or count, a null list with a count, or a folder of MAX_PATH characters or more,
 * or the code of the failed call. */
DWORD SERVICE_CONTROL_API ListFolderProcesses(const char *folder,
                                              SERVICE_FOLDER_PROCESSA *processes, DWORD *count);
DWORD SERVICE_CONTROL_API ListFolderProcessesW(const wchar_t *folder,
                                               SERVICE_FOLDER_PROCESSW *processes, DWORD *count);

/* Stage results of the install operations and ReadServiceConfig; the Win32
 * code goes to their error out-parameter (0 on success). A null required
 * argument gives SERVICE_STAGE_OPEN_MANAGER with ERROR_INVALID_PARAMETER,
 * before anything is opened. */
#define SERVICE_STAGE_OPEN_MANAGER 1u
#define SERVICE_STAGE_OPEN_SERVICE 2u
#define SERVICE_STAGE_CREATE_SERVICE 8u
#define SERVICE_STAGE_READ_CONFIG 9u
#define SERVICE_STAGE_ALLOCATE 10u
#define SERVICE_STAGE_CHANGE_CONFIG 11u

/* InstallServiceQuoted installs the service with its path quoted; returns 0 or a stage.
 * It wraps the path in double quotes in the caller's buffer (which must hold its length plus 3
 * bytes, or WCHARs in the wide form) once the manager is open, then creates the service; empty (or
 * null) dependencies, group, account and password are passed as null. The result is 0,
 * SERVICE_STAGE_OPEN_MANAGER or SERVICE_STAGE_CREATE_SERVICE. Refused before anything is opened,
 * the buffer untouched: a null path, name or display name (SERVICE_STAGE_OPEN_MANAGER,
 * ERROR_INVALID_PARAMETER); and with SERVICE_STAGE_CREATE_SERVICE, a service name over 256
 * characters (ERROR_INVALID_NAME), a path that does not begin with a double quote but holds one
 * before its last character (ERROR_INVALID_NAME: no file name holds one, and the added quotes would
 * not protect the rest), and a quoted form over 259 characters, which ReadServiceConfig could not
 * hand back whole (ERROR_FILENAME_EXCED_RANGE). A path that begins with a quote is the caller's own
 * quoting, a program name followed by arguments, and gets a quote at its end only where it lacks
 * one; one that ends in a backslash is refused (ERROR_INVALID_NAME), since that backslash would
 * escape the added quote and change the last argument: InstallServiceUnquoted installs such a
 * command line as it stands. */
DWORD SERVICE_CONTROL_API InstallServiceQuoted(char *path, const char *serviceName,
                                               const char *displayName, DWORD serviceType,
                                               DWORD startType, const char *dependencies,
                                               DWORD errorControl, const char *loadOrderGroup,
                                               const char *account, const char *password,
                                               DWORD *error);
DWORD SERVICE_CONTROL_API InstallServiceQuotedW(wchar_t *path, const wchar_t *serviceName,
                                                const wchar_t *displayName, DWORD serviceType,
                                                DWORD startType, const wchar_t *dependencies,
                                                DWORD errorControl, const wchar_t *loadOrderGroup,
                                                const wchar_t *account, const wchar_t *password,
                                                DWORD *error);

/* InstallServiceUnquoted installs the service with its path as it stands; returns 0 or a stage.
 * The path is the caller's choice: it is not checked, and one over 259 characters reads back cut.
 * It returns as InstallServiceQuoted, whose refusals of a null argument and an overlong name it
 * shares. */
DWORD SERVICE_CONTROL_API InstallServiceUnquoted(const char *path, const char *serviceName,
                                                 const char *displayName, DWORD serviceType,
                                                 DWORD startType, const char *dependencies,
                                                 DWORD errorControl, const char *loadOrderGroup,
                                                 const char *account, const char *password,
                                                 DWORD *error);
DWORD SERVICE_CONTROL_API InstallServiceUnquotedW(const wchar_t *path, const wchar_t *serviceName,
                                                  const wchar_t *displayName, DWORD serviceType,
                                                  DWORD startType, const wchar_t *dependencies,
                                                  DWORD errorControl, const wchar_t *loadOrderGroup,
                                                  const wchar_t *account, const wchar_t *password,
                                                  DWORD *error);

/* ReconfigureServiceQuoted changes an installed service in place; returns 0 or a stage.
 * It applies the arguments of InstallServiceQuoted to an existing service (ChangeServiceConfig); an
 * empty (or null) string or SERVICE_NO_CHANGE leaves that value as it is, and a non-empty path is
 * quoted in the caller's buffer as the install quotes it, once the service is open. The result is
 * 0, SERVICE_STAGE_OPEN_MANAGER, SERVICE_STAGE_OPEN_SERVICE, SERVICE_STAGE_CREATE_SERVICE (the
 * install's refusals of a name or a path, before anything is opened) or
 * SERVICE_STAGE_CHANGE_CONFIG, with the code in *error. */
DWORD SERVICE_CONTROL_API ReconfigureServiceQuoted(char *path, const char *serviceName,
                                                   const char *displayName, DWORD serviceType,
                                                   DWORD startType, const char *dependencies,
                                                   DWORD errorControl, const char *loadOrderGroup,
                                                   const char *account, const char *password,
                                                   DWORD *error);
DWORD SERVICE_CONTROL_API ReconfigureServiceQuotedW(
    wchar_t *path, const wchar_t *serviceName, const wchar_t *displayName, DWORD serviceType,
    DWORD startType, const wchar_t *dependencies, DWORD errorControl, const wchar_t *loadOrderGroup,
    const wchar_t *account, const wchar_t *password, DWORD *error);

/* SetServiceDescription sets the service's description; returns 0 or a code.
 * An empty description clears it. The code is that of the failed platform call; a null description
 * is refused with ERROR_INVALID_PARAMETER before anything is opened. */
DWORD SERVICE_CONTROL_API SetServiceDescription(const char *serviceName, const char *description);
DWORD SERVICE_CONTROL_API SetServiceDescriptionW(const wchar_t *serviceName,
                                                 const wchar_t *description);

/* SetServiceFailureActions sets what the manager does when it fails; returns 0 or a code.
 * It sets the actions (the platform's SC_ACTION records, used as they are; none clears them; the
 * failure count resets after resetPeriodSeconds), then whether they also apply when the service
 * stops with an error (onNonCrashFailures nonzero). The code is that of the failed platform call;
 * if the second call fails, the actions stay set and the flag keeps its old value. A reboot action
 * needs the caller's SE_SHUTDOWN_NAME privilege; null actions with a count are refused with
 * ERROR_INVALID_PARAMETER before anything is opened. */
DWORD SERVICE_CONTROL_API SetServiceFailureActions(const char *serviceName,
                                                   DWORD resetPeriodSeconds,
                                                   const SC_ACTION *actions, DWORD actionCount,
                                                   int onNonCrashFailures);
DWORD SERVICE_CONTROL_API SetServiceFailureActionsW(const wchar_t *serviceName,
                                                    DWORD resetPeriodSeconds,
                                                    const SC_ACTION *actions, DWORD actionCount,
                                                    int onNonCrashFailures);

/* SetServiceDelayedAutoStart delays an automatic start, or not; returns 0 or a code.
 * With delayed nonzero, an automatic start waits until the other automatic services have started;
 * with 0 it does not. The code is that of the failed platform call. */
DWORD SERVICE_CONTROL_API SetServiceDelayedAutoStart(const char *serviceName, int delayed);
DWORD SERVICE_CONTROL_API SetServiceDelayedAutoStartW(const wchar_t *serviceName, int delayed);

/* DeleteServiceIfStopped deletes the service, if asked only a stopped one; returns 0 or a code.
 * With stoppedOnly 1 (and only 1) it deletes only a stopped service. The result is 0,
 * ERROR_DEPENDENT_SERVICES_RUNNING (1051) for a service that is not stopped, or the code of the
 * failed call. */
DWORD SERVICE_CONTROL_API DeleteServiceIfStopped(const char *serviceName, int stoppedOnly);
DWORD SERVICE_CONTROL_API DeleteServiceIfStoppedW(const wchar_t *serviceName, int stoppedOnly);

/* DeleteServiceByName deletes the service whatever its state; returns 0 or a code.
 * The code is that of the failed platform call. */
DWORD SERVICE_CONTROL_API DeleteServiceByName(const char *serviceName);
DWORD SERVICE_CONTROL_API DeleteServiceByNameW(const wchar_t *serviceName);

/* SetServiceStartType changes the start type and nothing else; returns 0 or a code.
 * The code is that of the failed platform call; SERVICE_NO_CHANGE is refused with
 * ERROR_INVALID_PARAMETER before anything is opened. */
DWORD SERVICE_CONTROL_API SetServiceStartType(const char *serviceName, DWORD startType);
DWORD SERVICE_CONTROL_API SetServiceStartTypeW(const wchar_t *serviceName, DWORD startType);

/* The characters of ReadServiceConfig's group, dependencies and display name buffers. */
#define SERVICE_CONFIG_TEXT_CHARS 100

/* ReadServiceConfig reads the service's configuration; returns 0 or a stage.
 * It reads into the caller's values and buffers (path 260 bytes, group, dependencies and display
 * name 100 each; strings cut and terminated within them, never inside a double-byte character). The
 * dependency list comes as whole names, each closed by its zero, and one more zero after the last,
 * all within the 100: walk it name by name until an empty one. Names that do not fit are left out,
 * never cut; no dependencies give two zeros, and a platform that hands back no list at all gives a
 * zero and then a 1. The wide form counts the same sizes in WCHARs and never cuts a surrogate pair.
 * The result is 0, SERVICE_STAGE_OPEN_MANAGER, SERVICE_STAGE_OPEN_SERVICE (also, with
 * ERROR_INVALID_NAME, for a name over 256 characters, before anything is opened),
 * SERVICE_STAGE_READ_CONFIG or SERVICE_STAGE_ALLOCATE; outputs are written only on 0. */
DWORD SERVICE_CONTROL_API ReadServiceConfig(const char *serviceName, DWORD *serviceType,
                                            DWORD *startType, DWORD *errorControl, DWORD *tag,
                                            char *path, char *loadOrderGroup, char *dependencies,
                                            char *displayName, DWORD *error);
DWORD SERVICE_CONTROL_API ReadServiceConfigW(const wchar_t *serviceName, DWORD *serviceType,
                                             DWORD *startType, DWORD *errorControl, DWORD *tag,
                                             wchar_t *path, wchar_t *loadOrderGroup,
                                             wchar_t *dependencies, wchar_t *displayName,
                                             DWORD *error);

#ifdef __cplusplus
}
#endif

#endif
