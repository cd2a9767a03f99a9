// The batch as plain data: output, temporary and incomplete names, duplicate outputs, lists of
// sources, the figures read back from ffprobe and the short-output rule, a result as JSON.
#include <gtest/gtest.h>

#include "jobs/BatchPlan.h"
#include "jobs/BatchResult.h"
#include "jobs/SourcePicture.h"
#include "platform/Paths.h"
#include "platform/Processes.h"
#include "tests/support/Support.h"

namespace vexlo::jobs {
namespace {

using testing::Native;

TEST(BatchPlan, NamesOutputsTemporariesAndRefusesTwoSourcesWithOneOutput) {
  struct Row {
    const char* source;
    bool audio;
    int outType;
    const char* sourcePath;
    const char* output;
  };
  const Row rows[] = {
      {"/in/clip.mp4", false, 0, "/in/clip.mp4", "/out/clip.H264"},
      {"/in.d/clip", false, 1, "/in.d/clip", "/out/clip.H265"},  // a folder's dot never counts
      {"/in/.hidden", false, 2, "/in/.hidden", "/out/.hidden.MPV"},
      {"rel/a.b.mov", true, 0, "/work/rel/a.b.mov", "/out/a.b.WAV"},
  };
  for (const Row& row : rows) {
    const BatchPlan plan = PlanBatch({Native(row.source)}, Native("/out/"),
                                     BatchExtension(row.audio, row.outType), Native("/work"), 42);
    ASSERT_EQ(plan.items.size(), 1u) << row.source;
    const BatchItem& item = plan.items[0];
    EXPECT_EQ(item.sourcePath, Native(row.sourcePath));
    EXPECT_EQ(item.outputPath, Native(row.output));
    const auto dot = item.outputPath.rfind('.');
    const std::string stem = item.outputPath.substr(0, dot);
    EXPECT_EQ(item.temporaryPath, stem + ".vexlo-partial-42" + item.outputPath.substr(dot));
    EXPECT_EQ(item.incompletePath, stem + ".incomplete" + item.outputPath.substr(dot));
    const auto name = item.temporaryPath.substr(item.temporaryPath.rfind(platform::kPathSeparator));
    EXPECT_EQ(TemporaryOwner(name.substr(1)), 42);
  }
  for (const char* name : {"a.vexlo-partial-.WAV", "a.vexlo-partial-7x.WAV",
                           "a.vexlo-partial--7.WAV", "a.vexlo-partial-7", "a.H264"}) {
    EXPECT_EQ(TemporaryOwner(name), std::nullopt) << name;
  }
  const BatchPlan twice =
      PlanBatch({Native("/a/x.mp4"), Native("/b/Clip.mp4"), Native("/c/clip.mov")}, "out", ".H264",
                Native("/w"), 1);
  // Windows' file names ignore the letter case.
  EXPECT_EQ(twice.refusal, platform::kPathSeparator == '/'
                               ? ""
                               : "two sources make the same output out\\clip.H264: \\b\\Clip.mp4 "
                                 "and \\c\\clip.mov");
  const BatchPlan same = PlanBatch({Native("/a/x.mp4"), Native("/b/x.mov"), Native("/c/y.mp4")},
                                   Native("/o"), ".MPV", "/w", 1);
  EXPECT_EQ(same.refusal,
            Native("two sources make the same output /o/x.MPV: /a/x.mp4 and /b/x.mov"));
  EXPECT_TRUE(same.items.empty());
  EXPECT_EQ(SourceListLines("a b\r\n\r\n\n c\nd"), (std::vector<std::string>{"a b", " c", "d"}));
  EXPECT_TRUE(platform::ProcessExists(platform::CurrentProcessId()));
  EXPECT_FALSE(platform::ProcessExists(1999999999));
}

TEST(BatchPlan, AResultIsOneLineOfJson) {
  const ItemResult result{"/a/\xff.mp4", "/o/x.H264", ItemState::kWaiting,
                          "a \"b\"\nc",  0.1234,      std::nullopt,
                          3.0194,        std::nullopt, std::nullopt, {},
                          std::nullopt,  std::nullopt};
  EXPECT_EQ(
      ResultJson(result),
      "{\"source\":\"/a/\xEF\xBF\xBD.mp4\",\"output\":\"/o/x.H264\",\"state\":\"not started\","
      "\"reason\":\"a \\\"b\\\"\\nc\",\"seconds\":0.123,\"source_duration\":null,"
      "\"output_duration\":3.019}");
}

// The bit depth the memory estimate takes from a prober's pixel format name, and what a 10-bit
// picture does to the estimate.
TEST(BatchPlan, EstimatesAnItemsMemoryFromItsPicture) {
  const std::pair<const char*, int> depths[] = {
      {"yuv420p", 8},      {"yuvj422p", 8},  {"nv12", 8},    {"rgb24", 8},
      {"yuv420p10le", 10}, {"p010le", 10},   {"gbrp12be", 12}, {"gray10le", 10},
      {"yuv444p16le", 16}, {"rgb48be", 16},  {"rgba64le", 16}, {"", 8}};
  for (const auto& [format, bits] : depths) EXPECT_EQ(BitDepthOf(format), bits) << format;
  encode::EncoderSettings x264, x265;
  x265.outType = 1;
  const auto mib = [](std::uint64_t bytes) { return bytes >> 20; };
  // 96 MiB and 40 (x264) or 120 (x265) 4:2:0 pictures of 1 or 2 bytes a sample.
  EXPECT_EQ(mib(EstimatedItemMemory({1920, 1080, 8}, x264, false)), 96 + 118);
  EXPECT_EQ(mib(EstimatedItemMemory({1920, 1080, 10}, x265, false)), 96 + 711);
  EXPECT_GT(EstimatedItemMemory({}, x265, false), EstimatedItemMemory({1920, 1080, 10}, x265, false));
}

}  // namespace
}  // namespace vexlo::jobs
