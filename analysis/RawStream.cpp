#include "analysis/RawStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "analysis/RbspReader.h"
#include "analysis/SequenceHeader.h"

namespace vexlo::analysis {

namespace {

using Bytes = std::basic_string_view<std::uint8_t>;

// Of a slice only its first bytes are kept (the first fields of its header); any other NAL unit
// is kept whole up to this size, far over any parameter set or SEI message an encoder writes.
constexpr std::size_t kSliceBytesKept = 16;
constexpr std::size_t kOtherBytesKept = 64 * 1024;

// The raw demuxer's clock: the prober gives each packet a duration in these ticks, rounded down.
constexpr std::uint64_t kDemuxerTicks = 1200000;

// The frame rates the prober rounds a stream's average rate to when one lies within 1 % of it,
// in 1/12012 frames a second: every twelfth of a frame up to 30, whole rates from 31 to 60, 80,
// 120 and 240, and the NTSC rates.
std::vector<std::uint64_t> StandardRates() {
  std::vector<std::uint64_t> rates;
  for (std::uint64_t twelfths = 1; twelfths <= 360; ++twelfths) rates.push_back(twelfths * 1001);
  for (std::uint64_t whole = 31; whole <= 60; ++whole) rates.push_back(whole * 12012);
  for (const std::uint64_t whole : {80, 120, 240}) rates.push_back(whole * 12012);
  for (const std::uint64_t ntsc : {24, 30, 60, 12, 15, 48}) rates.push_back(ntsc * 12000);
  return rates;
}

// The average rate the prober reports of a raw stream whose frames last `frameTicks` of a clock
// of `tickRate`: the rate of its packets' durations, rounded to a standard rate within 1 %.
// Nothing where that rounding is too close to call, or the durations are not whole ticks of the
// demuxer's clock and no standard rate is near, or the rate is far outside what encoders write.
std::optional<double> ProberAverageRate(std::uint64_t frameTicks, std::uint64_t tickRate) {
  if (frameTicks == 0 || tickRate == 0) return std::nullopt;
  const double exact = static_cast<double>(tickRate) / static_cast<double>(frameTicks);
  if (!(exact >= 0.5 && exact <= 240)) return std::nullopt;
  // The nearest standard rate and how far the next nearest is; the durations' rounding down may
  // move the rate by up to 2e-4 of itself.
  double nearest = 0, nearestError = 1, nextError = 1;
  for (const std::uint64_t rate : StandardRates()) {
    const double standard = static_cast<double>(rate) / 12012;
    const double error = std::fabs(exact / standard - 1);
    if (error < nearestError) {
      nextError = nearestError, nearestError = error, nearest = standard;
    } else {
      nextError = std::min(nextError, error);
    }
  }
  if (std::fabs(nearestError - 0.01) < 0.0005) return std::nullopt;
  if (nearestError < 0.01) {
    if (nextError - nearestError < 0.0005) return std::nullopt;
    return nearest;
  }
  if (kDemuxerTicks * frameTicks % tickRate != 0) return std::nullopt;
  return exact;
}

}  // namespace

struct RawStreamReader::State {
  RawCodec codec;
  bool measureGop;
  bool failed = false;
  bool started = false;                    // the first start code was seen
  std::vector<std::uint8_t> nal;           // the NAL unit being read, up to what is kept of it
  bool nalCut = false;                     // bytes of it were not kept
  std::size_t zeros = 0;                   // zero bytes just read
  std::vector<std::uint8_t> parameterSet;  // the first sequence parameter set, as it was read
  std::optional<SequenceHeader> header;
  std::int64_t frames = 0;
  bool pictureOpen = false;  // the last NAL unit read was a slice of the current picture's
  std::uint32_t lastFirstMb = 0;
  bool closedAfterPicture = false;  // a NAL unit that begins a picture came after the last slice
  bool recoveryPoint = false;       // an SEI message of the next picture makes it a key frame
  int run = 0, longestRun = 0;

  std::size_t HeaderSize() const { return codec == RawCodec::kH264 ? 1 : 2; }

  bool IsSlice() const {
    if (codec == RawCodec::kH264) return (nal[0] & 0x1F) == 1 || (nal[0] & 0x1F) == 5;
    const int type = nal[0] >> 1 & 0x3F;
    return type <= 9 || (type >= 16 && type <= 21);
  }

  void Keep(const std::uint8_t* bytes, std::size_t size) {
    if (!started) {
      failed = failed || std::any_of(bytes, bytes + size, [](std::uint8_t b) { return b != 0; });
      return;
    }
    const std::size_t head = std::min(size, HeaderSize() - std::min(HeaderSize(), nal.size()));
    nal.insert(nal.end(), bytes, bytes + head);
    bytes += head, size -= head;
    if (size == 0) return;
    const std::size_t limit = IsSlice() ? kSliceBytesKept : kOtherBytesKept;
    const std::size_t kept = std::min(size, limit - std::min(limit, nal.size()));
    nal.insert(nal.end(), bytes, bytes + kept);
    nalCut = nalCut || kept < size;
  }

  void Take(const std::uint8_t* bytes, std::size_t size) {
    Keep(bytes, size);
    std::size_t trailing = 0;
    while (trailing < size && bytes[size - 1 - trailing] == 0) ++trailing;
    zeros = trailing == size ? std::min<std::size_t>(zeros + size, 4) : trailing;
  }

  void StartPicture(bool key) {
    ++frames;
    run = key && frames > 1 ? 1 : run + 1;
    longestRun = std::max(longestRun, run);
  }

  // A NAL unit that may only come before a picture's first slice: the picture before it ends.
  void ClosePicture() {
    pictureOpen = false;
    closedAfterPicture = frames > 0;
  }

  void ReadParameterSet() {
    if (nalCut) {
      failed = true;
    } else if (parameterSet.empty()) {
      parameterSet = nal;
      header = codec == RawCodec::kH264 ? ReadH264SequenceHeader(Bytes(nal.data(), nal.size()))
                                        : ReadH265SequenceHeader(Bytes(nal.data(), nal.size()));
      failed = failed || !header;
    } else {
      failed = failed || nal != parameterSet;  // the prober reports the first one only
    }
  }

  void EndNal() {
    if (!started) {
      started = true;
    } else {
      if (!nalCut) {
        while (!nal.empty() && nal.back() == 0) nal.pop_back();  // the next start code's zeros
      }
      if (nal.size() < HeaderSize() || (nal[0] & 0x80) != 0) {
        failed = true;
      } else if (codec == RawCodec::kH264) {
        ReadH264Nal();
      } else {
        ReadH265Nal();
      }
    }
    nal.clear();
    nalCut = false;
  }

  void ReadH264Nal();
  void ReadH264Sei();
  void ReadH265Nal();
};

void RawStreamReader::State::ReadH264Nal() {
  switch (nal[0] & 0x1F) {
    case 1:
    case 5: {
      const std::vector<std::uint8_t> payload =
          UnescapedPayload(Bytes(nal.data() + 1, nal.size() - 1));
      RbspReader bits(payload);
      const std::uint32_t firstMb = bits.Unsigned();
      if (!header || bits.overrun()) {
        failed = true;
        return;
      }
      // The prober's parser starts a packet at a slice that does not follow the one before it.
      if (!pictureOpen || firstMb <= lastFirstMb) {
        StartPicture((nal[0] & 0x1F) == 5 || recoveryPoint);
        recoveryPoint = false;
      }
      pictureOpen = true;
      closedAfterPicture = false;
      lastFirstMb = firstMb;
      return;
    }
    case 6:
      ClosePicture();
      if (measureGop) ReadH264Sei();
      return;
    case 7:
      ClosePicture();
      ReadParameterSet();
      return;
    case 8:
    case 9:
      ClosePicture();
      return;
    case 10:
    case 11:
    case 12:
      return;  // the end of a sequence or of the stream, filler data
    default:
      failed = true;  // data partitions, scalable or multiview coding, auxiliary pictures
  }
}

// The messages of an SEI unit: a recovery point makes the picture that follows a key frame for
// the prober's parser, when its frame count is one that its frame_num can reach.
void RawStreamReader::State::ReadH264Sei() {
  const std::vector<std::uint8_t> payload = UnescapedPayload(Bytes(nal.data() + 1, nal.size() - 1));
  if (nalCut || !header) {
    failed = true;
    return;
  }
  std::size_t at = 0;
  const auto number = [&](std::uint64_t& value) {
    value = 0;
    while (at < payload.size() && payload[at] == 0xFF) value += 255, ++at;
    if (at == payload.size()) return false;
    value += payload[at++];
    return true;
  };
  while (at < payload.size() && !(at + 1 == payload.size() && payload[at] == 0x80)) {
    std::uint64_t type = 0, size = 0;
    if (!number(type) || !number(size) || size > payload.size() - at) {
      failed = true;
      return;
    }
    if (type == 6) {
      const std::vector<std::uint8_t> message(payload.begin() + at, payload.begin() + at + size);
      RbspReader bits(message);
      const std::uint32_t recoveryFrames = bits.Unsigned();
      if (bits.overrun() || recoveryFrames >= (1u << header->log2MaxFrameNum)) {
        failed = true;
        return;
      }
      recoveryPoint = true;
    }
    at += size;
  }
}

void RawStreamReader::State::ReadH265Nal() {
  const int type = nal[0] >> 1 & 0x3F;
  const int layer = (nal[0] & 1) << 5 | nal[1] >> 3, temporalId = nal[1] & 7;
  if (layer != 0 || temporalId == 0) {
    failed = true;  // layered coding
  } else if (type <= 9 || (type >= 16 && type <= 21)) {
    if (!header || nal.size() < 3) {
      failed = true;
    } else if ((nal[2] & 0x80) != 0) {  // first_slice_segment_in_pic_flag
      StartPicture(type >= 16);         // an IRAP picture
      pictureOpen = true;
      closedAfterPicture = false;
    } else {
      failed = failed || !pictureOpen;
      closedAfterPicture = false;
    }
  } else if (type == 33) {
    ClosePicture();
    ReadParameterSet();
  } else if ((type >= 32 && type <= 37) || type == 39) {
    ClosePicture();  // parameter sets, delimiters, the ends of a sequence or stream, prefix SEI
  } else if (type != 38 && type != 40) {  // filler data, suffix SEI
    failed = true;
  }
}

RawStreamReader::RawStreamReader(RawCodec codec, bool measureGop)
    : state_(std::make_unique<State>()) {
  state_->codec = codec;
  state_->measureGop = measureGop;
}

RawStreamReader::~RawStreamReader() = default;

void RawStreamReader::Feed(const std::uint8_t* bytes, std::size_t size) {
  State& state = *state_;
  std::size_t at = 0;
  while (at < size && !state.failed) {
    const void* one = std::memchr(bytes + at, 1, size - at);
    const std::size_t end =
        one ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(one) - bytes) : size;
    state.Take(bytes + at, end - at);
    if (!one) break;
    if (state.zeros >= 2) {
      state.EndNal();
      state.zeros = 0;
    } else {
      state.Take(bytes + end, 1);
    }
    at = end + 1;
  }
}

bool RawStreamReader::GaveUp() const {
  return state_->failed;
}

std::optional<RawStreamReading> RawStreamReader::Finish() {
  State& state = *state_;
  if (!state.started || state.failed) return std::nullopt;
  state.EndNal();
  // Fewer than three packets give the prober no average rate; a NAL unit after the last picture
  // that begins another makes a packet of its own.
  if (state.failed || !state.header || state.frames < 3 || state.closedAfterPicture) {
    return std::nullopt;
  }
  const auto rate = ProberAverageRate(state.header->frameTicks, state.header->tickRate);
  if (!rate) return std::nullopt;
  RawStreamReading reading;
  reading.frameRate = rate;
  reading.video.found = true;
  reading.video.frames = state.frames;
  reading.video.size = state.header->size;
  reading.video.pixelFormat = state.header->pixelFormat;
  reading.video.profile = state.header->profile;
  if (state.measureGop) {
    // Without timestamps the prober measures the GOP only in decoding order, and only where
    // that is the order frames are shown in.
    if (!state.header->reorderFrames) return std::nullopt;
    if (*state.header->reorderFrames == 0) reading.video.longestGop = state.longestRun;
  }
  return reading;
}

std::optional<RawStreamReading> ReadRawStream(const std::string& path, RawCodec codec,
                                              bool measureGop) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  RawStreamReader reader(codec, measureGop);
  std::vector<char> chunk(1 << 20);
  while (file && !reader.GaveUp()) {
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    reader.Feed(reinterpret_cast<const std::uint8_t*>(chunk.data()),
                static_cast<std::size_t>(file.gcount()));
  }
  if (file.bad()) return std::nullopt;
  return reader.Finish();
}

}  // namespace vexlo::analysis
