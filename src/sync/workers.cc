#include "sync/workers.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file_system.h"

struct WorkerTask::State {
  std::function<void()> Work;
  bool Started = false;
  std::atomic<bool> Done{false};
};

namespace {

std::mutex queueLock;
std::condition_variable queued, finished;
std::deque<std::shared_ptr<WorkerTask::State>> tasks;
std::vector<std::thread> workers;
bool stopping = false;
std::atomic<size_t> queuedCount{0};  // tasks.size(), read without the lock

// A hand-over between threads costs a sleep and a wake-up, more than listing a small directory
// takes: a thread about to sleep first looks again for a while, giving way to any other.
template <typename Ready>
bool Spin(Ready ready) {
  const int64_t until = SteadyNanoseconds() + 50 * 1000;
  do {
    if (ready())
      return true;
    std::this_thread::yield();
  } while (SteadyNanoseconds() < until);
  return false;
}

void ServeTasks() {
  PrepareThreadForFiles();
  for (;;) {
    std::shared_ptr<WorkerTask::State> task;
    {
      Spin([] { return queuedCount.load(std::memory_order_relaxed) > 0; });
      std::unique_lock<std::mutex> lock(queueLock);
      queued.wait(lock, [] { return stopping || !tasks.empty(); });
      if (tasks.empty())
        return;
      task = std::move(tasks.front());
      tasks.pop_front();
      queuedCount = tasks.size();
      task->Started = true;
    }
    task->Work();
    std::lock_guard<std::mutex> lock(queueLock);
    task->Done = true;
    finished.notify_all();
  }
}

}  // namespace

void StartWorkers(int count) {
  stopping = false;
  for (int i = 1; i < count; i++) workers.emplace_back(ServeTasks);
}

void StopWorkers() {
  {
    std::lock_guard<std::mutex> lock(queueLock);
    stopping = true;
  }
  queued.notify_all();
  for (std::thread& worker : workers) worker.join();
  workers.clear();
}

bool WorkersRunning() {
  return !workers.empty();
}

WorkerTask RunOnWorker(std::function<void()> work) {
  auto state = std::make_shared<WorkerTask::State>();
  state->Work = std::move(work);
  {
    std::lock_guard<std::mutex> lock(queueLock);
    tasks.push_back(state);
    queuedCount = tasks.size();
  }
  queued.notify_one();
  return WorkerTask(state);
}

// A task no worker has begun is run here instead: the waiting thread does the work.
void WorkerTask::Wait() {
  std::unique_lock<std::mutex> lock(queueLock);
  if (!state_->Started) {
    for (auto it = tasks.begin(); it != tasks.end(); ++it) {
      if (*it == state_) {
        tasks.erase(it);
        queuedCount = tasks.size();
        break;
      }
    }
    state_->Started = true;
    lock.unlock();
    state_->Work();
    state_->Done = true;  // only this thread waits for it
    return;
  }
  lock.unlock();
  if (Spin([this] { return state_->Done.load(); }))
    return;
  lock.lock();
  finished.wait(lock, [this] { return state_->Done.load(); });
}
