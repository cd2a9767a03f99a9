#include <gtest/gtest.h>

#include "app/Derivations.h"

namespace vexlo::app {
namespace {

struct DerivationCase {
  Destination button;
  const char* source;
  int outType;
  const char* expected;
};

class DestinationButtons : public ::testing::TestWithParam<DerivationCase> {};

TEST_P(DestinationButtons, CutAndAppendTheirSuffix) {
  const DerivationCase& c = GetParam();
  EXPECT_EQ(DeriveDestination(c.button, c.source, c.outType), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DestinationButtons,
    ::testing::Values(
        DerivationCase{Destination::kVid, "/in/clip.mov", 0, "/in/VIDEO.H264"},
        DerivationCase{Destination::kVid, "/in/clip.mov", 1, "/in/VIDEO.H265"},
        DerivationCase{Destination::kVid, "/in/clip.mov", 2, "/in/VIDEO.MPV"},
        DerivationCase{Destination::kVid, "/in/clip.mov", 7, "/in/VIDEO.MPV"},
        DerivationCase{Destination::kH264, "/in/clip.mov", 0, "/in/clip.H264"},
        DerivationCase{Destination::kH264, "/in/clip.mov", 1, "/in/clip.H265"},
        DerivationCase{Destination::kMpv, "/in/clip.mov", 2, "/in/clip.MPV"},
        DerivationCase{Destination::kMpv, "/in/clip.mov", -1, "/in/clip.MPV"},
        // The H265 button always gives ".H265".
        DerivationCase{Destination::kH265, "/in/clip.mov", 0, "/in/clip.H265"},
        DerivationCase{Destination::kH265, "/in/clip.mov", 2, "/in/clip.H265"},
        DerivationCase{Destination::kAud, "/in/clip.mov", 0, "/in/AUDIO.WAV"},
        DerivationCase{Destination::kWav, "/in/clip.mov", 0, "/in/clip.WAV"},
        // The last full stop may lie in a folder name.
        DerivationCase{Destination::kH264, "/my.folder/clip", 0, "/my.H264"},
        DerivationCase{Destination::kWav, "/my.folder/clip", 0, "/my.WAV"},
        // Without the cut character the source is copied unchanged.
        DerivationCase{Destination::kVid, "clip.mov", 0, "clip.mov"},
        DerivationCase{Destination::kAud, "clip.mov", 0, "clip.mov"},
        DerivationCase{Destination::kH264, "/in/clip", 0, "/in/clip"},
        DerivationCase{Destination::kWav, "", 0, ""},
        // A file in the root folder.
        DerivationCase{Destination::kVid, "/clip.mov", 0, "/VIDEO.H264"},
        DerivationCase{Destination::kH264, ".hidden", 0, ".H264"}));

TEST(BrowseDirectory, EndsWithOneSeparator) {
  EXPECT_EQ(BrowseDirectory("/in/clip.mov"), "/in/");
  EXPECT_EQ(BrowseDirectory("clip.mov"), "clip.mov/");
  EXPECT_EQ(BrowseDirectory(""), "/");
}

}  // namespace
}  // namespace vexlo::app
