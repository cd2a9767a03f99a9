// The queue with 1,000 files: "Add Folder" over a tree of 1,000 files, then 1,000 changes of a
// queue of 1,000 items, each saved (queue.json replaced through a synced temporary file). Both
// run as tasks posted to a window thread of the benchmark's own, while probes posted every 10 ms
// measure how long the window takes to answer. Goals: no posted task waits 50 ms or more, and
// the process stays under 60 MB.
//
//   queue_save    prints the figures; the last line is the worst probe delay over the goal
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "jobs/QueueFile.h"
#include "jobs/QueueModel.h"
#include "jobs/QueueScan.h"
#include "jobs/QueueStore.h"
#include "platform/AtomicFile.h"

namespace {

using namespace vexlo;
using Clock = std::chrono::steady_clock;

constexpr double kGoalMs = 50.0;
constexpr int kChanges = 1000;

double Ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// The window's thread: runs posted tasks in order.
class WindowThread {
 public:
  WindowThread() : thread_([this] { Run(); }) {}
  ~WindowThread() {
    post({});
    thread_.join();
  }
  /// Posts a task; an empty one ends the thread.
  void post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    wake_.notify_one();
  }
  /// Runs `task` on the window's thread and waits for it.
  void run(const std::function<void()>& task) {
    std::promise<void> done;
    post([&] {
      task();
      done.set_value();
    });
    done.get_future().wait();
  }

 private:
  void Run() {
    for (;;) {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !tasks_.empty(); });
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      if (!task) return;
      task();
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::thread thread_;
};

// Posts a probe every 10 ms and keeps the worst time a probe waited for the window's thread.
class Prober {
 public:
  explicit Prober(WindowThread& window)
      : thread_([this, &window] {
          while (!stop_) {
            const auto posted = Clock::now();
            window.post([this, posted] {
              const double waited = Ms(Clock::now() - posted);
              double worst = worst_.load();
              while (waited > worst && !worst_.compare_exchange_weak(worst, waited)) {
              }
              ++probes_;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~Prober() {
    stop_ = true;
    thread_.join();
  }
  double worst() const { return worst_; }
  long probes() const { return probes_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<double> worst_{0};
  std::atomic<long> probes_{0};
  std::thread thread_;
};

// 1,000 files: 950 videos in 10 folders (and a few files no scan takes), 5 PNG sequences of 10
// pictures.
void MakeTree(const std::string& root) {
  for (int folder = 0; folder < 10; ++folder) {
    const std::string dir = root + "/shoot" + std::to_string(folder);
    std::filesystem::create_directories(dir + "/day");
    for (int clip = 0; clip < 95; ++clip) {
      std::ofstream(dir + (clip % 2 ? "/day" : "") + "/clip" + std::to_string(clip) + ".mov");
    }
  }
  for (int sequence = 0; sequence < 5; ++sequence) {
    const std::string dir = root + "/frames" + std::to_string(sequence);
    std::filesystem::create_directories(dir);
    for (int picture = 1; picture <= 10; ++picture) {
      char name[32];
      std::snprintf(name, sizeof name, "/img_%04d.png", picture);
      std::ofstream(dir + name);
    }
  }
}

// The CPU time of the calling thread: what a task costs, without the waits for a core that the
// machine's other work causes.
double ThreadCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

std::string LoadAverage() {
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  return load.substr(0, load.find(' '));
}

long PeakKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main() {
  const std::string root =
      std::filesystem::temp_directory_path() / ("vexlo_queue_bench_" + std::to_string(::getpid()));
  MakeTree(root + "/media");
  const std::string path = root + "/state/queue.json";

  WindowThread window;
  jobs::QueueModel model;
  jobs::QueueStore store(
      model, path, [](std::string_view line) { std::fwrite(line.data(), 1, line.size(), stderr); });
  window.run([&] { store.Open(); });
  Prober prober(window);

  // Add Folder: the scan (a worker's), then the add (the window's).
  auto begin = Clock::now();
  const std::vector<std::string> sources = jobs::ScanFolder(root + "/media");
  const double scanMs = Ms(Clock::now() - begin);
  double addMs = 0;
  window.run([&] {
    const auto start = Clock::now();
    model.Add(sources, {});
    addMs = Ms(Clock::now() - start);
  });
  begin = Clock::now();
  store.Flush();
  const double firstSaveMs = Ms(Clock::now() - begin);

  // Fill to 1,000 items, then 1,000 changes, one posted task each, 1 ms apart (a fast user).
  window.run([&] {
    std::vector<std::string> more;
    for (std::size_t i = model.items().size(); i < 1000; ++i) {
      more.push_back(root + "/media/extra" + std::to_string(i) + ".mov");
    }
    model.Add(more, {});
  });
  store.Flush();
  const std::uint64_t writesBefore = store.writes();
  std::vector<double> changeMs(kChanges), changeCpuMs(kChanges);
  begin = Clock::now();
  for (int change = 0; change < kChanges; ++change) {
    window.post([&, change] {
      const auto start = Clock::now();
      const double cpu = ThreadCpuMs();
      const auto& items = model.items();
      const std::uint64_t id = items[(change * 37) % items.size()].id;
      if (change % 2) {
        model.MoveUp(id);
      } else {
        model.MoveDown(id);
      }
      changeMs[change] = Ms(Clock::now() - start);
      changeCpuMs[change] = ThreadCpuMs() - cpu;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  window.run([] {});
  store.Flush();
  const double changesMs = Ms(Clock::now() - begin);
  const std::uint64_t writes = store.writes() - writesBefore;

  // What one save costs when it is made on the window's thread instead.
  begin = Clock::now();
  constexpr int kDirectSaves = 20;
  for (int i = 0; i < kDirectSaves; ++i) {
    if (platform::ReplaceWholeFile(path + ".direct",
                                   jobs::QueueToJson(model.items(), model.options())) != 0) {
      std::fprintf(stderr, "direct save failed\n");
    }
  }
  const double directMs = Ms(Clock::now() - begin) / kDirectSaves;

  const double worstChange = *std::max_element(changeMs.begin(), changeMs.end());
  double sum = 0;
  for (double ms : changeMs) sum += ms;
  const double worst = prober.worst();
  std::printf(
      "Add Folder over 1,000 files: %zu sources; scan %.1f ms, add %.1f ms (window), "
      "saved %.1f ms later\n",
      sources.size(), scanMs, addMs, firstSaveMs);
  std::printf(
      "queue of %zu items, %d changes: %.3f ms mean, %.3f ms worst on the window's "
      "thread; %llu saves written for them (%.0f ms for all, queue.json %ju bytes)\n",
      model.items().size(), kChanges, sum / kChanges, worstChange,
      static_cast<unsigned long long>(writes), changesMs,
      static_cast<std::uintmax_t>(std::filesystem::file_size(path)));
  std::printf("worst CPU time of a change on the window's thread: %.3f ms\n",
              *std::max_element(changeCpuMs.begin(), changeCpuMs.end()));
  std::printf("one save on the window's thread instead: %.2f ms (serialize, write, sync, rename)\n",
              directMs);
  std::printf("probes run: %ld; worst posted-task delay: %.2f ms (goal: under %.0f ms)\n",
              prober.probes(), worst, kGoalMs);
  std::printf("machine load (1 min) at the end: %s\n", LoadAverage().c_str());
  std::printf("peak resident size: %.1f MB (goal: under 60 MB)\n", PeakKilobytes() / 1024.0);
  std::filesystem::remove_all(root);
  std::printf("ratio: %.3f\n", worst / kGoalMs);
  return 0;
}
