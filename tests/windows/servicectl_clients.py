#!/usr/bin/python3
"""servicectl as installers and scripts run it, under Wine's manager:

    servicectl_clients.py WINE_RUN PREFIX BIN_DIR

its output and statuses (a stop until the process has exited, 1060 with the
system's text, 160 for a usage error, --json parsed as JSON); a record
kept whole by an updater killed in the middle of its stop; MSI packages,
built by wixl and run by msiexec, that install and update a service through
servicectl and fail with the status of a stop that fails; a batch file
under cmd.exe that updates a service, branching on %ERRORLEVEL%; and NSIS
installers, run silently, that install, update, and abort with the status of
a stop that fails. NSIS installers are 32-bit: left out, and said so, where
those cannot run. A Windows exit status reaches this script as its lowest
byte. Exits 77 (skipped) where servicectl itself cannot run.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WINE_RUN, PREFIX, BIN = sys.argv[1:4]
SCRIPTS = os.path.dirname(WINE_RUN)
HERE = os.path.dirname(os.path.abspath(__file__))
SERVICECTL = os.path.join(BIN, "servicectl.exe")
PROGRAM = os.path.join(BIN, "test_service.exe")
failures = []


def windows_path(path):
    """The prefix's Z: drive is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*arguments):
    return subprocess.run([WINE_RUN, PREFIX, *arguments], capture_output=True, text=True,
                          errors="replace", stdin=subprocess.DEVNULL)


def ctl(*arguments):
    return wine(SERVICECTL, *arguments)


def check(what, holds, detail=""):
    print(("ok: " if holds else "FAILED: ") + what + (f" ({detail})" if detail and not holds else ""))
    if not holds:
        failures.append(what)


def output_and_status():
    line = f'"{windows_path(PROGRAM)}" --pending-ms 0 --hint 0 --check-points rising --end running --linger-ms 1500'
    ctl("delete", "tessera-ctl", "--wait")
    done = ctl("install", "tessera-ctl", line, "--unquoted")
    check("install of a command line as it stands", done.returncode == 0, done.stderr)
    check("start", ctl("start", "tessera-ctl").returncode == 0)
    began = time.monotonic()
    done = ctl("stop", "tessera-ctl", "--timeout", "30000")
    waited = time.monotonic() - began
    check("stop returns 0 once the process has exited", done.returncode == 0 and waited >= 1.5,
          f"status {done.returncode}, {waited:.2f} s")
    check("stop says so in one line", "stopped; its process has exited" in done.stdout, done.stdout)
    ctl("delete", "tessera-ctl", "--wait")
    done = ctl("start", "tessera-ctl-absent")
    check("start of a service that is not installed exits with 1060",
          done.returncode == 1060 & 0xFF, str(done.returncode))
    check("... and gives the system's text on standard error",
          "error 1060: " in done.stderr and len(done.stderr.split("error 1060: ")[1].strip()) > 0,
          done.stderr)
    done = ctl("stop", "tessera-ctl-absent", "--timeout", "soon")
    check("a usage error exits with 160", done.returncode == 160 & 0xFF, str(done.returncode))
    done = ctl("--json", "query", "Spooler")
    try:
        parsed = json.loads(done.stdout)
        check("--json query gives one JSON object",
              parsed["command"] == "query" and parsed["result"] == 0 and "state" in parsed["data"],
              done.stdout)
    except ValueError as error:
        check("--json query gives one JSON object", False, f"{error}: {done.stdout!r}")


def one_encoding(folder):
    """In French, a failure's line on a pipe is UTF-8 whole: the service's
    name, given by a batch file (which cmd.exe reads in the OEM code page,
    850), and the system's text (which Wine gives with accents for 1058)."""
    batch = os.path.join(folder, "french.cmd")
    with open(batch, "wb") as out:
        out.write('@echo off\r\n"%~1" install fré "%~2" --start disabled >nul\r\n"%~1" start fré\r\n'
                  '"%~1" delete fré >nul\r\n'.encode("cp850"))
    done = subprocess.run([WINE_RUN, PREFIX, "cmd", "/c", windows_path(batch), windows_path(SERVICECTL),
                           windows_path(PROGRAM)], capture_output=True, stdin=subprocess.DEVNULL,
                          env=dict(os.environ, LC_ALL="fr_FR.UTF-8"))
    try:
        said = done.stderr.decode("utf-8").split("servicectl start fré: error 1058: ")[1]
    except (UnicodeDecodeError, IndexError):
        said = ""
    check("in French, a failure's line on a pipe is UTF-8, the system's text too",
          any(ord(c) > 127 for c in said), repr(done.stderr))


def batch_file(folder):
    done = wine("cmd", "/c", windows_path(os.path.join(HERE, "update_with_servicectl.cmd")),
                windows_path(SERVICECTL), windows_path(PROGRAM), windows_path(folder))
    check("a batch file updates a service with servicectl",
          done.returncode == 0 and "every step passed" in done.stdout,
          f"status {done.returncode}: {done.stdout}{done.stderr}")


def nsis_installers(folder):
    installed = os.path.join(folder, "installed")
    version2 = os.path.join(folder, "svc-version-2.exe")
    shutil.copy(PROGRAM, version2)
    with open(version2, "ab") as program:  # another program, which runs all the same
        program.write(b"version 2 of the service")

    def build(version, program, timeout, name):
        out = os.path.join(folder, name)
        subprocess.run(["makensis", "-V1", f"-DVERSION={version}", f"-DOUTFILE={out}",
                        f"-DINSTDIR={windows_path(installed)}",
                        f"-DSERVICECTL={SERVICECTL}", f"-DPROGRAM={program}",
                        f"-DTIMEOUT={timeout}", os.path.join(HERE, "update_installer.nsi")],
                       check=True, capture_output=True)
        return out

    setup1 = build(1, PROGRAM, 30000, "setup-1.exe")
    setup2 = build(2, version2, 30000, "setup-2.exe")
    setup2_short = build(2, version2, 1000, "setup-2-short.exe")
    ctl("delete", "tessera-nsis", "--wait")
    done = wine(setup1, "/S")
    check("installer version 1 installs and starts the service", done.returncode == 0 and
          "RUNNING" in ctl("query", "tessera-nsis").stdout, str(done.returncode))
    mark = os.path.join(installed, "svc.exe.ran")
    if os.path.exists(mark):
        os.remove(mark)
    done = wine(setup2, "/S")
    with open(os.path.join(installed, "svc.exe"), "rb") as program:
        replaced = program.read().endswith(b"version 2 of the service")
    check("installer version 2 stops, replaces and restores: the service runs version 2",
          done.returncode == 0 and replaced and os.path.exists(mark) and
          "RUNNING" in ctl("query", "tessera-nsis").stdout, str(done.returncode))
    # A service that never stops: version 2 with a short timeout aborts.
    hangs = f'"{windows_path(os.path.join(installed, "svc.exe"))}" --pending-ms 0 --hint 0 ' \
            "--check-points rising --end running --stop-ms 4294967295"
    ctl("reconfigure", "tessera-nsis", "--path", hangs)
    ctl("stop", "tessera-nsis")
    ctl("start", "tessera-nsis")
    done = wine(setup2_short, "/S")
    check("installer version 2 aborts with servicectl's status when the stop fails",
          done.returncode == 1053 & 0xFF, str(done.returncode))
    record = windows_path(os.path.join(folder, "end.record"))
    ctl("stop", "tessera-nsis", "--for-update", "--record", record, "--kill-at-deadline",
        "--timeout", "0")
    ctl("delete", "tessera-nsis")


def killed_updater(folder):
    """servicectl killed 2 s into a stop for an update of a hung service."""
    hangs = f'"{windows_path(PROGRAM)}" --pending-ms 0 --hint 0 --check-points rising ' \
            "--end running --stop-ms 4294967295"
    ctl("delete", "tessera-kept", "--wait")
    ctl("install", "tessera-kept", hangs, "--unquoted", "--start", "auto")
    check("a hung service to update runs", ctl("start", "tessera-kept").returncode == 0)
    record = os.path.join(folder, "kept.record")
    updater = subprocess.Popen([WINE_RUN, PREFIX, SERVICECTL, "stop", "tessera-kept", "--for-update",
                                "--record", windows_path(record), "--kill-at-deadline",
                                "--timeout", "20000"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(300):
        if os.path.exists(record) or updater.poll() is not None:
            break
        time.sleep(0.1)
    time.sleep(2)
    killed = 0
    # Wine runs servicectl.exe as a Unix process of its own, beside the
    # start.exe that waits for it; it is found by its command line.
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as command_line:
                words = command_line.read().split(b"\0")
        except OSError:
            continue
        if words[0].endswith(b"servicectl.exe") and windows_path(record).encode() in words:
            os.kill(int(entry), signal.SIGKILL)
            killed += 1
    updater.wait()
    with open(record, "rb") as kept:
        text = kept.read()
    # R-: recorded as running, and nothing ended, the updater gone first.
    check("the killed updater leaves a whole record",
          killed == 1 and text.startswith(b"SCU2/3/1;R-") and text.endswith(b"\r\n"), repr(text))
    done = ctl("restore", "--record", windows_path(record), "--timeout", "3000")
    check("restore from it exits 0, ending the hung stop", done.returncode == 0,
          f"status {done.returncode}: {done.stderr}")
    check("... with the start type back and the service running",
          "start auto" in ctl("config", "tessera-kept").stdout and
          "RUNNING" in ctl("query", "tessera-kept").stdout)
    done = ctl("stop", "tessera-kept-absent", "--for-update", "--record", windows_path(record))
    with open(record, "rb") as kept:
        unchanged = kept.read() == text
    check("a failing stop leaves the earlier record byte for byte",
          done.returncode == 1060 & 0xFF and unchanged, str(done.returncode))
    ctl("stop", "tessera-kept", "--for-update", "--record", windows_path(record),
        "--kill-at-deadline", "--timeout", "0")
    ctl("delete", "tessera-kept", "--wait")


def is_x86(program):
    """Whether a Windows program is a 32-bit x86 one (PE machine 014c)."""
    with open(program, "rb") as image:
        header = image.read(4096)
    start = int.from_bytes(header[60:64], "little")
    return header[start + 4:start + 6] == b"\x4c\x01"


def msi_packages(folder):
    """wixl's packages of update_package.wxs, run by Wine's msiexec."""
    x86 = is_x86(SERVICECTL)
    product = os.path.join(PREFIX, "drive_c", "Program Files (x86)" if x86 else "Program Files",
                           "Tessera")
    stage = os.path.join(folder, "msi")
    os.makedirs(stage)
    shutil.copy(PROGRAM, os.path.join(stage, "svc-1.exe"))
    shutil.copy(PROGRAM, os.path.join(stage, "svc-2.exe"))
    with open(os.path.join(stage, "svc-2.exe"), "ab") as program:
        program.write(b"version 2 of the service")
    shutil.copy(SERVICECTL, os.path.join(stage, "servicectl.exe"))

    def build(version, timeout):
        out = f"tessera-{version}-{timeout}.msi"
        # wixl takes the files' sources relative to the folder it runs in.
        subprocess.run(["wixl", "-a", "x86" if x86 else "x64", "-D", f"Version={version}.0.0",
                        "-D", f"Program=svc-{version}.exe", "-D", "Servicectl=servicectl.exe",
                        "-D", "ProgramFiles=" + ("ProgramFilesFolder" if x86 else "ProgramFiles64Folder"),
                        "-D", f"Timeout={timeout}", "-o", out,
                        os.path.join(HERE, "update_package.wxs")],
                       cwd=stage, check=True, capture_output=True)
        return windows_path(os.path.join(stage, out))

    def log_lines(command):
        with open(os.path.join(product, "servicectl.log"), encoding="utf-8") as log:
            return [line for line in log if f" servicectl {command} " in line]

    def remove_service():
        # Ended, even if it hangs, before it is deleted: a running one would stay marked.
        ctl("stop", "tessera-msi", "--for-update", "--kill-at-deadline", "--timeout", "0",
            "--record", windows_path(os.path.join(folder, "msi.record")))
        ctl("delete", "tessera-msi", "--wait")

    packages = {"1": build(1, 30000), "2": build(2, 30000), "2 with 1 s": build(2, 1000)}
    mark = os.path.join(product, "svc.exe.ran")
    try:
        for failing in (True, False):
            remove_service()
            wine("msiexec", "/x", packages["1"], "/qn")
            shutil.rmtree(product, ignore_errors=True)
            done = wine("msiexec", "/i", packages["1"], "/qn")
            check("MSI version 1 installs and starts the service through servicectl",
                  done.returncode == 0 and "RUNNING" in ctl("query", "tessera-msi").stdout and
                  "start auto" in ctl("config", "tessera-msi").stdout, str(done.returncode))
            if failing:
                # First an update that fails: version 2 against a service that never stops.
                hangs = f'"{windows_path(os.path.join(product, "svc.exe"))}" --pending-ms 0 ' \
                        "--hint 0 --check-points rising --end running --stop-ms 4294967295"
                ctl("reconfigure", "tessera-msi", "--path", hangs)
                ctl("stop", "tessera-msi")
                ctl("start", "tessera-msi")
                done = wine("msiexec", "/i", packages["2 with 1 s"], "/qn")
                stops = log_lines("stop")
                check("MSI version 2 fails against a service that never stops; the log says 1053",
                      done.returncode != 0 and len(stops) == 1 and " => 1053: " in stops[0],
                      f"status {done.returncode}, {stops}")
                continue
            os.remove(mark)
            done = wine("msiexec", "/i", packages["2"], "/qn")
            with open(os.path.join(product, "svc.exe"), "rb") as program:
                replaced = program.read().endswith(b"version 2 of the service")
            stops = log_lines("stop")
            check("MSI version 2 stops it for the update, replaces and restores it: version 2 runs",
                  done.returncode == 0 and replaced and os.path.exists(mark) and
                  "RUNNING" in ctl("query", "tessera-msi").stdout and len(stops) == 1 and
                  " => 0: " in stops[0] and " => 0: " in log_lines("restore")[-1],
                  f"status {done.returncode}, {stops}")
    finally:
        remove_service()
        for package in packages.values():
            wine("msiexec", "/x", package, "/qn")


def main():
    if subprocess.run([os.path.join(SCRIPTS, "wine"), "--can-run", SERVICECTL]).returncode == 77:
        return 77
    folder = tempfile.mkdtemp(prefix="servicectl-clients-", dir=BIN)
    try:
        output_and_status()
        one_encoding(folder)
        batch_file(os.path.join(folder, "batch"))
        killed_updater(folder)
        msi_packages(folder)
        if subprocess.run([os.path.join(SCRIPTS, "wine"), "--runs-x86"]).returncode == 0:
            nsis_installers(folder)
        else:
            print("left out: the NSIS installers, 32-bit programs, which cannot run here")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print(f"{len(failures)} failed" if failures else "every check held")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
