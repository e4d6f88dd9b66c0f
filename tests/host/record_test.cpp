// The record of an update as text, with no manager behind it: a line in,
// records out, and the same line back, in both forms; cut or altered, it is
// refused.
#include "update/record.h"

#include <gtest/gtest.h>

#include <string>

#include "module_forms.h"

namespace {

using service_control::HeapBuffer;
using service_control::ReadRecord;
using service_control::RecordedService;

struct Row {
  const char *text;
  DWORD flags;
  DWORD count;
  const char *first;
  bool ran, ended;
  DWORD start_type;
};

template <typename Char>
void ExpectRoundTrip(const Row &row, const std::basic_string<Char> &text,
                     const std::basic_string<Char> &first) {
  HeapBuffer<RecordedService<Char>> services;
  DWORD count = 0, flags = 0;
  ASSERT_EQ(ReadRecord(text.c_str(), &services, &count, &flags), 0u);
  EXPECT_EQ(flags, row.flags);
  ASSERT_EQ(count, row.count);
  const RecordedService<Char> &service = services.records()[0];
  EXPECT_EQ(std::basic_string<Char>(service.name), first);
  EXPECT_EQ(service.ran, row.ran);
  EXPECT_EQ(service.ended, row.ended);
  EXPECT_EQ(service.startType, row.start_type);
  std::basic_string<Char> written(text.size() + 1, '#');
  EXPECT_EQ(
      service_control::WriteRecord(services.records(), count, flags, &written[0], written.size()),
      text.size() + 1);
  EXPECT_EQ(written, text + Char(0));
  // Cut by a character, or with its first entry's R and S swapped: refused.
  std::basic_string<Char> altered = text;
  altered[altered.find(';') + 1] ^= 'R' ^ 'S';
  for (const std::basic_string<Char> &broken : {text.substr(0, text.size() - 1), altered}) {
    EXPECT_EQ(ReadRecord(broken.c_str(), &services, &count, &flags), 13u);
  }
}

TEST(RecordTest, TextInRecordsOutAndBack) {
  const Row rows[] = {
      {"SCU2/0/1;R-3=tessera/20/6025581E", 0, 1, "tessera", true, false, 3},
      {"SCU2/3/2;SK4~F1R86400A1.60000A3.0=a;R-2!=b/42/7B835AF7", 3, 2, "a", false, true, 4},
      {"SCU2/1/1;RK2=a%20b%25%3B%3D%7F%E9/33/B9DB21FA", 1, 1, "a b%;=\x7F\xE9", true, true, 2},
      {"SCU2/7/10;S-3=0;S-3=1;S-3=2;S-3=3;S-3=4;S-3=5;S-3=6;S-3=7;S-3=8;S-3=9/69/B698C85D", 7, 10,
       "0", false, false, 3},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.text);
    ExpectRoundTrip<char>(row, row.text, row.first);
    ExpectRoundTrip<wchar_t>(row, Widened(row.text), Widened(row.first));
  }
  // Version 1, which tells no length, is read too.
  HeapBuffer<RecordedService<char>> services;
  DWORD count = 0, flags = 7;
  EXPECT_EQ(ReadRecord("SCU1/2;R-3=a;SK4=b", &services, &count, &flags), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(flags, 0u);
}

}  // namespace
