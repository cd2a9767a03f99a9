#pragma once

// The one subscription point of the jobs' typed ends, told on the window's thread.

#include <functional>
#include <utility>
#include <vector>

#include "jobs/JobEnd.h"

namespace vexlo::jobs {

/// The one place where the ends of the jobs are told: the window, automatic mode and the desktop
/// aids subscribe here (and a run of many jobs will too), and a job's end reaches each of them on
/// the window's thread, after everything the job posted before it.
class JobEnds {
 public:
  using Subscriber = std::function<void(const jobs::JobEnd&)>;

  explicit JobEnds(PostTask post) : post_(std::move(post)) {}
  JobEnds(const JobEnds&) = delete;
  JobEnds& operator=(const JobEnds&) = delete;

  /// Adds a subscriber; on the window's thread, before the first job starts. Subscribers are
  /// told in the order they subscribed.
  void Subscribe(Subscriber subscriber) { subscribers_.push_back(std::move(subscriber)); }

  /// Tells every subscriber of the end on the window's thread (posted). Any thread.
  void Post(jobs::JobEnd end) {
    post_([this, end = std::move(end)] {
      for (const Subscriber& subscriber : subscribers_) subscriber(end);
    });
  }

 private:
  PostTask post_;
  std::vector<Subscriber> subscribers_;  // only touched on the window's thread
};

}  // namespace vexlo::jobs
