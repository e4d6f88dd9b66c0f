// Files of the simulated platform, as the host's: made, appended to,
// written, read, flushed, moved over another and deleted, by their UTF-16 names as UTF-8 paths.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "service_manager.h"

namespace standin {
namespace {

std::string PathOf(const WCHAR *name) { return Utf8Of(WideString(name)); }

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD, void *, DWORD disposition, DWORD,
                          HANDLE) {
  if (EnterCall("CreateFileW", WideStringText(name) + ", " + HexText(access) + ", " +
                                   std::to_string(disposition))) {
    return INVALID_HANDLE_VALUE;
  }
  // Only what the project asks for: a file made anew to write, one appended
  // to, made where it is not there, or one that is there to read.
  const bool anew = access == GENERIC_WRITE && disposition == CREATE_ALWAYS;
  const bool append = access == FILE_APPEND_DATA && disposition == OPEN_ALWAYS;
  const bool read = access == GENERIC_READ && disposition == OPEN_EXISTING;
  if (name == nullptr || (!anew && !append && !read)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = PathOf(name);
  const int file = read
                       ? open(path.c_str(), O_RDONLY)
                       : open(path.c_str(), O_WRONLY | O_CREAT | (anew ? O_TRUNC : O_APPEND), 0644);
  if (file < 0) {
    // As Windows tells them apart: no such file, or no such folder.
    struct stat folder;
    const std::string parent = path.substr(0, path.find_last_of('/') + 1) + ".";
    SetLastError(errno == ENOENT && stat(parent.c_str(), &folder) == 0 ? ERROR_FILE_NOT_FOUND
                                                                       : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return HandedOut(NewFileHandle(file));
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written, void *) {
  if (EnterCall("WriteFile", PointerText(buffer) + ", " + std::to_string(size))) return FALSE;
  const int file = FileOfHandle(handle);
  const ssize_t wrote = file < 0 ? -1 : write(file, buffer, size);
  if (wrote < 0) {
    SetLastError(file < 0 ? ERROR_INVALID_HANDLE : ERROR_WRITE_FAULT);
    return FALSE;
  }
  if (written != nullptr) *written = static_cast<DWORD>(wrote);
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, void *) {
  if (EnterCall("ReadFile", PointerText(buffer) + ", " + std::to_string(size))) return FALSE;
  const int file = FileOfHandle(handle);
  const ssize_t got = file < 0 ? -1 : ::read(file, buffer, size);
  if (got < 0) {
    SetLastError(file < 0 ? ERROR_INVALID_HANDLE : ERROR_READ_FAULT);
    return FALSE;
  }
  if (read != nullptr) *read = static_cast<DWORD>(got);
  return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
  if (EnterCall("FlushFileBuffers", "")) return FALSE;
  const int file = FileOfHandle(handle);
  if (file < 0 || fsync(file) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (EnterCall("MoveFileExW",
                WideStringText(from) + ", " + WideStringText(to) + ", " + HexText(flags))) {
    return FALSE;
  }
  if (from == nullptr || to == nullptr || (flags & MOVEFILE_REPLACE_EXISTING) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (rename(PathOf(from).c_str(), PathOf(to).c_str()) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR name) {
  if (EnterCall("DeleteFileW", WideStringText(name))) return FALSE;
  if (name == nullptr || unlink(PathOf(name).c_str()) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
