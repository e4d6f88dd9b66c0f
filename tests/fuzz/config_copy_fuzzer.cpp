// The configuration read, for any record that the stand-in can hand back:
// random strings and dependency lists, lengths around every bound, sizes
// that change between the two queries, in single- and double-byte code pages
// through the ANSI form, and in UTF-16 with surrogates through the wide form.
#include <mbstring.h>
#include <service_control.h>
#include <standin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"

namespace {

const size_t kBounds[] = {98, 99, 100, 101, 258, 259, 260, 261};

// What differs between the forms: the read, the texts it copies, and what a
// cut may not end in.
struct Ansi {
  typedef char Char;
  static DWORD Read(DWORD *values, char *path, char *group, char *dependencies, char *display,
                    DWORD *error) {
    return ReadServiceConfig("tessera", &values[0], &values[1], &values[2], &values[3], path, group,
                             dependencies, display, error);
  }
  static std::string Path(const standin::ServiceSetup &setup) { return setup.binary_path; }
  static std::string Record(const standin::ServiceSetup &setup) {
    return setup.dependencies + '\0' + setup.account + '\0' + setup.display_name + '\0';
  }
  // A double-byte character across the cut is left out whole.
  static bool CutsBadly(int code_page, const std::string &text, size_t) {
    return EndsInLoneLeadByte(code_page, text);
  }
  static size_t Slack(int code_page) { return code_page == 932 ? 1 : 0; }
};

struct Wide {
  typedef wchar_t Char;
  static DWORD Read(DWORD *values, wchar_t *path, wchar_t *group, wchar_t *dependencies,
                    wchar_t *display, DWORD *error) {
    return ReadServiceConfigW(L"tessera", &values[0], &values[1], &values[2], &values[3], path,
                              group, dependencies, display, error);
  }
  static std::wstring Path(const standin::ServiceSetup &setup) { return setup.wide_binary_path; }
  static std::wstring Record(const standin::ServiceSetup &setup) {
    // The account is ASCII in the wide runs.
    return setup.wide_dependencies + L'\0' +
           std::wstring(setup.account.begin(), setup.account.end()) + L'\0' +
           setup.wide_display_name + L'\0';
  }
  // A surrogate pair across the cut is left out whole: a text cut at its
  // buffer's bound never ends in a high surrogate.
  static bool CutsBadly(int, const std::wstring &text, size_t count) {
    return text.size() == count - 1 && EndsInHighSurrogate(text);
  }
  static size_t Slack(int) { return 1; }
};

template <typename Char>
bool TerminatedWithin(const Char *buffer, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (buffer[i] == 0) return true;
  }
  return false;
}

template <typename Form>
void ReadAndCheck(const standin::ServiceSetup &setup, bool null_dependencies, int code_page) {
  typedef typename Form::Char Char;
  typedef std::basic_string<Char> String;
  // Exactly the documented sizes, so that any write beyond them is caught.
  Char *path = static_cast<Char *>(std::malloc(MAX_PATH * sizeof(Char)));
  Char *group = static_cast<Char *>(std::malloc(100 * sizeof(Char)));
  Char *dependencies = static_cast<Char *>(std::malloc(100 * sizeof(Char)));
  Char *display = static_cast<Char *>(std::malloc(100 * sizeof(Char)));
  for (Char *buffer : {group, dependencies, display}) std::fill(buffer, buffer + 100, Char('#'));
  std::fill(path, path + MAX_PATH, Char('#'));
  DWORD values[4] = {42, 42, 42, 42};
  DWORD error = 0xDEADBEEF;
  const DWORD result = Form::Read(values, path, group, dependencies, display, &error);

  FuzzCheck(standin::OpenHandleCount() == 0, "a handle was left open");
  if (result == 0) {
    FuzzCheck(error == 0, "success with an error code");
    FuzzCheck(values[0] == setup.service_type && values[1] == setup.start_type, "wrong values");
    FuzzCheck(TerminatedWithin(path, MAX_PATH) && TerminatedWithin(group, 100) &&
                  TerminatedWithin(display, 100),
              "a string was not terminated within its buffer");
    FuzzCheck(!Form::CutsBadly(code_page, path, MAX_PATH) &&
                  !Form::CutsBadly(code_page, group, 100) &&
                  !Form::CutsBadly(code_page, display, 100),
              "a cut split a character");
    // Copies are prefixes, at most one character short of the bound.
    const String expected_path = Form::Path(setup).substr(0, MAX_PATH - 1).c_str();
    const String copied_path(path);
    FuzzCheck(expected_path.compare(0, copied_path.size(), copied_path) == 0 &&
                  copied_path.size() + Form::Slack(code_page) >= expected_path.size(),
              "the path is not the record's");
    if (null_dependencies) {
      FuzzCheck(dependencies[0] == 0 && dependencies[1] == 1, "no null-list marker");
    } else {
      // Whole names of the record from the list on, walked until an empty
      // one, which must come within the buffer; nothing behind it written.
      size_t closing = 0;
      while (closing < 100 && dependencies[closing] != 0) {
        while (closing < 100 && dependencies[closing] != 0) ++closing;
        ++closing;
      }
      FuzzCheck(closing < 100 && (closing > 0 || dependencies[1] == 0),
                "the dependency list is not closed by two zeros within its buffer");
      standin::ServiceSetup now;
      standin::ServiceConfig("tessera", &now);
      const String record = Form::Record(now);
      FuzzCheck(record.compare(0, closing, String(dependencies, closing)) == 0,
                "a dependency name was cut, or is not the record's");
      for (size_t i = closing == 0 ? 2 : closing + 1; i < 100; ++i) {
        FuzzCheck(dependencies[i] == '#', "the dependency buffer was written behind the list");
      }
    }
  } else {
    FuzzCheck(result == SERVICE_STAGE_READ_CONFIG || result == SERVICE_STAGE_ALLOCATE,
              "an unexpected stage");
    FuzzCheck(error != 0 && GetLastError() == error, "a failure without its code");
    for (DWORD value : values) FuzzCheck(value == 42, "a value was written by a failing read");
    for (Char *buffer : {group, dependencies, display}) {
      FuzzCheck(String(buffer, 100) == String(100, Char('#')), "a buffer was written");
    }
  }
  for (Char *buffer : {path, group, dependencies, display}) std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  const bool wide = input.Byte() % 2 == 0;
  const int code_page = input.CodePage();
  standin::ServiceSetup setup;
  setup.name = "tessera";
  if (wide) {
    // An empty wide text falls back on the ANSI one, which is then empty too.
    setup.binary_path.clear();
    setup.wide_binary_path = input.Units(input.Length(kBounds, 8));
    setup.wide_load_order_group = input.Units(input.Length(kBounds, 8));
    setup.wide_dependencies = input.Units(input.Length(kBounds, 8));
    setup.wide_display_name = input.Units(input.Length(kBounds, 8));
  } else {
    setup.binary_path = input.Bytes(input.Length(kBounds, 8));
    setup.load_order_group = input.Bytes(input.Length(kBounds, 8));
    // Any bytes: with or without the zero that ends each name.
    setup.dependencies = input.Bytes(input.Length(kBounds, 8));
    setup.display_name = input.Bytes(input.Length(kBounds, 8));
  }
  setup.account = input.Bytes(input.Byte() % 16);
  if (wide) {
    for (char &c : setup.account) c &= 0x7F;
  }
  const bool null_dependencies = input.Byte() % 8 == 0;
  const DWORD growth = input.Byte() % 8 == 0 ? input.Byte() % 9 : 0;
  const uint8_t sizing = input.Byte();
  DWORD reported_size = 0;
  if (sizing % 8 == 0) reported_size = input.Word() % 2048;
  // Sizes that cannot take the spare bytes; 0xFFFFFFFB itself would need 4 GiB.
  if (sizing % 8 == 1) reported_size = 0xFFFFFFFC + input.Byte() % 4;
  setup.service_type = input.Word();
  setup.start_type = input.Word();

  standin::Reset();
  _setmbcp(code_page);
  standin::AddService(setup);
  const char *query = wide ? "QueryServiceConfigW" : "QueryServiceConfigA";
  if (null_dependencies) standin::HandBackNullDependencies(query);
  standin::GrowAfterSizeQuery(query, growth);
  standin::ReportNeededSize(query, reported_size);
  if (wide) {
    ReadAndCheck<Wide>(setup, null_dependencies, code_page);
  } else {
    ReadAndCheck<Ansi>(setup, null_dependencies, code_page);
  }
  _setmbcp(1252);
  return 0;
}
