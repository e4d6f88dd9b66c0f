// The record of an update as text, with no manager behind it: a line in,
// records out, and the same line back, in both forms.
#include "update/record.h"

#include <gtest/gtest.h>

#include <string>

#include "module_forms.h"

namespace {

using service_control::HeapBuffer;
using service_control::RecordedService;

template <typename Char>
void ExpectRoundTrip(const std::basic_string<Char> &text, DWORD count, const Char *first, bool ran,
                     bool ended, DWORD start_type) {
  HeapBuffer<RecordedService<Char>> services;
  DWORD read = 0;
  ASSERT_EQ(service_control::ReadRecord(text.c_str(), &services, &read), 0u);
  ASSERT_EQ(read, count);
  EXPECT_EQ(std::basic_string<Char>(services.records()[0].name), first);
  EXPECT_EQ(services.records()[0].ran, ran);
  EXPECT_EQ(services.records()[0].ended, ended);
  EXPECT_EQ(services.records()[0].startType, start_type);
  std::basic_string<Char> written(text.size() + 1, '#');
  EXPECT_EQ(service_control::WriteRecord(services.records(), read, &written[0], written.size()),
            text.size() + 1);
  EXPECT_EQ(written, text + Char(0));
}

TEST(RecordTest, TextInRecordsOutAndBack) {
  const struct {
    const char *text;
    DWORD count;
    const char *first;
    bool ran, ended;
    DWORD start_type;
  } rows[] = {
      {"SCU1/1;R-3=tessera", 1, "tessera", true, false, 3},
      {"SCU1/2;SK4=a;R-2=b", 2, "a", false, true, 4},
      {"SCU1/1;RK2=a%20b%25%3B%3D%7F%E9", 1, "a b%;=\x7F\xE9", true, true, 2},
      {"SCU1/10;S-3=0;S-3=1;S-3=2;S-3=3;S-3=4;S-3=5;S-3=6;S-3=7;S-3=8;S-3=9", 10, "0", false, false,
       3},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.text);
    ExpectRoundTrip<char>(row.text, row.count, row.first, row.ran, row.ended, row.start_type);
    ExpectRoundTrip<wchar_t>(Widened(row.text), row.count, Widened(row.first).c_str(), row.ran,
                             row.ended, row.start_type);
  }
}

}  // namespace
