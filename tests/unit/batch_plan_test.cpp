// The batch as plain data: output, temporary and incomplete names, duplicate outputs, lists of
// sources, the figures read back from ffprobe and the short-output rule, a result as JSON.
#include <gtest/gtest.h>

#include <limits>

#include "jobs/BatchPlan.h"
#include "jobs/BatchResult.h"
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
  ItemResult result{"/a/\xff.mp4",
                    "/o/x.H264",
                    ItemState::kNotStarted,
                    "a \"b\"\nc",
                    0.1234,
                    std::nullopt,
                    3.0194,
                    false,
                    std::nullopt,
                    ""};
  const std::string head =
      "{\"source\":\"/a/\xEF\xBF\xBD.mp4\",\"output\":\"/o/x.H264\",\"state\":\"not started\","
      "\"reason\":\"a \\\"b\\\"\\nc\",\"seconds\":0.123,\"source_duration\":null,"
      "\"output_duration\":3.019";
  EXPECT_EQ(ResultJson(result), head + "}");
  // A measured item: its figures, null when the measurement failed, and a PSNR of identical
  // frames (infinite) as null; the log line gives the same figures or why there are none.
  const QualityFigures figures{0.987123, 0.98434, 0.99206, 0.99304, 41.2349, 240, 250};
  QualityFigures identical = figures;
  identical.psnr = std::numeric_limits<double>::infinity();
  const std::string members =
      "\"ssim\":0.987123,\"ssim_y\":0.98434,\"ssim_u\":0.99206,\"ssim_v\":0.99304,\"psnr\":41."
      "2349,\"frames\":240,\"source_frames\":250";
  EXPECT_EQ(QualityJson("s", "o", figures), "{\"source\":\"s\",\"output\":\"o\"," + members + "}");
  const struct {
    std::optional<QualityFigures> quality;
    std::string json;  // after the head
    std::string log;   // the log line's end
  } rows[] = {
      {figures, ",\"quality\":{" + members + "}}",
       "done: a -> b (0.1 s): SSIM 0.98712 (Y 0.9843 U 0.9921 V 0.9930), PSNR 41.23 dB, 240 of "
       "250 frames ######\r\n"},
      {identical, ",\"psnr\":null,", "PSNR inf dB, 240 of 250 frames ######\r\n"},
      {std::nullopt, ",\"quality\":null}",
       "done: a -> b (0.1 s): quality not measured: why ######\r\n"},
  };
  result.measured = true;
  result.qualityFailure = "why";
  for (const auto& row : rows) {
    result.quality = row.quality;
    EXPECT_NE(ResultJson(result).find(row.json), std::string::npos) << ResultJson(result);
    ItemResult done = result;
    done.state = ItemState::kDone;
    done.source = "a";
    done.output = "b";
    done.reason.clear();
    EXPECT_TRUE(ResultLogLine(done, 1, 1).ends_with(row.log)) << ResultLogLine(done, 1, 1);
  }
}

}  // namespace
}  // namespace vexlo::jobs
