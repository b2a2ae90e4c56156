#include "net/seq_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace QuickKit {
namespace {

TEST(MemoryStream, ReadsUntilEmptyThenSignalsShortRead) {
  const char data[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  MemoryAsSeqStream stream(static_cast<const void*>(data), sizeof data);
  char buffer[16] = {};
  std::uint32_t read = 99;
  EXPECT_EQ(stream.Read(buffer, 10, &read), S_OK);
  EXPECT_EQ(read, 10u);
  EXPECT_EQ(std::memcmp(buffer, data, 10), 0);
  EXPECT_EQ(stream.Read(buffer, 10, &read), S_FALSE);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(stream.Read(buffer, 0, nullptr), S_OK);  // asking for nothing is never short
}

TEST(MemoryStream, PartialReadIsShort) {
  const char data[3] = {'a', 'b', 'c'};
  MemoryAsSeqStream stream(static_cast<const void*>(data), 3);
  char buffer[8];
  std::uint32_t read = 0;
  EXPECT_EQ(stream.Read(buffer, 2, &read), S_OK);
  EXPECT_EQ(stream.Read(buffer, 2, &read), S_FALSE);
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(buffer[0], 'c');
}

TEST(MemoryStream, WriteWithoutRoomWritesNothing) {
  char block[3] = {'x', 'x', 'x'};
  MemoryAsSeqStream stream(static_cast<void*>(block), 3);
  std::uint32_t written = 99;
  EXPECT_EQ(stream.Write("abcd", 4, &written), E_OUTOFMEMORY);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(std::string(block, 3), "xxx");
  EXPECT_EQ(stream.Write("ab", 2, &written), S_OK);
  EXPECT_EQ(stream.Write("cd", 2, &written), E_OUTOFMEMORY);  // position counts
  EXPECT_EQ(stream.Write("c", 1, &written), S_OK);
  EXPECT_EQ(std::string(block, 3), "abc");
  // Read and Write share the position: nothing is left to read.
  EXPECT_EQ(stream.Read(block, 1, nullptr), S_FALSE);
}

TEST(MemoryStream, ReadOnlyBlockRefusesWrites) {
  static const char resource[4] = {'r', 'e', 's', '!'};
  MemoryAsSeqStream stream(static_cast<const void*>(resource), 4);
  EXPECT_EQ(stream.Write("x", 1, nullptr), E_ACCESSDENIED);
  EXPECT_EQ(resource[0], 'r');
}

TEST(StringStream, WriteReplacesTheRestOfTheString) {
  std::string target = "abcdef";
  StringAsSeqStreamA stream(&target);
  char skip[2];
  ASSERT_EQ(stream.Read(skip, 2, nullptr), S_OK);
  std::uint32_t written = 0;
  EXPECT_EQ(stream.Write("XY", 2, &written), S_OK);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(target, "abXY");
}

TEST(StringStream, GapAfterTheEndIsZeroFilled) {
  std::string target = "abcdef";
  StringAsSeqStreamA stream(&target);
  char skip[6];
  ASSERT_EQ(stream.Read(skip, 6, nullptr), S_OK);
  target = "ab";  // the owner shortens it behind the stream's back
  char more[4];
  std::uint32_t read = 7;
  EXPECT_EQ(stream.Read(more, 4, &read), S_FALSE);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(stream.Write("Z", 1, nullptr), S_OK);
  EXPECT_EQ(target, std::string("ab\0\0\0\0Z", 7));
}

TEST(NullStream, ReadsNothingAndSwallowsWrites) {
  NullSeqStream stream;
  char buffer[4];
  std::uint32_t count = 42;
  EXPECT_EQ(stream.Read(buffer, 4, &count), S_FALSE);
  EXPECT_EQ(count, 0u);
  count = 42;
  EXPECT_EQ(stream.Write("abcd", 4, &count), S_OK);
  EXPECT_EQ(count, 42u);
}

// Records the callback traffic as a string: 'c' for IsCancelled, 'p' for
// OnProgress(done), and the write calls of the target as 'w'.
class RecordingCallback : public IProgressCallback {
 public:
  explicit RecordingCallback(std::string* log, int cancelAfter = -1)
      : m_log(log), m_cancelAfter(cancelAfter) {}
  void OnProgress(std::uint32_t done, std::uint32_t total) override {
    *m_log += "p" + std::to_string(done) + "/" + std::to_string(total) + " ";
  }
  bool IsCancelled() override {
    *m_log += "c";
    return m_cancelAfter >= 0 && m_calls++ >= m_cancelAfter;
  }

 private:
  std::string* m_log;
  int m_cancelAfter;
  int m_calls = 0;
};

class ScriptedSource : public ISequentialStream {
 public:
  struct Step {
    HRESULT result;
    std::uint32_t bytes;
  };
  explicit ScriptedSource(std::vector<Step> steps) : m_steps(std::move(steps)) {}
  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override {
    ++reads;
    if (m_next >= m_steps.size()) {
      *bytesRead = 0;
      return S_FALSE;
    }
    const Step step = m_steps[m_next++];
    EXPECT_LE(step.bytes, count);
    std::memset(buffer, 'a' + static_cast<int>(m_next), step.bytes);
    *bytesRead = step.bytes;
    return step.result;
  }
  HRESULT Write(const void*, std::uint32_t, std::uint32_t*) override { return E_NOTIMPL; }
  int reads = 0;

 private:
  std::vector<Step> m_steps;
  std::size_t m_next = 0;
};

class LoggingTarget : public ISequentialStream {
 public:
  LoggingTarget(std::string* log, HRESULT failWith = S_OK) : m_log(log), m_failWith(failWith) {}
  HRESULT Read(void*, std::uint32_t, std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override {
    *m_log += "w";
    if (FAILED(m_failWith)) return m_failWith;
    data.append(static_cast<const char*>(buffer), count);
    *bytesWritten = count;
    return S_OK;
  }
  std::string data;

 private:
  std::string* m_log;
  HRESULT m_failWith;
};

TEST(CopyStream, CallbackOrderAroundEveryChunk) {
  std::string log;
  ScriptedSource source({{S_OK, 512}, {S_FALSE, 100}, {S_FALSE, 0}});
  RecordingCallback callback(&log);
  LoggingTarget target(&log);
  EXPECT_EQ(CopyStream(&source, &callback, &target, 1000), S_OK);
  EXPECT_EQ(log, "cwcp512/1000 cwcp612/1000 ");
  EXPECT_EQ(target.data.size(), 612u);
  EXPECT_EQ(source.reads, 3);
}

TEST(CopyStream, ShortReadsDoNotEndTheCopy) {
  // S_FALSE with bytes goes on; only a read of zero bytes ends the loop.
  std::string log;
  ScriptedSource source({{S_FALSE, 10}, {S_FALSE, 10}, {S_OK, 10}, {S_OK, 0}});
  LoggingTarget target(&log);
  EXPECT_EQ(CopyStream(&source, nullptr, &target, kUnknownTotal), S_OK);
  EXPECT_EQ(target.data.size(), 30u);
  EXPECT_EQ(source.reads, 4);
}

TEST(CopyStream, ResultTable) {
  const HRESULT readError = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
  const struct {
    const char* name;
    std::vector<ScriptedSource::Step> steps;
    int cancelAfter;  // IsCancelled answers true from this call on; -1 never
    HRESULT writeResult;
    HRESULT expected;
    const char* log;
  } cases[] = {
      {"cancelled before the first write", {{S_OK, 512}}, 0, S_OK, E_ABORT, "c"},
      {"cancelled after a write", {{S_OK, 512}, {S_OK, 512}}, 1, S_OK, E_ABORT, "cwc"},
      {"empty source asks nothing", {}, 0, S_OK, S_OK, ""},
      {"first read fails", {{readError, 0}}, -1, S_OK, readError, ""},
      {"later read fails", {{S_OK, 5}, {readError, 0}}, -1, S_OK, readError, "cwcp5/9 "},
      {"write fails", {{S_OK, 5}}, -1, E_OUTOFMEMORY, E_OUTOFMEMORY, "cw"},
  };
  for (const auto& c : cases) {
    std::string log;
    ScriptedSource source(c.steps);
    RecordingCallback callback(&log, c.cancelAfter);
    LoggingTarget target(&log, c.writeResult);
    EXPECT_EQ(CopyStream(&source, &callback, &target, 9), c.expected) << c.name;
    EXPECT_EQ(log, c.log) << c.name;
  }
}

TEST(CopyStream, MissingEndsAreInvalidWithoutReading) {
  ScriptedSource source({{S_OK, 5}});
  NullSeqStream sink;
  EXPECT_EQ(CopyStream(&source, nullptr, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(CopyStream(nullptr, nullptr, &sink, 0), E_INVALIDARG);
  EXPECT_EQ(source.reads, 0);
}

TEST(CopyStream, FromNullStreamWritesNothing) {
  NullSeqStream source;
  std::string target;
  StringAsSeqStreamA sink(&target);
  EXPECT_EQ(CopyStream(&source, nullptr, &sink, 0), S_OK);
  EXPECT_TRUE(target.empty());
}

// A real file on both ports: memory -> file -> string round trip.
class TempFile {
 public:
  TempFile() {
#ifdef _WIN32
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"nvs", 0, m_path);
#else
    std::snprintf(m_path, sizeof m_path, "/tmp/norvane-stream-XXXXXX");
    ::close(::mkstemp(m_path));
#endif
  }
  ~TempFile() {
#ifdef _WIN32
    ::DeleteFileW(m_path);
#else
    ::unlink(m_path);
#endif
  }
  NativeFile Open(bool write) {
#ifdef _WIN32
    return ::CreateFileW(m_path, write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    return ::open(m_path, write ? O_WRONLY | O_TRUNC : O_RDONLY);
#endif
  }
  static void Close(NativeFile file) {
#ifdef _WIN32
    ::CloseHandle(file);
#else
    ::close(file);
#endif
  }

 private:
#ifdef _WIN32
  wchar_t m_path[MAX_PATH];
#else
  char m_path[64];
#endif
};

TEST(FileStream, CopiesThroughARealFile) {
  std::vector<char> payload(512 * 3 + 17);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  TempFile file;

  NativeFile out = file.Open(true);
  {
    MemoryAsSeqStream source(static_cast<const void*>(payload.data()),
                             static_cast<std::uint32_t>(payload.size()));
    WinFileAsSeqStream target(out);
    std::string log;
    RecordingCallback callback(&log);
    EXPECT_EQ(CopyStream(&source, &callback, &target, kUnknownTotal), S_OK);
    EXPECT_NE(log.find("p1553/4294967295 "), std::string::npos) << log;
  }
  TempFile::Close(out);

  NativeFile in = file.Open(false);
  std::string back;
  {
    WinFileAsSeqStream source(in);
    StringAsSeqStreamA target(&back);
    EXPECT_EQ(CopyStream(&source, nullptr, &target, 0), S_OK);
    char extra[4];
    std::uint32_t read = 5;
    EXPECT_EQ(source.Read(extra, 4, &read), S_OK);  // end of file is S_OK with 0 bytes
    EXPECT_EQ(read, 0u);
  }
  TempFile::Close(in);
  ASSERT_EQ(back.size(), payload.size());
  EXPECT_EQ(std::memcmp(back.data(), payload.data(), payload.size()), 0);
}

TEST(FileStream, FailuresBecomeResults) {
  TempFile file;
  NativeFile readOnly = file.Open(false);
  WinFileAsSeqStream stream(readOnly);
  std::uint32_t written = 9;
  const HRESULT hr = stream.Write("abc", 3, &written);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(hr & 0xFFFF0000, static_cast<HRESULT>(0x80070000));
  EXPECT_EQ(written, 0u);
  TempFile::Close(readOnly);
}

}  // namespace
}  // namespace QuickKit
