// The runner with real child processes: the helper tool stands in for FFmpeg's tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

#include "jobs/ConversionJob.h"
#include "platform/Processes.h"
#include "process/OutputLines.h"
#include "process/ProcessRunner.h"
#include "process/LogTexts.h"
#include "process/ToolCommand.h"
#include "tests/support/Support.h"
#include "tests/support/TestJobWindow.h"

namespace vexlo::process {
namespace {

using namespace vexlo::jobs;  // the conversion job's watch
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Events = std::vector<std::string>;

std::string Tool(const std::string& arguments) {
  return "\"" VEXLO_TESTTOOL_PATH "\" " + arguments;
}

// Waits (at most a minute) until a tool given --mark has written its first output. A started
// notification that waits for it keeps the tool's start-up, slow under Wine, out of the watchdog's
// count, which begins when the notification has returned.
void AwaitMark(const std::string& mark) {
  for (const auto until = Clock::now() + 60s;
       !mark.empty() && !std::filesystem::exists(mark) && Clock::now() < until;) {
    std::this_thread::sleep_for(1ms);
  }
}

// Records everything one runner tells and the threads that told it. Declared before the
// runner, so that it outlives the runner's threads.
class Recorder {
 public:
  void attach(ProcessRunner& runner) {
    runner.watch.output = [this](std::string_view chunk, KeptOutLines& keptOut) {
      SplitChunkLines(chunk.data(), static_cast<int>(chunk.size()),
                      [&keptOut](std::string_view line) { keptOut.Keep(line); });
      record("", std::string(chunk));
    };
    runner.watch.started = [this] {
      AwaitMark(mark);
      std::this_thread::sleep_for(20ms);  // a slow start: the output must wait for it
      record("started");
    };
    runner.watch.ended = [this](const ToolEnd& end) {
      static constexpr const char* kOutcomes[] = {"finished", "failed", "cancelled"};
      {
        const std::lock_guard hold(mutex_);  // read once the end is recorded
        reason = end.ReasonText();
      }
      record(end.started ? kOutcomes[static_cast<int>(end.outcome)] : "not started");
    };
  }
  // Waits until the condition holds over the events and chunks so far; false after a minute.
  bool wait(const std::function<bool()>& condition) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, condition);
  }
  bool waitEnd() {
    return wait([&] {
      return !events.empty() && events.back() != "started";
    });
  }
  std::string bytes() {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const std::string& chunk : chunks) all += chunk;
    return all;
  }

  std::string mark;  // the --mark file of the tool, if it has one
  Events events;
  std::string reason;  // the end's reason text
  std::vector<std::string> chunks;
  std::vector<std::thread::id> codeThreads, outputThreads;
  int chunksBeforeStarted = 0;

 private:
  void record(const std::string& event, const std::string& chunk = "") {
    std::lock_guard lock(mutex_);
    if (event.empty() && events.empty()) ++chunksBeforeStarted;
    (event.empty() ? chunks : events).push_back(event.empty() ? chunk : event);
    (event.empty() ? outputThreads : codeThreads).push_back(std::this_thread::get_id());
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
};

void RunToEnd(ProcessRunner& runner, Recorder& recorder, const std::string& commandLine) {
  ASSERT_EQ(runner.SetCommandLine(commandLine.c_str()), 0);
  recorder.attach(runner);
  ASSERT_EQ(runner.Start(), 0);
  ASSERT_TRUE(recorder.waitEnd()) << commandLine;
}

// A grandchild that keeps the output pipe open (it sleeps 30 s) does not hold the run; a program
// that cannot be executed gives only its end, not started; a tool that exits with 0 after saying
// its output could not be written whole has failed.
TEST(ProcessRunner, TheEndFollowsTheExitStatusFromTheSupervisorThread) {
  const std::string folder = testing::MakeTempDirectory("runner");
  std::ofstream(folder + "/plain.bin") << "not a program";
  std::ofstream(folder + "/garbage.bin") << "\x01\x02 not a program either";
  ::chmod((folder + "/garbage.bin").c_str(), 0755);
  const Events failed = {"not started"};
  const std::tuple<std::string, Events, std::string> rows[] = {
      {Tool(""), {"started", "finished"}, ""},
      {Tool("--lines 2"), {"started", "finished"}, "line\nline\n"},
      {Tool("--exit 1"), {"started", "failed"}, ""},
      {Tool("--lines 2 --exit 255"), {"started", "failed"}, "line\nline\n"},
      {Tool("--abort"), {"started", "failed"}, ""},
      {Tool("--lines 1 --text \"Error writing trailer of o.mp4: No space left on device\""),
       {"started", "failed"},
       "Error writing trailer of o.mp4: No space left on device\n"},
      {Tool("--spawn-grandchild --grandchild-ms 30000 --lines 1"),
       {"started", "finished"},
       "line\n"},
      {"\"/nonexistent/ffmpeg.bin\" -version", failed, ""},
      {"\"" + folder + "\"", failed, ""},
      {"\"" + folder + "/plain.bin\"", failed, ""},
      {"\"" + folder + "/garbage.bin\" -i x", failed, ""},
      {"", failed, ""},
      {"\"\"", failed, ""}};
  for (const auto& [commandLine, events, bytes] : rows) {
    Recorder recorder;
    ProcessRunner runner;
    const auto before = Clock::now();
    RunToEnd(runner, recorder, commandLine);
    // Every line is kept out here: a failure's reason names what the tool said.
    if (bytes.find("trailer") != std::string::npos) {
      EXPECT_EQ(recorder.reason.rfind(bytes.substr(0, bytes.size() - 1) + "; vexlo_testtool", 0),
                0u);
      EXPECT_NE(recorder.reason.find(" exited with code 0"), std::string::npos);
    }
    EXPECT_LT(Clock::now() - before, 15s) << commandLine;
    EXPECT_EQ(recorder.events, events) << commandLine;
    EXPECT_EQ(recorder.bytes(), bytes) << commandLine;
    EXPECT_EQ(recorder.chunksBeforeStarted, 0) << commandLine;
    for (const auto& id : recorder.codeThreads) EXPECT_EQ(id, recorder.codeThreads.front());
    EXPECT_NE(recorder.codeThreads.front(), std::this_thread::get_id());
    for (const auto& id : recorder.outputThreads) EXPECT_NE(id, recorder.codeThreads.front());
    EXPECT_EQ(runner.Close(), 0);
    EXPECT_EQ(runner.state(), events == failed ? kRunnerStartFailed : kRunnerEnded);
  }
}

std::string Repeated(int count, char first, int period) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(first + i % period));
  return bytes;
}

TEST(ProcessRunner, ChunksEndAfterALineFeedACarriageReturnOrAt1024Bytes) {
  std::string crPieces, allBytes = Repeated(256, 0, 256);
  for (int i = 0; i < 30; ++i) crPieces += Repeated(98, 'p', 10) + "\r";  // 10 in 1024 bytes
  const std::tuple<const char*, std::vector<int>, std::string> rows[] = {
      {"--lines 3 --text abc", {4, 4, 4}, "abc\nabc\nabc\n"},
      {"--line-bytes 3000", {1024, 1024, 953}, Repeated(3000, 'a', 26) + "\n"},
      {"--line-bytes 1023", {1024}, Repeated(1023, 'a', 26) + "\n"},
      // Progress pieces written in one go share chunks, each of them whole.
      {"--cr-pieces 30 --piece-bytes 99", {990, 990, 990}, crPieces},
      {"--no-newline 2500", {1024, 1024, 452}, Repeated(2500, '0', 10)},
      {"--binary", {11, 3, 242}, allBytes},
      {"--stderr --lines 2 --crlf --text err", {5, 5}, "err\r\nerr\r\n"}};  // CR LF: one chunk
  for (const auto& [arguments, sizes, bytes] : rows) {
    Recorder recorder;
    ProcessRunner runner;
    RunToEnd(runner, recorder, Tool(arguments));
    std::vector<int> seen;
    for (const std::string& chunk : recorder.chunks) seen.push_back(static_cast<int>(chunk.size()));
    EXPECT_EQ(seen, sizes) << arguments;
    EXPECT_EQ(runner.chunkCount(), static_cast<int>(sizes.size()));
    EXPECT_EQ(recorder.bytes(), bytes) << arguments;
  }
}

TEST(ProcessRunner, StopKillsTheChildAndEndsCancelled) {
  Recorder recorder;
  ProcessRunner runner;
  runner.SetCommandLine(Tool("--print-pid --cr-pieces 1 --sleep-ms 120000").c_str());
  recorder.attach(runner);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(runner.Start(), 0);
  // Nothing on standard output: it is for a script's results.
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(runner.Start(), 0);  // a second start runs nothing
  // The progress piece arrives while the tool sleeps, though nothing follows its CR.
  ASSERT_TRUE(recorder.wait([&] { return recorder.chunks.size() == 2; }));
  const pid_t pid = std::stoi(recorder.bytes().substr(4));
  EXPECT_EQ(runner.Stop(), 0);
  EXPECT_EQ(recorder.events, (Events{"started", "cancelled"}));
  EXPECT_EQ(recorder.chunks.size(), 2u);  // one pid line and one piece: one child
  EXPECT_EQ(platform::DescribeWaitStatus(runner.waitStatus()).signal, SIGTERM);
  EXPECT_FALSE(platform::ProcessExists(pid));
  EXPECT_EQ(runner.Stop(), 0);
}

// The watchdog kills a tool after stallPolls + 1 polls in a row without a byte from it; every job
// runs with 401 polls of 100 ms.
TEST(ProcessRunner, TheWatchdogKillsAToolThatWritesNothing) {
  const auto job = StartTool(Tool(""), {});
  EXPECT_EQ(job->pollInterval(), 100ms);
  EXPECT_EQ(job->stallPolls() + 1, 401);
  const std::tuple<const char*, std::chrono::milliseconds, int, bool> rows[] = {
      {"--lines 1 --sleep-ms 60000", 20ms, 20, true},
      // A slow encode's progress pieces, and bytes that end no chunk, keep the tool alive past 21
      // polls of 20 ms; a line every 5 ms, past polls of 500 ms with none allowed to be silent
      // (it runs 2 s: the first poll comes while it runs).
      {"--cr-pieces 16 --interval-ms 50", 20ms, 20, false},
      {"--cr-pieces 16 --piece-bytes 50 --bare --interval-ms 50", 20ms, 20, false},
      {"--lines 400 --interval-ms 5", 500ms, 0, false}};
  const std::string folder = testing::MakeTempDirectory("watchdog");
  int row = 0;
  for (const auto& [arguments, interval, stallPolls, killed] : rows) {
    Recorder recorder;
    recorder.mark = folder + "/" + std::to_string(++row);
    ProcessRunner runner(interval, stallPolls);
    RunToEnd(runner, recorder, Tool(std::string(arguments) + " --mark \"" + recorder.mark + '"'));
    EXPECT_EQ(recorder.events,
              (killed ? Events{"started", "failed"} : Events{"started", "finished"}))
        << arguments << " " << stallPolls;
    EXPECT_EQ(platform::DescribeWaitStatus(runner.waitStatus()).signal != 0, killed);
  }
}

// A tool killed by the watchdog after a flood of progress pieces: the pane shows each piece as a
// whole line, the detail has the last one, and the job's reason names the silence and the last
// line the log kept out.
TEST(ConversionJob, FloodedPiecesAreWholeLinesAndAWatchdogKillSaysWhy) {
  testing::TestJobWindow window;
  const std::string folder = testing::MakeTempDirectory("watchdog");
  ASSERT_TRUE(window.startLogAndWait(folder));
  const std::string mark = folder + "/spoke";
  ProcessRunner runner(10ms, 20);
  runner.SetCommandLine(Tool("--lines 1 --text \"waiting for the device\" --flood 300 --mark \"" +
                             mark + "\" --sleep-ms 60000")
                            .c_str());
  runner.watch = ConversionWatch(window);
  runner.watch.started = [&mark, started = runner.watch.started] {
    AwaitMark(mark);
    started();
  };
  EXPECT_EQ(runner.Start(), 0);
  ASSERT_TRUE(window.host.pumpUntil([&] { return !window.ends.empty(); }, 60s));
  const std::string log = window.jobLog();
  const std::regex piece("# frame= *[0-9]+ fps= 25 q=28.0 size=  1024kB time=.* speed=1.0x\r\n");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), piece), {}), 300) << log;
  EXPECT_NE(window.figures.detail.Text(0).find("1.0x, 25 fps, 1.0 MiB"), std::string::npos);
  const auto reason = log.find("REASON: waiting for the device"),
             silence = log.find("wrote nothing for 0.2 s: stopped by the watchdog"),
             error = log.find("##### CONVERSION  ERROR");
  EXPECT_TRUE(reason < silence && silence < error && error != std::string::npos) << log;
}

// Each way a conversion ends, with a real tool that says what an encode says and ends as asked:
// its lines in order, where it leaves the bar, and its one typed end. An encode that must reach
// its source's duration and ends short of it (50 s of 100 s) warns before its end line and still
// finishes; a failed one is not also called short; past 90 % a failure is a break.
TEST(ConversionJob, EndingsLogTheirLinesAndReportOneTypedEnd) {
  struct Row {
    std::string tool;   // the tool's arguments after its report; empty: it cannot start
    int reached;        // seconds of 100 the report reaches
    bool checkLength;   // the output must reach the source's duration
    std::string lines;  // before the end line
    JobOutcome outcome;
    std::string reason;
  };
  const std::string warning =
      "The output ends at 0:50.00 of the source's 1:40.00 (the source may be damaged or cut short)";
  const std::string folder = testing::MakeTempDirectory("endings");
  const std::string name = ToolName(VEXLO_TESTTOOL_PATH).data();
  const std::string reasons =
      "[30] # ##### REASON: Press [q] to stop, [?] for help ######\r\n[30] # ##### REASON: video:24kB "
      "audio:0kB muxing overhead: unknown ######\r\n[30] # ##### REASON: " + name +
      " exited with code 1 ######\r\n";
  // clang-format off
  const Row rows[] = {
      {"--exit 0", 50, false, "", JobOutcome::kFinished, ""},
      {"--exit 0", 50, true, "[30] # ##### WARNING: " + warning + " ######\r\n", JobOutcome::kFinished, warning},
      {"--exit 1", 90, true, reasons + "[30] # ##### CONVERSION  ERROR ######\r\n", JobOutcome::kFailed, name + " exited with code 1"},
      {"--exit 1", 91, false, reasons + "[30] # ##### CONVERSION  BREAK ######\r\n", JobOutcome::kFailed, name + " exited with code 1"},
      // A tool that cannot start: the bar stays where the previous job left it.
      {"", 95, false, "[30] # ##### REASON: /nonexistent/ffmpeg.bin could not be started: No such file or directory ######\r\n[30] # ##### CREATION  ERROR ######\r\n", JobOutcome::kFailed, "ffmpeg.bin could not be started"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tool + " " + std::to_string(row.reached));
    testing::TestJobWindow window(std::chrono::hours(1));  // the writer never flushes by itself
    ASSERT_TRUE(window.startLogAndWait(folder));
    window.logAppend("earlier line\r\n");
    window.figures.file = "/out/clip.h264";
    // A prober that cannot start gives no stream length: the header's duration stands.
    window.figures.lengthSource = row.checkLength ? "/nowhere/clip.mov" : "";
    window.figures.programDir = "/nowhere";
    // What the previous job left: a tool that cannot start leaves the bar there.
    window.figures.durationMs = 100;
    window.figures.timeMs = 95;
    window.figures.progressPos = 95;
    const std::string time = "00:01:" + std::to_string(row.reached - 60) + ".00";
    const std::string report = folder + "/report.txt";
    std::ofstream(report, std::ios::binary)
        << "Input #0, lavfi, from 'testsrc':\n"
        << "  Duration: 00:01:40.00, start: 0.000000, bitrate: N/A\n"
        << "Press [q] to stop, [?] for help\n"
        << "frame=   10 fps=0.0 time=" << (row.reached < 60 ? "00:00:50.00" : time)
        << " bitrate=N/A\r"
        << "video:24kB audio:0kB muxing overhead: unknown\n";
    const bool starts = !row.tool.empty();
    window.figures.commandLine =
        starts ? Tool("--cat \"" + report + "\" " + row.tool) : "\"/nonexistent/ffmpeg.bin\"";
    ProcessRunner runner;
    runner.SetCommandLine(window.figures.commandLine.c_str());
    runner.watch = ConversionWatch(window);
    ASSERT_EQ(runner.Start(), 0);
    ASSERT_TRUE(window.host.pumpUntil([&] { return !window.ends.empty(); }, 60s));
    runner.Close();
    const std::string frame = "frame=   10 fps=0.0 time=" +
                              (row.reached < 60 ? std::string("00:00:50.00") : time) +
                              " bitrate=N/A";
    const std::string start =
        starts ? "[30] # \r\n[30] # ##### START CONVERSION ######\r\n"
                 "[30] # " + text::CommandLineLine(window.figures.commandLine) +
                 "[30] # Input #0, lavfi, from 'testsrc':\r\n"
                 "[30] #   Duration: 00:01:40.00, start: 0.000000, bitrate: N/A\r\n"
                 "[30] # " + frame + "\r\n"
               : "";
    const std::string end = starts ? "[30] # ##### END CONVERSION ######\r\n" : "";
    EXPECT_EQ(window.jobLog(), "[30] # earlier line\r\n" + start + row.lines + end);
    EXPECT_EQ(window.starts, starts ? std::vector{JobKind::kEncode} : std::vector<JobKind>{});
    EXPECT_EQ(window.host.progress(), starts ? row.reached : 95);  // the end's 100 is the window's
    ASSERT_EQ(window.ends.size(), 1u);
    const JobEnd& told = window.ends[0];
    EXPECT_EQ(told.reason.rfind(row.reason, 0), 0u) << told.reason;
    EXPECT_EQ(
        std::tuple(told.kind, told.outcome, told.started, told.output, told.outputShort,
                   told.finalProgress),
        std::tuple(JobKind::kEncode, row.outcome, starts, std::string("/out/clip.h264"),
                   row.reason == warning, starts ? std::optional(100) : std::nullopt));
    EXPECT_EQ(told.reachedMs, starts ? row.reached * 1000 : 95);
  }
}

// Many runs ended in every way at random moments leave no descriptor, thread or child behind,
// and each gives either started and its end or the start failure, with no output after the end.
TEST(RunnerSoak, RunsEndedAtRandomLeaveNothingBehind) {
  struct Tally {
    std::atomic<int> started{0}, startFailed{0}, ended{0}, outputsAfterEnd{0};
  };
  const auto counting = [](Tally& t) {
    ToolWatch watch;
    watch.output = [&t](std::string_view, KeptOutLines&) {
      if (t.ended) ++t.outputsAfterEnd;
    };
    watch.started = [&t] { ++t.started; };
    watch.ended = [&t](const ToolEnd& end) { ++(end.started ? t.ended : t.startFailed); };
    return watch;
  };
  const char* const behaviours[] = {"",
                                    "--exit 1",
                                    "--flood 3000",
                                    "--flood 2000 --flood-lf",
                                    "--lines 1 --sleep-ms 2000",
                                    "--spawn-grandchild --grandchild-ms 50 --lines 1"};
  { auto warmUp = StartTool(Tool(""), {}); }  // the run-time starts what it starts once
  const auto descriptors = testing::OpenDescriptors(), threads = testing::Threads();
  std::mt19937 random(20240611);
  for (int round = 0; round < 400 && !HasFailure(); ++round) {
    Tally tallies[2];
    std::unique_ptr<ProcessRunner> runners[2];
    for (int i = 0; i < 2; ++i) {
      const unsigned behaviour = random() % 7;
      runners[i] =
          StartTool(behaviour == 6 ? "\"/nonexistent/ffmpeg.bin\"" : Tool(behaviours[behaviour]),
                    counting(tallies[i]));
    }
    for (int i : {int(random() % 2), -1}) {
      const int which = i < 0 ? 1 - int(random() % 2) : i;
      std::this_thread::sleep_for(
          std::chrono::microseconds(random() % 4000));  // a random moment, not a wait
      if (!runners[which]) continue;
      if (random() % 2) {
        EXPECT_EQ(runners[which]->Stop(), 0);
      }
      if (random() % 2) {
        EXPECT_EQ(runners[which]->Close(), 0);
      }
      runners[which].reset();
    }
    for (auto& runner : runners) runner.reset();
    for (const Tally& t : tallies) {
      EXPECT_TRUE((t.started == 1 && t.ended == 1 && t.startFailed == 0) ||
                  (t.started == 0 && t.ended == 0 && t.startFailed == 1));
      EXPECT_EQ(t.outputsAfterEnd, 0);
    }
  }
  EXPECT_EQ(testing::OpenDescriptors(), descriptors);
  EXPECT_EQ(testing::Threads(), threads);
#ifndef _WIN32  // on Windows nothing is left to reap: a process handle is counted above
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child is left";
#endif
}

}  // namespace
}  // namespace vexlo::process
