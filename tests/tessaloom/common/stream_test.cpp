#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Process.h"
#include "support/ScriptedTransport.h"
#include "tessaloom/common/aStream.h"

namespace {

std::string read_string(aStreamRef s, size_t n) {
  std::string out(n, '\0');
  EXPECT_EQ(aStream_Read(s, reinterpret_cast<uint8_t*>(out.data()), n), aErrNone);
  return out;
}

}  // namespace

TEST(aStream, ReadIsAllOrNothing) {
  ScriptedTransport t;
  t.Feed("ab");
  t.Fail(aErrNotReady);
  t.Feed("cd");
  aStreamRef s = t.MakeStream();
  uint8_t out[4] = {'-', '-', '-', '-'};
  EXPECT_EQ(aStream_Read(s, out, 4), aErrNotReady);
  EXPECT_EQ(std::memcmp(out, "----", 4), 0);
  EXPECT_EQ(read_string(s, 4), "abcd");

  // Another failure drops what that read gathered.
  t.Feed("xy");
  t.Fail(aErrIO);
  t.Feed("z");
  EXPECT_EQ(aStream_Read(s, out, 4), aErrIO);
  EXPECT_EQ(read_string(s, 1), "z");

  // End of source: the bytes that did arrive are delivered with aErrEOF.
  t.Feed("q");
  t.Fail(aErrEOF);
  EXPECT_EQ(aStream_Read(s, out, 3), aErrEOF);
  EXPECT_EQ(out[0], 'q');
  EXPECT_EQ(aStream_Read(s, nullptr, 1), aErrParam);
  aStream_Destroy(&s);
}

TEST(aStream, PushBackRingGrowsIn512ByteStepsAndKeepsOrder) {
  ScriptedTransport t;
  aStreamRef s = t.MakeStream();
  EXPECT_EQ(aStream_RingCapacity(s), 0u);
  for (int i = 0; i < 600; ++i) ASSERT_EQ(aStreamBufferChar(s, static_cast<uint8_t>(i % 251)), aErrNone);
  EXPECT_EQ(aStream_RingCapacity(s), 1024u);
  uint8_t out[600];
  ASSERT_EQ(aStream_Read(s, out, 600), aErrNone);
  for (int i = 0; i < 600; ++i) ASSERT_EQ(out[i], i % 251) << i;

  // Growth while the ring has wrapped keeps the order too.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 700; ++i) aStreamBufferChar(s, static_cast<uint8_t>(i));
    uint8_t back[700];
    ASSERT_EQ(aStream_Read(s, back, 300), aErrNone);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(back[i], static_cast<uint8_t>(i));
    ASSERT_EQ(aStream_Read(s, back, 400), aErrNone);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(back[i], static_cast<uint8_t>(300 + i));
  }
  EXPECT_EQ(aStreamBufferChar(nullptr, 1), aErrParam);
  aStream_Destroy(&s);
}

TEST(aStream, CStringsAndRecords) {
  ScriptedTransport t;
  aStreamRef s = t.MakeStream();
  t.Feed(std::string("ab\0cd", 5));
  char text[10];
  EXPECT_EQ(aStream_ReadCString(s, text, 10), aErrNone);
  EXPECT_STREQ(text, "ab");
  // "cd" has no terminator yet: nothing is lost, the next read sees it again.
  EXPECT_EQ(aStream_ReadCString(s, text, 10), aErrNotReady);
  t.Feed(std::string("\0", 1));
  EXPECT_EQ(aStream_ReadCString(s, text, 10), aErrNone);
  EXPECT_STREQ(text, "cd");
  t.Feed("ef");
  t.Fail(aErrEOF);
  EXPECT_EQ(aStream_ReadCString(s, text, 10), aErrNone);  // the end of the source ends the record
  EXPECT_STREQ(text, "ef");
  aStream_Destroy(&s);

  ScriptedTransport v;
  s = v.MakeStream();
  v.Feed(std::string("ab\0cd", 5));
  EXPECT_EQ(aStream_ReadCString(s, text, 2), aErrNone);
  EXPECT_STREQ(text, "a");
  EXPECT_EQ(read_string(s, 4), std::string("b\0cd", 4));

  EXPECT_EQ(aStream_WriteCStringRecord(s, "abc", "\n"), aErrNone);
  EXPECT_EQ(v.written, std::string("abc\n\0", 5));
  v.written.clear();
  EXPECT_EQ(aStream_WriteCString(s, "hi"), aErrNone);
  EXPECT_EQ(v.written, std::string("hi\0", 3));
  const uint8_t crlf[2] = {'\r', '\n'};
  v.written.clear();
  EXPECT_EQ(aStream_WriteRecord(s, reinterpret_cast<const uint8_t*>("rec"), 3, crlf, 2), aErrNone);
  EXPECT_EQ(v.written, "rec\r\n");
  EXPECT_EQ(aStream_WriteRecord(s, reinterpret_cast<const uint8_t*>("rec"), 3, crlf, 0), aErrParam);

  v.Feed("line one\r\nrest");
  EXPECT_EQ(aStream_ReadCStringRecord(s, text, sizeof text, "\r\n"), aErrNone);
  EXPECT_STREQ(text, "line one");
  aStream_Destroy(&s);
}

TEST(aStream, OneByteWritesGoThroughPut) {
  ScriptedTransport t;
  aStreamRef s = t.MakeStream();
  EXPECT_EQ(aStream_Write(s, reinterpret_cast<const uint8_t*>("x"), 1), aErrNone);
  EXPECT_EQ(t.viaPut, "x");
  EXPECT_EQ(t.writeCalls, 0);
  EXPECT_EQ(aStream_Write(s, reinterpret_cast<const uint8_t*>("yz"), 2), aErrNone);
  EXPECT_EQ(t.writeCalls, 1);
  EXPECT_EQ(t.written, "xyz");
  aStream_Destroy(&s);

  aStreamRef only_get = aStream_Create(ScriptedTransport::Get, nullptr, nullptr, nullptr, &t);
  EXPECT_EQ(aStream_Write(only_get, reinterpret_cast<const uint8_t*>("x"), 1), aErrMode);
  aStreamRef only_put = aStream_Create(nullptr, ScriptedTransport::Put, nullptr, nullptr, &t);
  uint8_t b;
  EXPECT_EQ(aStream_Read(only_put, &b, 1), aErrMode);
  EXPECT_EQ(aStream_Flush(only_put, only_get), aErrMode);
  aStream_Destroy(&only_get);
  aStream_Destroy(&only_put);
}

TEST(aStream, DestroyRunsTheTransportDeleteOnce) {
  ScriptedTransport t;
  t.deleteResult = aErrIO;
  aStreamRef s = t.MakeStream();
  aStreamBufferChar(s, 1);
  EXPECT_EQ(aStream_Destroy(&s), aErrIO);  // freed anyway, with the delete's code
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(t.deletes, 1);
  EXPECT_EQ(aStream_Destroy(&s), aErrParam);
  EXPECT_EQ(aStream_Destroy(nullptr), aErrParam);
  EXPECT_EQ(t.deletes, 1);
}

TEST(aStream, FileStreams) {
  TempDir tmp;
  WriteFile(tmp / "in", "xyz");
  aStreamRef in = nullptr;
  ASSERT_EQ(aStream_CreateFileInput((tmp / "in").c_str(), &in), aErrNone);
  uint8_t record[16];
  size_t length = 99;
  const uint8_t newline = '\n';
  EXPECT_EQ(aStream_ReadRecord(in, record, &length, sizeof record, &newline, 1), aErrNone);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(std::memcmp(record, "xyz", 3), 0);
  EXPECT_EQ(aStream_ReadRecord(in, record, &length, sizeof record, &newline, 1), aErrEOF);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(aStream_Write(in, record, 2), aErrMode);
  aStream_Destroy(&in);

  aStreamRef out = nullptr;
  EXPECT_EQ(aStream_CreateFileInput((tmp / "missing").c_str(), &out), aErrResource);
  EXPECT_EQ(aStream_CreateFileInput(nullptr, &out), aErrResource);
  ASSERT_EQ(aStream_CreateFileInput((tmp / "in").c_str(), &in), aErrNone);
  ASSERT_EQ(aStream_CreateFileOutput((tmp / "out").c_str(), &out), aErrNone);
  EXPECT_EQ(aStream_Flush(in, out), aErrNone);
  EXPECT_EQ(aStream_Write(out, reinterpret_cast<const uint8_t*>("!"), 1), aErrNone);
  aStream_Destroy(&in);
  EXPECT_EQ(aStream_Destroy(&out), aErrNone);
  EXPECT_EQ(ReadFile(tmp / "out"), "xyz!");
}
