// The target SSIM end to end through the batch over a real clip: the samples cut, searched and
// measured, the whole file encoded at the chosen position and measured, the JSON's figures
// against the files; --estimate, the hardware encoder's refusal, and a stop in mid-search.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "jobs/QualityTarget.h"
#include "platform/ChildProcess.h"
#include "tests/support/Support.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;

const fs::path kVexlo = fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo";

class Target : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kVexlo)) GTEST_SKIP() << "this build has no vexlo executable";
    fs::create_directories(dir_ + "/tmp");
    fs::create_directories(dir_ + "/out");
    // 10 s of a grainy moving picture: 3 samples of 1.5 s, and an SSIM that the CRF moves.
    ASSERT_EQ(std::system(("cd " + dir_ + " && \"" VEXLO_FFMPEG_PATH "\" -nostdin -v error -f " +
                           "lavfi -i testsrc2=size=160x90:rate=25:duration=10,noise=alls=4:allf=t "
                           "-c:v libx264 -crf 4 -pix_fmt yuv420p src.mp4")
                              .c_str()),
              0);
  }
  // vexlo's exit status, its samples' folders under dir_/tmp; `stopInSearch` stops it with
  // SIGTERM as soon as its samples' folder appears.
  int Run(const std::string& arguments, bool stopInSearch = false) {
    const std::string vexlo = "TMPDIR=" + dir_ + "/tmp " + kVexlo.string() + " " + arguments +
                              " >out.txt 2>err.txt";
    const std::string command =
        !stopInSearch ? vexlo
                      : vexlo + " & p=$!; for i in $(seq 600); do ls tmp | grep -q . && break; "
                                "sleep 0.1; done; kill -TERM $p; wait $p";
    // "cd DIR; ...": with "&&" the background run would take the cd into a shell of its own.
    const int status = std::system(("cd " + dir_ + "; " + command).c_str());
    out_ = testing::ReadAll(dir_ + "/out.txt");
    err_ = testing::ReadAll(dir_ + "/err.txt");
    const platform::ChildEnd end = platform::DescribeWaitStatus(status);
    return end.exited ? end.exitCode : -1;
  }
  bool TemporaryFolderEmpty() const { return fs::is_empty(dir_ + "/tmp"); }

  const std::string dir_ = testing::MakeTempDirectory("target");
  std::string out_, err_;
};

TEST_F(Target, BatchChoosesMeasuresAndReports) {
  ASSERT_EQ(Run("--output-dir out --json --target-ssim 0.95 src.mp4"), 0) << err_;
  const nlohmann::json item = nlohmann::json::parse(out_);
  const nlohmann::json& t = item.at("quality_target");
  EXPECT_EQ(item.at("state"), "done");
  EXPECT_EQ(t.at("target_ssim"), 0.95);
  const int position = t.at("position");
  const int crf = t.at("crf");
  EXPECT_EQ(crf, jobs::CrfOfPosition(position));
  // The encoder got the chosen CRF, and the figures are the output's own.
  EXPECT_NE(item.at("command_line").get<std::string>().find(" -crf " + std::to_string(crf) + " "),
            std::string::npos);
  EXPECT_EQ(t.at("measured_bytes"), fs::file_size(dir_ + "/out/src.H264"));
  EXPECT_NEAR(t.at("measured_ssim").get<double>(), item.at("quality").at("ssim").get<double>(),
              1e-5);
  EXPECT_GE(t.at("predicted_ssim").get<double>(), 0.95);
  EXPECT_GE(t.at("measured_ssim").get<double>(), 0.95 - 0.002);
  EXPECT_NEAR(t.at("predicted_bytes").get<double>() / t.at("measured_bytes").get<double>(), 1, 0.3);
  EXPECT_GT(t.at("search_seconds").get<double>(), 0);
  // Samples spread over the clip; the position above the choice was encoded and missed.
  EXPECT_NE(err_.find("##### SAMPLES: 3 of 1.500 s of 10.000 s, from 0.200 4.250 7.583"),
            std::string::npos)
      << err_;
  if (position < jobs::kCrfPositions - 1) {
    EXPECT_NE(err_.find("SAMPLES AT CRF " + std::to_string(jobs::CrfOfPosition(position + 1))),
              std::string::npos);
  }
  EXPECT_NE(err_.find("##### TARGET: src.mp4: target SSIM 0.950: position " +
                      std::to_string(position)),
            std::string::npos);
  EXPECT_TRUE(TemporaryFolderEmpty());

  // The estimate at a given position writes nothing but its line.
  ASSERT_EQ(Run("--estimate --json --crf 9 --source src.mp4"), 0) << err_;
  const nlohmann::json estimate = nlohmann::json::parse(out_);
  EXPECT_EQ(estimate.at("source"), "src.mp4");
  EXPECT_EQ(estimate.at("crf"), 18);
  EXPECT_GT(estimate.at("predicted_bytes").get<double>(), 0);
  EXPECT_GT(estimate.at("predicted_seconds").get<double>(), 0);
  EXPECT_GT(estimate.at("predicted_ssim").get<double>(), 0.9);
  EXPECT_TRUE(TemporaryFolderEmpty());

  // Refusals are one line before anything runs.
  const struct {
    const char* arguments;
    const char* line;
  } refusals[] = {
      {"--output-dir out --gpu nvidia --target-ssim 0.95 src.mp4",
       "vexlo: --target-ssim needs the software encoder (x264, x265): with --gpu the CRF list "
       "chooses a bit rate\n"},
      {"--output-dir out --target-ssim 1.5 src.mp4",
       "vexlo: --target-ssim takes an SSIM between 0 and 1, such as 0.97, not \"1.5\"\n"},
      {"--output-dir out --crf 3 --target-ssim 0.9 src.mp4",
       "vexlo: --target-ssim chooses the CRF: give --crf or --target-ssim, not both\n"},
  };
  for (const auto& refusal : refusals) {
    EXPECT_EQ(Run(refusal.arguments), 2) << refusal.arguments;
    EXPECT_EQ(err_, refusal.line);
  }

  // A stop in mid-search: status 130, the samples' folder gone, nothing written.
  EXPECT_EQ(Run("--output-dir out --overwrite --target-ssim 0.99 src.mp4", true), 130) << err_;
  EXPECT_TRUE(TemporaryFolderEmpty());
  EXPECT_FALSE(fs::exists(dir_ + "/out/src.incomplete.H264"));
}

}  // namespace
}  // namespace vexlo
