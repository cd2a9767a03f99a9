// The command-line batch end to end: the real ffmpeg and ffprobe over the clips of the clips
// fixture, the JSON on standard output as the program writes it, and a real SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "jobs/Batch.h"
#include "jobs/BatchSchedule.h"
#include "platform/StandardStreams.h"
#include "platform/SystemResources.h"
#include "tests/support/Support.h"

namespace vexlo::jobs {
namespace {

namespace fs = std::filesystem;
using testing::Clip;
using Json = nlohmann::json;

struct Ran {
  int status = -1;
  std::vector<Json> items;  // each line of standard output, read as JSON
  std::string log;
};

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    request_.programDir = testing::MakeTempDirectory("batch-program");
    fs::create_symlink(VEXLO_FFMPEG_PATH, request_.programDir + "/ffmpeg.bin");
    fs::create_symlink(VEXLO_FFPROBE_PATH, request_.programDir + "/ffprobe.bin");
    request_.outputDir = out_;
    request_.json = true;
  }
  // Runs the batch with standard output going to a file that the JSON is written to, as the
  // program does, so that whatever else wrote to standard output would spoil it. `onLog` sees
  // each log line as it comes.
  Ran Run(const std::function<void(std::string_view)>& onLog = {}) {
    const std::string streams = testing::MakeTempDirectory("batch-streams");
    const int stdoutFile = ::open((streams + "/stdout").c_str(), O_CREAT | O_RDWR, 0600);
    const int logFile = ::open((streams + "/log").c_str(), O_CREAT | O_RDWR, 0600);
    std::fflush(stdout);
    const int terminal = ::dup(STDOUT_FILENO);
    ::dup2(stdoutFile, STDOUT_FILENO);
    BatchOutput output = DescriptorOutput(logFile, STDOUT_FILENO);
    output.log = [&, log = output.log](std::string_view line) {
      log(line);
      if (onLog) onLog(line);
    };
    Ran ran;
    ran.status = RunBatch(request_, output, stop_);
    std::fflush(stdout);
    ::dup2(terminal, STDOUT_FILENO);
    for (int fd : {terminal, stdoutFile, logFile}) ::close(fd);
    std::istringstream lines(testing::ReadAll(streams + "/stdout"));
    for (std::string line; std::getline(lines, line);) ran.items.push_back(Json::parse(line));
    ran.log = testing::ReadAll(streams + "/log");
    return ran;
  }
  std::set<std::string> OutputFiles() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(out_)) names.insert(entry.path().filename());
    return names;
  }

  const std::string out_ = testing::MakeTempDirectory("batch-out");
  BatchRequest request_;
  BatchStop stop_;
};

// Sources of several kinds, one cut short and one missing: each item's JSON line, the check that
// fails the cut one (its output kept only as .incomplete), a dead run's leftover removed and a
// living run's kept; then a second run that skips every output, a WAV batch with a source
// without sound, and a batch refused for two sources with the same output.
TEST_F(Batch, EncodesChecksAndReportsEveryItem) {
  const std::string live = "old.vexlo-partial-" + std::to_string(::getppid()) + ".H264";
  std::ofstream(out_ + "/old.vexlo-partial-1999999999.H264") << "x";
  std::ofstream(out_ + "/" + live) << "x";
  request_.sources = {Clip("ten.mp4"), Clip("s422.mp4"), Clip("cut.mp4"), out_ + "/gone.mp4"};
  Ran ran = Run();
  EXPECT_EQ(ran.status, 1) << ran.log;
  ASSERT_EQ(ran.items.size(), 4u) << ran.log;
  for (int i : {0, 1}) {
    EXPECT_EQ(ran.items[i]["state"], "done") << ran.items[i];
    EXPECT_NEAR(ran.items[i]["output_duration"].get<double>(), 3.0, 0.05) << ran.items[i];
    EXPECT_NEAR(ran.items[i]["source_duration"].get<double>(), 3.0, 0.05) << ran.items[i];
  }
  EXPECT_EQ(ran.items[1]["output"], out_ + "/s422.H264");
  EXPECT_EQ(ran.items[2]["state"], "failed");
  EXPECT_NE(ran.items[2]["reason"].get<std::string>().find("The output ends at 0:04.48 of the source's 0:10.00"),
            std::string::npos)
      << ran.items[2];
  EXPECT_EQ(ran.items[3]["source"], out_ + "/gone.mp4");
  EXPECT_EQ(ran.items[3]["state"], "failed");
  EXPECT_EQ(ran.items[3]["reason"], "cannot read the source: No such file or directory");
  EXPECT_EQ(OutputFiles(),
            (std::set<std::string>{"ten.H264", "s422.H264", "cut.incomplete.H264", live}));
  EXPECT_EQ(testing::Count(ran.log, "##### BATCH "), 5u) << ran.log;  // one per item, the end
  EXPECT_EQ(testing::Count(ran.log, "removed old.vexlo-partial-1999999999.H264"), 1u);

  request_.sources.resize(2);
  request_.existing = ExistingOutput::kSkip;
  ran = Run();
  EXPECT_EQ(ran.status, 0);
  ASSERT_EQ(ran.items.size(), 2u);
  EXPECT_EQ(ran.items[1]["state"], "skipped");
  EXPECT_EQ(testing::Count(ran.log, "COMMAND"), 0u) << ran.log;

  request_.audio = true;
  request_.existing = ExistingOutput::kOverwrite;
  std::ofstream(out_ + "/clip.WAV") << "an older file";
  request_.sources = {Clip("clip.mp4"), Clip("long.mp4")};  // the long clip has no sound
  ran = Run();
  EXPECT_EQ(ran.status, 1);
  ASSERT_EQ(ran.items.size(), 2u);
  EXPECT_EQ(ran.items[0]["state"], "done");
  EXPECT_NEAR(ran.items[0]["output_duration"].get<double>(), 3.0, 0.05);
  EXPECT_GT(fs::file_size(out_ + "/clip.WAV"), 100000u);
  EXPECT_EQ(ran.items[1]["state"], "failed");
  EXPECT_EQ(ran.items[1]["reason"],
            "Output file #0 does not contain any stream; ffmpeg.bin exited with code 1");
  EXPECT_FALSE(fs::exists(out_ + "/long.WAV"));
  request_.existing = ExistingOutput::kRefuse;
  request_.sources.resize(1);
  ran = Run();
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.items.at(0)["reason"],
            "the output exists (--skip-existing skips such items, --overwrite replaces them)");

  std::ofstream(out_ + "/list") << Clip("clip.mp4") << "\r\n\r\n" << out_ + "/clip.mov\n";
  request_.sources = {Clip("ten.mp4")};
  request_.sourcesFrom = out_ + "/list";
  const std::set<std::string> before = OutputFiles();
  ran = Run();
  EXPECT_EQ(ran.status, 2);
  EXPECT_EQ(ran.log, "vexlo: two sources make the same output " + out_ +
                         "/clip.WAV: " + Clip("clip.mp4") + " and " + out_ + "/clip.mov\n");
  EXPECT_TRUE(ran.items.empty());
  EXPECT_EQ(OutputFiles(), before);
}

BatchStop* signalled = nullptr;

// SIGTERM while the first item's tool runs: that tool stopped, its temporary file removed, the
// other items not started, status 130.
TEST_F(Batch, SigtermStopsTheRunningToolAndStartsNoOther) {
  request_.settings.outType = 1;  // H.265 of the 120 s clip: seconds of work
  request_.sources = {Clip("long.mp4"), Clip("clip.mp4"), Clip("ten.mp4")};
  signalled = &stop_;
  struct sigaction action {};
  action.sa_handler = [](int) { signalled->Request(); };
  ::sigaction(SIGTERM, &action, nullptr);
  std::mutex mutex;
  std::condition_variable progressed;
  bool encoding = false;
  Ran ran;
  std::thread batch([&] {
    ran = Run([&](std::string_view line) {
      std::lock_guard lock(mutex);
      encoding = encoding || line.starts_with("frame=");
      progressed.notify_all();
    });
  });
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(progressed.wait_for(lock, std::chrono::minutes(2), [&] { return encoding; }));
  }
  ::kill(::getpid(), SIGTERM);
  batch.join();
  ::signal(SIGTERM, SIG_DFL);
  EXPECT_EQ(ran.status, 130) << ran.log;
  ASSERT_EQ(ran.items.size(), 3u);
  EXPECT_EQ(ran.items[0]["state"], "failed");
  EXPECT_EQ(ran.items[0]["reason"], "stopped before its end: the batch was interrupted");
  for (int i : {1, 2}) EXPECT_EQ(ran.items[i]["state"], "not started") << ran.items[i];
  EXPECT_TRUE(OutputFiles().empty());
}

// Items side by side with a stand-in ffmpeg.bin that records its starts and ends, writes its
// temporary output and then fails (or waits to be stopped): how many tools ever ran at once,
// the threads each was given, and what a SIGTERM in the middle leaves.
TEST_F(Batch, RunsItemsSideBySideWithinTheirLimits) {
  struct Row {
    std::string name;
    unsigned jobs;  // 0: auto
    int gpuType;
    std::optional<unsigned> gpuSessions;
    int sources;
    bool stop;             // SIGTERM once `atMost` tools have started
    unsigned atMost;       // the most tools at once, and exactly that many
    bool threadsBounded;   // the command lines carry -threads
    double freeItems = 0;  // auto: the memory free, in items' estimates; 0 leaves the system's
  };
  // The stand-in sources are no video: each is estimated as the largest picture.
  const double estimate = static_cast<double>(EstimatedItemMemory({}, request_.settings, false));
  const bool autoIsWide = platform::ProcessorCount() > 1;
  const Row rows[] = {
      {"--jobs 2", 2, 0, {}, 5, false, 2, true},
      {"one NVIDIA session", 0, 1, 1u, 3, false, 1, false},
      {"--jobs 2 of one source", 2, 0, {}, 1, false, 1, false},
      {"auto, memory for one item", 0, 0, {}, 3, false, 1, true, 1.5},
      {"auto, memory for three", 0, 0, {}, 3, false, autoIsWide ? 2u : 1u, true, 3.5},
      {"SIGTERM mid-run", 2, 0, {}, 3, true, 2, true},  // last: the stop stays asked for
  };
  const std::string record = request_.programDir + "/record";
  fs::remove(request_.programDir + "/ffmpeg.bin");
  std::ofstream(request_.programDir + "/ffmpeg.bin")
      << "#!/bin/sh\nfor last; do :; done\n: > \"$last\"\necho \"start $$ $*\" >> " << record
      << "\nif grep -q stop " << record << ".mode; then sleep 30 & echo \"wait $!\" >> "
      << record << "; wait; fi\n"
      << "if grep -q slow " << record << ".mode; then sleep 1.5; fi\n"
      << "sleep 0.3; echo \"end $$\" >> " << record << "\nexit 1\n";
  fs::permissions(request_.programDir + "/ffmpeg.bin", fs::perms::owner_all);
  signalled = &stop_;
  struct sigaction action {};
  action.sa_handler = [](int) { signalled->Request(); };
  ::sigaction(SIGTERM, &action, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(record);
    // The memory rows' tools outlast the probe of the next source.
    std::ofstream(record + ".mode") << (row.stop ? "stop" : row.freeItems > 0 ? "slow" : "go");
    request_.jobs = row.jobs;
    request_.settings.gpuType = row.gpuType;
    request_.gpuSessions = row.gpuSessions;
    request_.availableMemory = [free = row.freeItems * estimate]() -> std::optional<std::uint64_t> {
      if (free == 0) return platform::AvailableMemoryBytes();
      return static_cast<std::uint64_t>(free);
    };
    request_.sources.clear();
    const std::string sources = testing::MakeTempDirectory("batch-sources");
    for (int i = 0; i < row.sources; ++i) {
      request_.sources.push_back(sources + "/s" + std::to_string(i) + ".mp4");
      std::ofstream(request_.sources.back()) << "x";
    }
    for (const auto& entry : fs::directory_iterator(out_)) fs::remove(entry.path());
    std::thread terminate;
    if (row.stop) {
      terminate = std::thread([&] {
        for (int waited = 0; waited < 600; ++waited) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          const std::string recorded = testing::ReadAll(record);
          std::size_t waiting = 0;
          for (auto at = recorded.find("wait "); at != recorded.npos;
               at = recorded.find("wait ", at + 1)) {
            ++waiting;
          }
          if (waiting >= row.atMost) break;
        }
        ::kill(::getpid(), SIGTERM);
      });
    }
    const Ran ran = Run();
    if (terminate.joinable()) terminate.join();
    // The tools' records: never more running than allowed, and that many did run at once.
    std::istringstream lines(testing::ReadAll(record));
    unsigned running = 0, most = 0;
    std::vector<long> pids;
    for (std::string word, rest; lines >> word && std::getline(lines, rest);) {
      if (word == "start") {
        most = std::max(most, ++running);
        // Beside another tool, bounded; a last item that starts alone may keep its whole line.
        const bool bounded = rest.find("-threads") != rest.npos;
        if (!row.threadsBounded || running > 1) {
          EXPECT_EQ(bounded, row.threadsBounded) << rest;
        }
      }
      if (word == "end") running--;
      if (word != "end") pids.push_back(std::stol(rest));
    }
    EXPECT_EQ(most, row.atMost) << testing::ReadAll(record);
    // Each item once, its position in the input given; each log line whole and, side by side,
    // numbered.
    std::set<int> indexes;
    for (const Json& item : ran.items) indexes.insert(item["index"].get<int>());
    EXPECT_EQ(indexes.size(), static_cast<std::size_t>(row.sources));
    // Side by side, an item's lines carry its number; the result lines have it already.
    const bool numbered = row.jobs == 0 ? autoIsWide && row.gpuSessions != 1u : row.jobs > 1;
    const std::string lineForm = !numbered ? "##### .* ######"
                                     : "(\\[[0-9]+\\] ##### |##### BATCH ).* ######";
    std::istringstream log(ran.log);
    for (std::string line; std::getline(log, line);) {
      EXPECT_TRUE(std::regex_match(line, std::regex(lineForm))) << line;
    }
    EXPECT_EQ(ran.status, row.stop ? 130 : 1) << ran.log;
    if (!row.stop) continue;
    // Stopped: no tool left (not even what the tools started), no temporary, each item's state.
    for (long pid : pids) {
      std::string stat = testing::ReadAll("/proc/" + std::to_string(pid) + "/stat");
      EXPECT_TRUE(stat.empty() || stat.find(") Z") != stat.npos) << pid << stat;
    }
    EXPECT_TRUE(OutputFiles().empty());
    std::multiset<std::string> states;
    for (const Json& item : ran.items) states.insert(item["state"].get<std::string>());
    EXPECT_EQ(states, (std::multiset<std::string>{"failed", "failed", "not started"}));
  }
  ::signal(SIGTERM, SIG_DFL);
}

}  // namespace
}  // namespace vexlo::jobs
