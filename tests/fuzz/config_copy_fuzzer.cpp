// The configuration read, for any record that the stand-in can hand back:
// random strings and dependency lists, lengths around every bound, sizes
// that change between the two queries, in single- and double-byte code pages.
#include <mbstring.h>
#include <service_control.h>
#include <standin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"

namespace {

// A terminated string within the buffer's size.
bool TerminatedWithin(const char *buffer, size_t size) {
  return std::memchr(buffer, '\0', size) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  const int code_page = input.CodePage();
  const size_t bounds[] = {98, 99, 100, 101, 258, 259, 260, 261};
  standin::ServiceSetup setup;
  setup.name = "tessera";
  setup.binary_path = input.Bytes(input.Length(bounds, 8));
  setup.load_order_group = input.Bytes(input.Length(bounds, 8));
  // Any bytes: with or without the zero that ends each name.
  setup.dependencies = input.Bytes(input.Length(bounds, 8));
  setup.account = input.Bytes(input.Byte() % 16);
  setup.display_name = input.Bytes(input.Length(bounds, 8));
  setup.null_dependencies = input.Byte() % 8 == 0;
  setup.grows_after_size_query = input.Byte() % 8 == 0 ? input.Byte() % 9 : 0;
  const uint8_t sizing = input.Byte();
  if (sizing % 8 == 0) setup.reported_size = input.Word() % 2048;
  // Sizes that cannot take the spare bytes; 0xFFFFFFFB itself would need 4 GiB.
  if (sizing % 8 == 1) setup.reported_size = 0xFFFFFFFC + input.Byte() % 4;
  setup.service_type = input.Word();
  setup.start_type = input.Word();

  standin::Reset();
  _setmbcp(code_page);
  standin::AddService(setup);
  // Exactly the documented sizes, so that any write beyond them is caught.
  char *path = static_cast<char *>(std::malloc(MAX_PATH));
  char *group = static_cast<char *>(std::malloc(100));
  char *dependencies = static_cast<char *>(std::malloc(100));
  char *display = static_cast<char *>(std::malloc(100));
  for (char *buffer : {group, dependencies, display}) std::memset(buffer, '#', 100);
  std::memset(path, '#', MAX_PATH);
  DWORD values[4] = {42, 42, 42, 42};
  DWORD error = 0xDEADBEEF;
  const DWORD result = ReadServiceConfig("tessera", &values[0], &values[1], &values[2], &values[3],
                                         path, group, dependencies, display, &error);

  FuzzCheck(standin::OpenHandleCount() == 0, "a handle was left open");
  if (result == 0) {
    FuzzCheck(error == 0, "success with an error code");
    FuzzCheck(values[0] == setup.service_type && values[1] == setup.start_type, "wrong values");
    FuzzCheck(TerminatedWithin(path, MAX_PATH) && TerminatedWithin(group, 100) &&
                  TerminatedWithin(display, 100),
              "a string was not terminated within its buffer");
    FuzzCheck(!EndsInLoneLeadByte(code_page, path) && !EndsInLoneLeadByte(code_page, group) &&
                  !EndsInLoneLeadByte(code_page, display),
              "a cut split a double-byte character");
    // Single-byte copies are exact prefixes; double-byte ones may end one byte short.
    const std::string expected_path = setup.binary_path.substr(0, MAX_PATH - 1).c_str();
    const size_t slack = code_page == 932 ? 1 : 0;
    FuzzCheck(expected_path.compare(0, std::strlen(path), path) == 0 &&
                  std::strlen(path) + slack >= expected_path.size(),
              "the path is not the record's");
    if (setup.null_dependencies) {
      FuzzCheck(dependencies[0] == '\0' && dependencies[1] == 1, "no null-list marker");
    } else {
      // A prefix of the record's bytes from the list on, the rest untouched.
      standin::ServiceSetup now;
      standin::ServiceConfig("tessera", &now);
      const std::string record =
          setup.dependencies + '\0' + setup.account + '\0' + now.display_name + '\0';
      size_t copied = 0;
      while (copied < 100 && copied < record.size() && dependencies[copied] == record[copied]) {
        ++copied;
      }
      FuzzCheck(copied > 0, "the dependency list was not copied");
      for (size_t i = copied; i < 100; ++i) {
        FuzzCheck(dependencies[i] == '#', "bytes from outside the record were copied");
      }
    }
  } else {
    FuzzCheck(result == SERVICE_STAGE_READ_CONFIG || result == SERVICE_STAGE_ALLOCATE,
              "an unexpected stage");
    FuzzCheck(error != 0 && GetLastError() == error, "a failure without its code");
    for (DWORD value : values) FuzzCheck(value == 42, "a value was written by a failing read");
    for (char *buffer : {group, dependencies, display}) {
      FuzzCheck(std::string(buffer, 100) == std::string(100, '#'), "a buffer was written");
    }
  }
  for (char *buffer : {path, group, dependencies, display}) std::free(buffer);
  _setmbcp(1252);
  return 0;
}
