#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/FrameParser.h"
#include "analysis/IndexFile.h"

namespace vexlo::analysis {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + name;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Append(Bytes& bytes, std::initializer_list<std::uint8_t> more) {
  bytes.insert(bytes.end(), more);
}
void AppendZeros(Bytes& bytes, std::size_t count) {
  bytes.insert(bytes.end(), count, 0);
}

// Three video frames (the header describes the third) and an audio frame among them.
constexpr const char* kReport =
    "[FRAME]\nmedia_type=video\nkey_frame=1\npkt_duration_time=0.500000\npkt_pos=48\n"
    "pkt_size=1277\nwidth=64\nheight=48\npix_fmt=yuv420p\nsample_aspect_ratio=1:1\n"
    "pict_type=I\ninterlaced_frame=0\ntop_field_first=0\n[/FRAME]\n"
    "[FRAME]\nmedia_type=audio\nkey_frame=1\npkt_duration_time=0.023220\npkt_pos=1583\n"
    "pkt_size=258\n[/FRAME]\n"
    "[FRAME]\nmedia_type=video\nkey_frame=0\npkt_duration_time=0.500000\npkt_pos=1841\n"
    "pkt_size=300\nwidth=64\nheight=48\npix_fmt=yuv420p\nsample_aspect_ratio=1:1\n"
    "pict_type=P\ninterlaced_frame=0\ntop_field_first=0\n[/FRAME]\n"
    "[FRAME]\nmedia_type=video\nkey_frame=0\npkt_duration_time=0.500000\npkt_pos=4294967296\n"
    "pkt_size=70000.9\nwidth=720\nheight=576\npix_fmt=yuv422p10le\nsample_aspect_ratio=64:45\n"
    "pict_type=B\ninterlaced_frame=1\ntop_field_first=1\n[/FRAME]\n";

TEST(AnalysisIndexFile, ReportGivesTheExactBytes) {
  const std::string path = TempPath("layout.INDX");
  IndexFile file;
  ASSERT_EQ(file.Open(path), 0);
  FrameParseState state;
  FrameParseHooks hooks;
  hooks.writeRecord = [&](const FrameRecord& r) { file.WriteRecord(r); };
  std::string report = kReport;
  for (std::size_t start = 0, end; (end = report.find('\n', start)) != std::string::npos;
       start = end + 1) {
    ParseFrameLine(state, std::string_view(report).substr(start, end - start), hooks);
  }
  ASSERT_EQ(file.Finish(&state.header), 0);

  Bytes expected;
  Append(expected, {3, 0, 0, 0, 0, 0, 0, 0});        // 3 video frames
  Append(expected, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F});  // total 1.5 s (double)
  Append(expected, {0, 0, 0, 0x40});                 // 2.0 frames/s (float)
  Append(expected, {0, 0, 0, 0x3F});                 // frame duration 0.5 s
  Append(expected, {1});                             // interlaced
  Append(expected, {1});                             // top field first
  Append(expected, {'y', 'u', 'v', '4', '2', '2', 'p', '1', '0', 'l', 'e'});  // pixel format
  AppendZeros(expected, 11);             // its NUL and zero fill to 22
  Append(expected, {0xD0, 0x02, 0, 0});  // width 720
  Append(expected, {0x40, 0x02, 0, 0});  // height 576
  Append(expected, {'v', 0, 0, 0});      // media type letter
  Append(expected, {64, 0, 0, 0});       // aspect numerator
  Append(expected, {45, 0, 0, 0});       // aspect denominator
  AppendZeros(expected, 100);            // reserved
  ASSERT_EQ(expected.size(), 168u);
  Append(expected, {1, 'I', 0, 0, 0, 0, 0, 0});         // key frame, I, reserved
  Append(expected, {48, 0, 0, 0, 0, 0, 0, 0});          // packet position 48
  Append(expected, {0xFD, 0x04, 0, 0, 0, 0, 0, 0});     // size 1277, reserved
  Append(expected, {0, 'P', 0, 0, 0, 0, 0, 0});         // not key, P, reserved
  Append(expected, {0x31, 0x07, 0, 0, 0, 0, 0, 0});     // packet position 1841
  Append(expected, {0x2C, 0x01, 0, 0, 0, 0, 0, 0});     // size 300, reserved
  Append(expected, {0, 'B', 0, 0, 0, 0, 0, 0});         // not key, B, reserved
  Append(expected, {0, 0, 0, 0, 1, 0, 0, 0});           // position 2^32 (64 bits)
  Append(expected, {0x70, 0x11, 0x01, 0, 0, 0, 0, 0});  // size 70000 (truncated)
  EXPECT_EQ(ReadAll(path), expected);
}

TEST(AnalysisIndexFile, WriterStates) {
  const std::string path = TempPath("states.INDX");
  IndexFile file;
  EXPECT_EQ(file.WriteRecord(FrameRecord{}), -1);  // nothing open
  ASSERT_EQ(file.Open(path), 0);
  EXPECT_EQ(ReadAll(path), Bytes(168, 0));  // the zero header is on disk at once
  EXPECT_EQ(file.Finish(nullptr), -1);
  EXPECT_TRUE(file.isOpen());
  IndexHeader header;
  header.frameCount = 7;
  EXPECT_EQ(file.Finish(&header), 0);
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.Finish(&header), -1);  // a second Finish writes nothing
  EXPECT_EQ(file.header().frameCount, 7);
  EXPECT_EQ(file.Open(TempPath("no-such-folder/x.INDX")), -1);
  EXPECT_FALSE(file.isOpen());
}

TEST(AnalysisIndexFile, RecordsBeyondTheBufferAllReachTheFileInOrder) {
  const std::string path = TempPath("many.INDX");
  IndexFile file;
  ASSERT_EQ(file.Open(path), 0);
  const int count = static_cast<int>(3 * IndexFile::kBufferSize / sizeof(FrameRecord) + 5);
  for (int i = 0; i < count; ++i) {
    FrameRecord record;
    record.position = i;
    ASSERT_EQ(file.WriteRecord(record), 0);
  }
  IndexHeader header;
  ASSERT_EQ(file.Finish(&header), 0);
  const Bytes bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 168 + count * sizeof(FrameRecord));
  for (int i = 0; i < count; i += 997) {
    std::int64_t position;
    std::memcpy(&position, bytes.data() + 168 + i * sizeof(FrameRecord) + 8, sizeof position);
    EXPECT_EQ(position, i);
  }
}

TEST(AnalysisIndexFile, ReleaseLeavesTheZeroHeader) {
  const std::string path = TempPath("released.INDX");
  {
    IndexFile file;
    ASSERT_EQ(file.Open(path), 0);
    file.Release();
    EXPECT_FALSE(file.isOpen());
  }
  EXPECT_EQ(ReadAll(path), Bytes(168, 0));
}

}  // namespace
}  // namespace vexlo::analysis
