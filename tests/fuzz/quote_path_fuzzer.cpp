// The path quoting of InstallServiceQuoted, for any path that the buffer
// contract allows: a terminated string in a buffer of its length plus 3.
#include <mbstring.h>
#include <service_control.h>
#include <standin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  const int code_page = input.CodePage();
  const size_t bounds[] = {257, 258, 259, 260, 261};
  std::string path = input.Bytes(input.Length(bounds, 5));
  path = path.substr(0, std::strlen(path.c_str()));
  // Half the paths hold no quote but those put at their ends.
  if (input.Byte() % 2 == 0) std::replace(path.begin(), path.end(), '"', 'q');
  if (input.Byte() % 4 == 0 && !path.empty()) path[0] = '"';
  if (input.Byte() % 4 == 0 && !path.empty()) path.back() = '"';

  standin::Reset();
  _setmbcp(code_page);
  // Exactly the documented room, so that any write beyond it is caught.
  char *buffer = static_cast<char *>(std::malloc(path.size() + 3));
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  DWORD error = 0xDEADBEEF;
  const DWORD result =
      InstallServiceQuoted(buffer, "tessera", "Tessera", SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, "", SERVICE_ERROR_NORMAL, "", "", "", &error);

  const bool front = !path.empty() && path[0] == '"';
  const bool back = !path.empty() && path.back() == '"';
  std::string quoted = path;
  if (!path.empty() && !(front && back)) {
    quoted = (front ? "" : "\"") + path + (back ? "" : "\"");
  }
  // A quote inside a path that is wrapped would end the added one early; a
  // backslash before the one added behind arguments would escape it.
  const bool quote_inside = !front && path.size() > 1 && path.find('"') < path.size() - 1;
  const bool escaped_quote = front && !back && path.back() == '\\';
  if (path.empty()) {
    // The manager refuses an empty path.
    FuzzCheck(result == SERVICE_STAGE_CREATE_SERVICE && error == ERROR_INVALID_PARAMETER,
              "an empty path was not refused by the manager");
  } else if (quote_inside || escaped_quote || quoted.size() > MAX_PATH - 1) {
    // The read's buffer holds MAX_PATH - 1 characters and the terminator.
    FuzzCheck(result == SERVICE_STAGE_CREATE_SERVICE &&
                  error == (quote_inside || escaped_quote ? ERROR_INVALID_NAME
                                                          : ERROR_FILENAME_EXCED_RANGE),
              "a quote inside or an overlong quoted form was not refused");
    FuzzCheck(path == buffer && standin::Calls().empty(),
              "a refused path was changed, or something was opened");
  } else {
    FuzzCheck(result == 0 && error == 0, "a path within the limit was not installed");
    standin::ServiceSetup config;
    FuzzCheck(standin::ServiceConfig("tessera", &config), "no service was created");
    FuzzCheck(config.binary_path == buffer, "the created path is not the buffer's");
    // The copies never split a double-byte character, so a lone lead byte at
    // the end is lost; any other path is quoted exactly.
    if (quoted != buffer) {
      FuzzCheck(EndsInLoneLeadByte(code_page, path.substr(0, path.size() - back)),
                "the quoted form is wrong");
    }
  }
  FuzzCheck(standin::OpenHandleCount() == 0, "a handle was left open");
  std::free(buffer);
  _setmbcp(1252);
  return 0;
}
