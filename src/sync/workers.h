// Worker threads (-j): they only list, read, compare and copy; the walking thread makes every
// decision and writes every line. A task's texts are held and written by the walking thread.
#pragma once

#include <functional>
#include <memory>

// Starts count - 1 workers beside the walking thread (none for 1).
void StartWorkers(int count);
// Ends the workers once every queued task has run.
void StopWorkers();
// Whether any worker runs.
bool WorkersRunning();

// A task handed to a worker; its Wait returns once the task has run (run by the waiting thread
// itself where no worker has begun it).
class WorkerTask {
 public:
  struct State;
  explicit WorkerTask(std::shared_ptr<State> state) : state_(std::move(state)) {}
  void Wait();

 private:
  std::shared_ptr<State> state_;
};
// Queues work for the next free worker (WorkersRunning must hold).
WorkerTask RunOnWorker(std::function<void()> work);
