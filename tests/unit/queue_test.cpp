#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "app/QueueDlg.h"
#include "encode/OutputNames.h"
#include "jobs/BatchSchedule.h"
#include "jobs/QueueFile.h"
#include "jobs/QueueRunner.h"
#include "jobs/QueueScan.h"
#include "jobs/QueueStore.h"
#include "platform/Paths.h"
#include "tests/support/Support.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vexlo::jobs {
namespace {

namespace fs = std::filesystem;
const auto N = testing::Native;  // the tests write paths with '/'

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

// The text with the test's folder taken out of its paths, written with '/'.
std::string Relative(std::string text, const std::string& root) {
  for (auto at = text.find(root); at != std::string::npos; at = text.find(root)) {
    text.erase(at, root.size() + 1);
  }
  std::replace(text.begin(), text.end(), platform::kPathSeparator, '/');
  return text;
}

// Runs no tool: the test tells each item how it goes (`callbacks`: the last started item's).
struct ScriptedRunner : ItemRunner {
  std::string TemporaryPath(const QueueItem& item) override { return item.output + ".part"; }
  void Start(const QueueItem& item, const ItemStart& start, ItemCallbacks callbacks) override {
    started.push_back(fs::path(item.source).filename().string());
    how.push_back(start);
    this->callbacks = running[item.id] = std::move(callbacks);
  }
  void Cancel(std::uint64_t id) override { running.at(id).ended({ItemState::kCancelled, {}, {}}); }
  std::vector<std::string> started;
  std::vector<ItemStart> how;
  ItemCallbacks callbacks;
  std::map<std::uint64_t, ItemCallbacks> running;
};

// The queue as the window's table shows it: output=state(reason) ...
std::string Table(const QueueModel& model, const std::string& root) {
  std::string table;
  for (const QueueItem& item : model.items()) {
    table += (table.empty() ? "" : " ") + Relative(item.output, root) + "=" +
             std::string(StateWord(item.state)) +
             (item.reason.empty() ? "" : "(" + item.reason + ")");
  }
  return table;
}

// The queue window as the core sees it: a model, its runner, a window thread's posted tasks, on
// a machine of 4 processors whose free memory and hardware sessions the test sets.
struct Window : QueueObserver {
  explicit Window(QueueRunner::AfterSave afterSave = {}, std::optional<unsigned> sessions = {})
      : runner(model, items, Post(), afterSave, [this] { return now; },
               {4, [this] { return memory; }, sessions}) {
    model.AddObserver(this);
  }
  void QueueChanged() override {
    std::size_t hardware = 0;
    for (const QueueItem& item : model.items()) {
      hardware += item.state == ItemState::kRunning && item.settings.gpuType != 0 ? 1 : 0;
    }
    most = std::max(most, model.RunningCount());
    mostHardware = std::max(mostHardware, hardware);
    over += model.RunningCount() > runner.Width() ? 1 : 0;
  }
  QueueRunner::Post Post() {
    return [this](std::function<void()> task) { posted.push_back(std::move(task)); };
  }
  void Drain() {
    for (; !posted.empty(); posted.pop_front()) posted.front()();
  }
  void RunEnded(const RunSummary& summary) override {
    ended = SummaryText(summary) + (summary.stopped ? " (stopped)" : "");
  }
  QueueModel model;
  ScriptedRunner items;
  double now = 0;
  std::deque<std::function<void()>> posted;
  QueueRunner runner;
  std::string ended;
  std::optional<std::uint64_t> memory;
  std::size_t most = 0, mostHardware = 0;  // the most items running at once
  int over = 0;                            // changes that left more running than At once
};

std::uint64_t IdOf(const QueueModel& model, const std::string& root, const std::string& output) {
  for (const QueueItem& item : model.items()) {
    if (Relative(item.output, root) == output) return item.id;
  }
  return 0;
}

// One queue through the window's buttons and two runs: after each step the table (output=state,
// "" where it is not looked at) and the step's word: the refusal line of an add (its paths in
// the test's folder), the queue's fraction and time left after progress, the summary once a run has
// ended.
TEST(QueueModel, ButtonsRefusalsAndRunsTable) {
  const std::string root = testing::MakeTempDirectory("queue");
  Touch(root + N("/v/h.mp4"));
  testing::MakeLink(root + N("/v/h.mp4"), root + N("/v/h.H264"));  // the output is the source
  const struct {
    std::string op, argument, table, word;
  } steps[] = {
      {"add", "0 v/a.mp4 v/b.mov", "v/a.H264=waiting v/b.H264=waiting", ""},
      {"add", "0 v/a.mkv", "",
       "Not queued, its output v/a.H264 is already the output of v/a.mp4: v/a.mkv"},
      {"add", "0 v/sub/../a.webm", "",
       "Not queued, its output v/sub/../a.H264 is already the output of v/a.mp4: v/sub/../a.webm"},
      {"add", "0 v/c.H264", "", "Not queued, its output would be its own source: v/c.H264"},
      {"add", "0 v/h.mp4", "", "Not queued, its output would be its own source: v/h.mp4"},
      {"add", "1 v/a.H264", "", "Not queued, it is the output of v/a.mp4: v/a.H264"},
      {"add", "0 v/-x\".mov", "", "Unusable file name (double quote or leading '-'): v/-x\".mov"},
      {"add", "0 v/z.H265", "v/a.H264=waiting v/b.H264=waiting v/z.H264=waiting", ""},
      {"add", "1 v/z.mov", "",
       "Not queued, its output v/z.H265 is the source of a queued item: v/z.mov"},
      {"remove", "v/z.H264", "v/a.H264=waiting v/b.H264=waiting", ""},
      {"folder", "out", "", ""},
      {"add", "2 my.dir/clip .hidden v/c.d.mov",
       "v/a.H264=waiting v/b.H264=waiting out/clip.MPV=waiting out/.hidden.MPV=waiting "
       "out/c.d.MPV=waiting",
       ""},
      {"down", "v/a.H264", "", ""},
      {"up", "out/clip.MPV", "", ""},
      {"remove", "out/.hidden.MPV",
       "v/b.H264=waiting out/clip.MPV=waiting v/a.H264=waiting out/c.d.MPV=waiting", ""},
      {"start", "", "v/b.H264=running out/clip.MPV=waiting v/a.H264=waiting out/c.d.MPV=waiting",
       ""},
      {"remove", "v/b.H264", "", ""},  // a running item stays
      {"progress", "0 60 0", "", "0% -"},
      {"duration", "out/c.d.MPV", "", ""},      // 120 s; the unknown ones weigh 90
      {"progress", "40 60 10", "", "7% 140s"},  // 24 of 360 s done in 10 s: 336 s left at 2.4x
      {"end", "failed:no encoder",
       "v/b.H264=failed(no encoder) out/clip.MPV=running v/a.H264=waiting out/c.d.MPV=waiting", ""},
      {"cancel", "", "", ""},
      {"stop", "", "", ""},
      {"end", "done",
       "v/b.H264=failed(no encoder) out/clip.MPV=cancelled v/a.H264=done out/c.d.MPV=waiting",
       "1 done, 1 failed, 1 cancelled (stopped)"},
      {"retry", "", "v/b.H264=waiting out/clip.MPV=waiting v/a.H264=done out/c.d.MPV=waiting", ""},
      {"clear", "", "v/b.H264=waiting out/clip.MPV=waiting out/c.d.MPV=waiting", ""},
      {"start", "", "", ""},
      {"end", "skipped:exists", "", ""},
      {"end", "done", "", ""},
      {"end", "done", "v/b.H264=skipped(exists) out/clip.MPV=done out/c.d.MPV=done",
       "2 done, 1 skipped"},
  };
  Window window;
  QueueModel& model = window.model;
  for (const auto& [op, argument, table, expected] : steps) {
    SCOPED_TRACE(op + " " + argument);
    std::string word;
    window.ended.clear();
    if (op == "add") {
      std::istringstream words(argument);
      encode::EncoderSettings settings;
      words >> settings.outType;
      std::vector<std::string> sources;
      for (std::string source; words >> source;) sources.push_back(root + N("/" + source));
      const AddResult added = model.Add(sources, settings);
      for (const std::string& line : added.refusals) word += line;
      EXPECT_EQ(added.added + added.refusals.size(), sources.size());
      if (!word.empty()) {
        EXPECT_TRUE(word.starts_with("##### ERROR: ") && word.ends_with("  ######\r\n"));
        word = Relative(word.substr(13, word.size() - 23), root);
      }
    } else if (op == "folder") {
      model.SetOptions({root + N("/" + argument), ExistingOutput::kSkip});
    } else if (op == "up" || op == "down") {
      const std::uint64_t id = IdOf(model, root, argument);
      EXPECT_TRUE(op == "up" ? model.MoveUp(id) : model.MoveDown(id));
    } else if (op == "duration") {
      model.SetDuration(IdOf(model, root, argument), 120);
    } else if (op == "remove") {
      model.Remove({IdOf(model, root, argument)});
    } else if (op == "retry") {
      model.RetryFailed();
    } else if (op == "clear") {
      model.ClearFinished();
    } else if (op == "start") {
      EXPECT_TRUE(window.runner.Start());
      EXPECT_FALSE(window.runner.Start());  // already running
    } else if (op == "stop") {
      window.runner.StartNoNewItem();
    } else if (op == "cancel") {
      window.runner.Cancel(model.items()[1].id);
    } else if (op == "progress") {
      double percent = 0, duration = 0;
      std::istringstream(argument) >> percent >> duration >> window.now;
      window.items.callbacks.progress(percent, duration);
      window.Drain();
      const QueueProgress progress = MeasureProgress(model.items());
      word =
          std::to_string(std::lround(progress.fraction * 100)) + "% " +
          (progress.secondsLeft ? std::to_string(std::lround(*progress.secondsLeft)) + "s" : "-");
    } else if (op == "end") {
      const auto colon = argument.find(':');
      const auto state = StateFromWord(argument.substr(0, colon));
      ASSERT_TRUE(state);
      window.items.callbacks.ended({*state,
                                    colon == std::string::npos ? "" : argument.substr(colon + 1),
                                    QualityFigures{0.9, 0.9, 0.9, 0.9, 40, 25, 25}});
    }
    window.Drain();
    if (op == "end" || op == "cancel" || op == "start") word = window.ended;
    if (!table.empty()) {
      EXPECT_EQ(Table(window.model, root), table);
    }
    EXPECT_EQ(word, expected);
  }
  // Each item ran once per run; what was done did not run again.
  const std::vector<std::string> started = {"b.mov", "clip", "a.mp4", "b.mov", "clip", "c.d.mov"};
  EXPECT_EQ(window.items.started, started);
  EXPECT_EQ(model.items()[0].settings.outType, 0);  // each keeps the copy taken when added
  EXPECT_EQ(model.items()[2].settings.outType, 2);
  for (const QueueItem& item : model.items()) {  // only a done item keeps its end's measurement
    EXPECT_EQ(item.quality.has_value(), item.state == ItemState::kDone) << item.output;
  }
  fs::remove_all(root);
}

// Runs side by side, one row per step: the options' "At once" (or the free memory in units of one
// software item's estimate, or a hardware card's single session), the step, the table after it
// and what the items started by it were given (threads and their log number). Never more items
// run than At once allows, a cancelled item leaves the other running to its end, "start no new
// item" lets the running ones end and starts none, and one session never runs two hardware items.
TEST(QueueRunner, RunsItemsSideBySideWithinTheirSlots) {
  const std::string root = testing::MakeTempDirectory("queue");
  const std::uint64_t unit = EstimatedItemMemory({}, {}, false);
  const struct {
    std::string op, argument, table, given;
  } steps[] = {
      {"add", "0 a b c d e", "a=waiting b=waiting c=waiting d=waiting e=waiting", ""},
      {"at", "2", "", ""},
      {"start", "", "a=running b=running c=waiting d=waiting e=waiting", "a:2[1] b:2[2]"},
      {"cancel", "a", "a=cancelled b=running c=running d=waiting e=waiting", "c:2[3]"},
      {"nonew", "", "", ""},
      {"end", "b", "a=cancelled b=done c=running d=waiting e=waiting", ""},
      {"end", "c", "a=cancelled b=done c=done d=waiting e=waiting",
       "(2 done, 1 cancelled (stopped))"},
      {"at", "1", "", ""},
      {"start", "", "a=cancelled b=done c=done d=running e=waiting", "d:0[0]"},
      {"end", "d", "", "e:0[0]"},
      {"clear", "", "", ""},
      {"add", "1 h1 h2", "", ""},  // NVIDIA with one session given
      {"add", "0 s1", "e=running h1=waiting h2=waiting s1=waiting", ""},
      {"at", "auto", "e=running h1=running h2=waiting s1=running", "h1:1[2] s1:1[4]"},
      {"end", "h1", "e=running h1=done h2=running s1=running", "h2:1[3]"},
      {"end", "e", "", ""},
      {"end", "h2", "", ""},
      {"add", "0 m1 m2", "", ""},
      {"memory", "1 s1", "e=done h1=done h2=done s1=running m1=waiting m2=waiting", ""},
      {"end", "s1", "e=done h1=done h2=done s1=done m1=running m2=waiting", "m1:2[5]"},
      {"memory", "3 m1", "e=done h1=done h2=done s1=done m1=running m2=running", "m2:2[6]"},
  };
  Window window({}, 1);
  window.memory = 100 * unit;
  QueueModel& model = window.model;
  const auto idOf = [&](const std::string& name) { return IdOf(model, root, name + ".H264"); };
  std::size_t seen = 0;
  for (const auto& [op, argument, table, given] : steps) {
    SCOPED_TRACE(op + " " + argument);
    window.ended.clear();
    std::istringstream words(argument);
    if (op == "add") {
      encode::EncoderSettings settings;
      words >> settings.gpuType;
      std::vector<std::string> sources;
      for (std::string name; words >> name;) sources.push_back(root + N("/" + name));
      model.Add(sources, settings);
    } else if (op == "at") {
      QueueOptions options = model.options();
      options.atOnce = argument == "auto" ? 0 : static_cast<unsigned>(std::stoi(argument));
      model.SetOptions(options);
      window.runner.StartWaiting();
    } else if (op == "start") {
      EXPECT_TRUE(window.runner.Start());
    } else if (op == "cancel") {
      window.runner.Cancel(idOf(argument));
    } else if (op == "nonew") {
      window.runner.StartNoNewItem();
    } else if (op == "end") {
      window.items.running.at(idOf(argument)).ended({ItemState::kDone, {}, {}});
    } else if (op == "memory") {
      std::string name;
      words >> *window.memory >> name;
      *window.memory *= unit;
      window.items.running.at(idOf(name)).progress(10, 60);  // Auto looks again at progress
    } else if (op == "clear") {
      model.ClearFinished();
    }
    window.Drain();
    std::string shown = Table(model, root);
    for (auto at = shown.find(".H264"); at != std::string::npos; at = shown.find(".H264")) {
      shown.erase(at, 5);
    }
    if (!table.empty()) {
      EXPECT_EQ(shown, table);
    }
    std::string word;
    for (; seen < window.items.started.size(); ++seen) {
      const ItemStart& start = window.items.how[seen];
      word += (word.empty() ? "" : " ") + window.items.started[seen] + ":" +
              std::to_string(start.threads) + "[" + std::to_string(start.number) + "]";
    }
    if (!window.ended.empty()) word = "(" + window.ended + ")";
    EXPECT_EQ(word, given);
  }
  EXPECT_EQ(window.most, 3u);  // Auto with 4 processors, the hardware one held to its session
  EXPECT_EQ(window.mostHardware, 1u);
  EXPECT_EQ(window.over, 0);
  fs::remove_all(root);
}

QueueItem Item(const std::string& source, ItemState state, const std::string& temporary = "") {
  QueueItem item;
  item.source = source;
  item.output = encode::OutputPathIn(source, "", ".H265");
  item.state = state;
  item.temporary = temporary;
  item.settings.outType = 1;
  item.settings.crf = 4;
  item.settings.shortGop = true;
  return item;
}

// A saved queue edited by hand: a number is read only as the store writes it (a whole number in
// its type's range, finite seconds); any other refuses the file, and what is read saves back into
// a text that reads the same.
TEST(QueueFile, NumbersAreReadOnlyAsTheStoreWritesThem) {
  const std::string text = R"({"vexlo_queue": 1, "output_folder": "", "existing": "skip",
      "items": [{"source": [47, BYTE], "output": "/o", "state": "done", "reason": "",
      "elapsed": ELAPSED, "duration": DURATION, "temporary": "", "settings": {"type": 0,
      "gpu": 0, "profile": 0, "crf": CRF, "fps": 0, "resize": 0, "deinterlace": false,
      "short_gop": false, "report": false}}]})";
  const std::map<std::string, std::string> usual = {
      {"BYTE", "97"}, {"ELAPSED", "1.5"}, {"DURATION", "60"}, {"CRF", "3"}};
  const struct {
    const char* field;
    const char* value;
    bool read;
  } rows[] = {
      {"BYTE", "255", true},        {"BYTE", "256", false},
      {"BYTE", "-1", false},        {"BYTE", "47.0", false},
      {"BYTE", "1e57", false},      {"CRF", "-2147483648", true},
      {"CRF", "2147483648", false}, {"CRF", "18446744073709551615", false},
      {"CRF", "2.5", false},        {"CRF", "1e20", false},
      {"ELAPSED", "1e300", true},   {"ELAPSED", "-3", true},
      {"ELAPSED", "1e400", false},  {"ELAPSED", "\"3\"", false},
      {"DURATION", "null", true},   {"DURATION", "-1e400", false},
  };
  for (const auto& row : rows) {
    std::string edited = text;
    for (const auto& [field, value] : usual) {
      const std::size_t at = edited.find(field);
      edited.replace(at, field.size(), field == row.field ? row.value : value);
    }
    SCOPED_TRACE(edited);
    const auto saved = QueueFromJson(edited);
    EXPECT_EQ(saved.has_value(), row.read);
    if (!saved) continue;
    EXPECT_EQ(saved->options.atOnce, 1u);  // written before "at_once" existed: one at a time
    const std::string written = QueueToJson(saved->items, saved->options);
    const auto again = QueueFromJson(written);
    ASSERT_TRUE(again) << written;
    EXPECT_EQ(QueueToJson(again->items, again->options), written);
  }
}

// What the store writes is what it reads back; a second Vexlo only shows the queue; a restored
// queue keeps what ended, puts the running item back to waiting without its temporary file, and
// does not start; a file that is no saved queue is kept aside once and logged once.
TEST(QueueStore, SavesEachChangeRestoresByTheRulesAndLocks) {
  const std::string root = testing::MakeTempDirectory("queue");
  testing::SetStateHome(root + N("/state"));
  const std::string path = QueueFilePath(), partial = root + N("/v/r.H265.part"),
                    partial2 = root + N("/v/q.H265.part");
#ifdef _WIN32
  EXPECT_EQ(path, root + N("/state/Vexlo/queue.json"));
#else
  EXPECT_EQ(path, root + N("/state/vexlo/queue.json"));
#endif
  std::string log;
  const auto Log = [&log](std::string_view line) { log += line; };
  std::vector<QueueItem> items = {Item(root + N("/v/d.mov"), ItemState::kDone),
                                  Item(root + N("/v/\xff\xfe.mov"), ItemState::kFailed),
                                  Item(root + N("/v/c.mov"), ItemState::kCancelled),
                                  Item(root + N("/v/s.mov"), ItemState::kSkipped),
                                  Item(root + N("/v/w.mov"), ItemState::kWaiting),
                                  Item(root + N("/v/r.mov"), ItemState::kRunning, partial),
                                  Item(root + N("/v/o.mov"), ItemState::kRunning),
                                  Item(root + N("/v/x.mov"), ItemState::kRunning),
                                  Item(root + N("/v/q.mov"), ItemState::kRunning, partial2)};
  items[0].elapsedSeconds = 12.5;
  items[0].durationSeconds = 60;
  items[0].quality = QualityFigures{0.987123, 0.98, 0.99, 0.99, INFINITY, 250, 240};
  items[1].reason = "Conversion failed: \xe9";
  items[6].temporary = items[6].source;  // a file edited by hand: never deleted
  items[7].temporary = root + N("/elsewhere/x.part");
  for (const std::string& file : {partial, partial2, items[6].source, items[7].temporary}) {
    Touch(file);
  }
  // Side by side, at low priority: saved; a queue without them (the default) saves as before.
  const QueueOptions options{root + N("/out"), ExistingOutput::kOverwrite, 0, true};
  EXPECT_EQ(QueueToJson(items, {}).find("at_once"), std::string::npos);
  EXPECT_EQ(QueueToJson(items, {}).find("low_priority"), std::string::npos);
  {
    QueueModel first;
    QueueStore store(first, path, Log);
    ASSERT_TRUE(store.Open());
    first.Replace(items, options);
    store.Flush();
    const auto saved = QueueFromJson(testing::ReadAll(path));
    ASSERT_TRUE(saved);
    EXPECT_EQ(QueueToJson(saved->items, saved->options), QueueToJson(items, options));
    EXPECT_EQ(saved->items[1].source, items[1].source);  // not UTF-8: byte for byte

    QueueModel second;
    QueueStore other(second, path, Log);
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(log, QueueInUseLine(path));
    EXPECT_TRUE(second.readOnly());
    EXPECT_EQ(second.items().size(), items.size());
    EXPECT_EQ(second.Add({root + N("/v/new.mov")}, {}).added, 0u);
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(fs::exists(partial));
  }
  Touch(path + ".Ab12Cd");  // a save killed before its rename
  log.clear();
  {
    QueueModel restored;
    QueueStore store(restored, path, Log);
    ASSERT_TRUE(store.Open());
    EXPECT_EQ(Table(restored, root),
              "v/d.H265=done v/\xff\xfe.H265=failed(Conversion failed: \xe9) v/c.H265=cancelled "
              "v/s.H265=skipped v/w.H265=waiting v/r.H265=waiting v/o.H265=waiting "
              "v/x.H265=waiting v/q.H265=waiting");
    for (const QueueItem& item : restored.items()) EXPECT_EQ(item.temporary, "");
    EXPECT_EQ(restored.items()[0].elapsedSeconds, 12.5);
    EXPECT_EQ(app::QueueRowCells(restored.items()[0]).back(),
              "SSIM 0.98712, inf dB, 250 of 240 frames");
    EXPECT_EQ(restored.items()[5].settings.crf, 4);
    EXPECT_EQ(restored.options().existing, ExistingOutput::kOverwrite);
    EXPECT_EQ(restored.options().atOnce, 0u);
    EXPECT_TRUE(restored.options().lowPriority);
    EXPECT_FALSE(restored.running());
    EXPECT_FALSE(fs::exists(partial) || fs::exists(partial2));  // both that were running
    EXPECT_TRUE(fs::exists(items[6].source));
    EXPECT_TRUE(fs::exists(items[7].temporary));
    EXPECT_FALSE(fs::exists(path + ".Ab12Cd"));
    EXPECT_EQ(log, "");
  }
  const char* damaged[] = {"{not json", R"({"vexlo_queue": 1, "output_folder": "", "existing":
      "skip", "items": [{"source": "/a", "output": "/b", "state": "paused"}]})",
                           R"({"vexlo_queue": 1, "output_folder": "", "existing": "skip",
      "items": {}})"};
  for (std::size_t i = 0; i < std::size(damaged); ++i) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged[i];
    const std::string aside = path + ".bad" + (i == 0 ? "" : "." + std::to_string(i + 1));
    log.clear();
    QueueModel model;
    QueueStore store(model, path, Log);
    EXPECT_TRUE(store.Open());
    EXPECT_TRUE(model.items().empty());
    EXPECT_EQ(log, QueueSetAsideLine(path, aside));
    EXPECT_EQ(testing::ReadAll(aside), damaged[i]);
  }
  fs::remove_all(root);
}

#ifndef _WIN32
// A run of the window's thread: tasks posted from any thread, run in order.
struct TaskLoop {
  QueueRunner::Post Post() {
    return [this](std::function<void()> task) {
      std::lock_guard lock(mutex);
      tasks.push_back(std::move(task));
      wake.notify_one();
    };
  }
  [[noreturn]] void RunForever() {
    for (std::unique_lock lock(mutex);; lock.lock()) {
      wake.wait(lock, [this] { return !tasks.empty(); });
      auto task = std::move(tasks.front());
      tasks.pop_front();
      lock.unlock();
      task();
    }
  }
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> tasks;
};

// The first item ends done; the second writes its temporary file, says so through a pipe and
// never ends.
struct HangingRunner : ScriptedRunner {
  explicit HangingRunner(int tell) : tell(tell) {}
  void Start(const QueueItem& item, const ItemStart& start, ItemCallbacks callbacks) override {
    ScriptedRunner::Start(item, start, callbacks);
    if (started.size() == 1) return callbacks.ended({ItemState::kDone, {}, {}});
    Touch(TemporaryPath(item));
    (void)!::write(tell, "x", 1);
  }
  int tell;
};

// Vexlo killed with SIGKILL while the second of three items runs: at the next start the queue
// is back, the first item done, the second waiting without its temporary file; a new run
// encodes the second and the third only.
TEST(QueueStore, AQueueKilledMidRunComesBackAndEncodesOnlyWhatIsLeft) {
  const std::string root = testing::MakeTempDirectory("queue");
  testing::SetStateHome(root + N("/state"));
  const std::vector<std::string> sources = {root + "/v/1.mov", root + "/v/2.mov",
                                            root + "/v/3.mov"};
  int told[2];
  ASSERT_EQ(::pipe(told), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    QueueModel model;
    QueueStore store(model, QueueFilePath(), {});
    HangingRunner items(told[1]);
    TaskLoop loop;
    QueueRunner runner(model, items, loop.Post(),
                       [&store](std::function<void()> then) { store.AfterSave(then); });
    store.Open();
    model.Add(sources, {});
    runner.Start();
    loop.RunForever();
  }
  char byte = 0;
  ASSERT_EQ(::read(told[0], &byte, 1), 1);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(fs::exists(root + "/v/2.H264.part"));

  Window window;
  QueueStore store(window.model, QueueFilePath(), {});
  ASSERT_TRUE(store.Open());
  EXPECT_EQ(Table(window.model, root), "v/1.H264=done v/2.H264=waiting v/3.H264=waiting");
  EXPECT_FALSE(fs::exists(root + "/v/2.H264.part"));
  EXPECT_TRUE(window.posted.empty() && window.items.started.empty());  // it did not start
  window.runner.Start();
  for (int item = 0; item < 2; ++item) {
    window.items.callbacks.ended({ItemState::kDone, {}, {}});
    window.Drain();
  }
  EXPECT_EQ(window.items.started, std::vector<std::string>({"2.mov", "3.mov"}));
  store.Flush();  // its thread may still be renaming the last save into the folder
  ::close(told[0]);
  ::close(told[1]);
  fs::remove_all(root);
}
#endif

// Add Folder: every video by the desktop entry's types, one source per numbered PNG sequence
// (its first picture), nothing hidden, nothing under a folder the encode would read as a PNG.
TEST(QueueScan, TakesVideosAndOneFirstPicturePerSequence) {
  const std::string root = testing::MakeTempDirectory("scan");
  std::istringstream files(
      "a.mp4 B.MKV c.Mov notes.txt song.ogg out.H264 .hidden.mp4 .cache/x.mp4 sub/deep/d.webm "
      "sub/e.ts seq/img_0002.png seq/img_0010.png seq/img_0001.png seq/f2.png seq/f12.png "
      "seq/f1.png seq/SHOT_01.PNG seq/SHOT_02.PNG seq/lone7.png seq/cover.png "
      "seq/cover2.png.1.png seq/cover2.png.2.png shots.png/x.mp4 clip.png.mp4");
  for (std::string file; files >> file;) Touch(root + N("/" + file));
#ifndef _WIN32
  fs::create_directory_symlink(root + "/sub", root + "/link");
#endif
  std::string found;
  for (const std::string& source : ScanFolder(root)) found += Relative(source, root) + " ";
  EXPECT_EQ(found,
            "B.MKV a.mp4 c.Mov seq/SHOT_01.PNG seq/f1.png seq/img_0001.png sub/deep/d.webm "
            "sub/e.ts ");
  // The scan's types are the desktop entry's.
  std::istringstream entry(testing::ReadAll(std::string(VEXLO_TEST_DATA_DIR) +
                                            N("/../../dist/io.github.vexlo.Vexlo.desktop")));
  std::string line, taken;
  while (std::getline(entry, line) && !line.starts_with("MimeType=")) {
  }
  for (const VideoType& type : kVideoTypes) taken += std::string(type.mime) + ";";
  EXPECT_EQ(line, "MimeType=" + taken + "image/png;");
  fs::remove_all(root);
}

}  // namespace
}  // namespace vexlo::jobs
