#pragma once

// The encoder settings as every command-line builder reads them, and the one reading of the
// stored output type.
namespace vexlo::encode {

/// How the AMD choice encodes: through AMD's own encoders (AMF, a Windows route) or through VA-API
/// on the first render node (FFmpeg has no AMF encoder elsewhere).
enum class AmdRoute { kAmf, kVaapi };
#ifdef _WIN32
inline constexpr AmdRoute kSystemAmdRoute = AmdRoute::kAmf;
#else
inline constexpr AmdRoute kSystemAmdRoute = AmdRoute::kVaapi;
#endif

/// What an encode makes: an H.264 or an H.265 stream, or MPV (H.265 in MP4).
enum class OutputType { kH264, kH265, kMpv };

/// The output type a stored number means, wherever one is kept (the settings' radio group, a
/// queue item's settings, the option form's type): 0 H.264, 1 H.265, and any other number MPV,
/// as the command-line builders always read it (a window with no radio checked stores -1).
constexpr OutputType OutputTypeOf(int stored) {
  if (stored == 0) return OutputType::kH264;
  return stored == 1 ? OutputType::kH265 : OutputType::kMpv;
}

// The window's encoder settings as a command-line builder reads them. The indexes are positions
// in the window's lists; -1 means the list has no selection. An index that no list position has
// falls to the default row of its table (OptionTables.h).
struct EncoderSettings {
  int outType = 0;  // as stored: OutputTypeOf gives what it means
  int gpuType = 0;  // 0 software, 1 NVIDIA, 2 AMD
  int profile = 0;  // 0 baseline, 1 main, 2 high
  int crf = 0;      // the "CRF (3=Best)" list: a CRF for software, a bit rate for hardware
  int fps = 0;      // the "Force FPS" list, 0 = none
  int resize = 0;   // the "Video Resize" list, 0 = no resize
  bool deinterlace = false;
  bool shortGop = false;
  bool useReport = false;  // the tool writes its own report file
  AmdRoute amdRoute = kSystemAmdRoute;
  /// A target SSIM (0 < t < 1) that chooses the CRF position from samples before the encode
  /// (jobs/QualityTarget); 0 for none, the CRF position then being the one encoded.
  double targetSsim = 0;
};

}  // namespace vexlo::encode
