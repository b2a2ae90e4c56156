#include "net/buffered_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace QuickKit {
namespace {

// Counts the writes that reach it.
class CountingSink : public ISequentialStream {
 public:
  HRESULT Read(void*, std::uint32_t, std::uint32_t* bytesRead) override {
    if (bytesRead != nullptr) *bytesRead = 0;
    return S_FALSE;
  }
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override {
    ++writes;
    data.append(static_cast<const char*>(buffer), count);
    if (bytesWritten != nullptr) *bytesWritten = count;
    return S_OK;
  }
  int writes = 0;
  std::string data;
};

TEST(BufferedSeqStream, GathersChunksIntoLargeWrites) {
  CountingSink sink;
  const std::string chunk(512, 'x');
  {
    BufferedSeqStream buffered(&sink, 4096);
    for (int i = 0; i < 20; ++i) {
      std::uint32_t written = 0;
      ASSERT_EQ(buffered.Write(chunk.data(), 512, &written), S_OK);
      EXPECT_EQ(written, 512u);
    }
    EXPECT_EQ(sink.writes, 2);  // two full blocks so far
    EXPECT_EQ(buffered.Flush(), S_OK);
    EXPECT_EQ(sink.writes, 3);
    ASSERT_EQ(buffered.Write(chunk.data(), 100, nullptr), S_OK);
  }  // the destructor writes the rest
  EXPECT_EQ(sink.data.size(), 20u * 512 + 100);
}

TEST(BufferedSeqStream, TargetFailureIsReportedAndSticks) {
  char block[1000];
  MemoryAsSeqStream small(static_cast<void*>(block), sizeof block);
  BufferedSeqStream buffered(&small, 512);
  const std::string chunk(512, 'y');
  EXPECT_EQ(buffered.Write(chunk.data(), 512, nullptr), S_OK);
  // The second block does not fit into what is left of the target.
  EXPECT_EQ(buffered.Write(chunk.data(), 512, nullptr), S_OK);
  std::uint32_t written = 99;
  EXPECT_EQ(buffered.Write(chunk.data(), 1, &written), E_OUTOFMEMORY);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(buffered.Flush(), E_OUTOFMEMORY);
}

TEST(BufferedSeqStream, CopyStreamThroughTheBufferKeepsEveryByte) {
  std::string source(100000, '\0');
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i % 251);
  MemoryAsSeqStream input(static_cast<const void*>(source.data()),
                          static_cast<std::uint32_t>(source.size()));
  std::string target;
  StringAsSeqStreamA output(&target);
  BufferedSeqStream buffered(&output);
  ASSERT_EQ(CopyStream(&input, nullptr, &buffered, kUnknownTotal), S_OK);
  ASSERT_EQ(buffered.Flush(), S_OK);
  EXPECT_TRUE(target == source);
}

}  // namespace
}  // namespace QuickKit
