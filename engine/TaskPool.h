// engine/TaskPool.h - TTaskPool: the threads of the series stream, and StartThread, the one place
// where the stream starts a thread. engine/TaskPool.cpp holds them.
#ifndef ENGINE_TASKPOOL_H
#define ENGINE_TASKPOOL_H

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tessgrid::detail {

/// Starts a thread that runs Body. Returns false, with Thread left as it was, when the thread
/// cannot be started for any reason (the system refuses it, or memory runs out): the caller then
/// does the work on its own thread, so a failure to start a thread is never a failure of the run.
bool StartThread(std::thread& Thread, std::function<void()> Body);

/// Up to LngThreads - 1 threads that wait for tasks, and the caller's thread, which works too.
class TTaskPool {
 public:
  /// Starts the threads; those that cannot be started are done without.
  explicit TTaskPool(long LngThreads);
  ~TTaskPool();
  TTaskPool(const TTaskPool&) = delete;
  TTaskPool& operator=(const TTaskPool&) = delete;

  /// Returns the number of threads that run tasks, the caller's included (at least 1).
  long Size() const { return static_cast<long>(MbrVecThreads.size()) + 1; }

  /// Runs Task(k, w) for every k from 0 to LngTasks - 1, w being the index of the thread that
  /// runs it (0 the caller's, below Size()), and returns once all have run. Threads take the next
  /// task as they come free. Rethrows the exception of the lowest task that threw one.
  void Run(long LngTasks, const std::function<void(long, long)>& Task);

 private:
  void RunTasks(long LngWorker);
  void Serve(long LngWorker);

  std::vector<std::thread> MbrVecThreads;
  std::mutex MbrMutex;
  std::condition_variable MbrStart;  ///< a run began, or the end
  std::condition_variable MbrDone;   ///< a thread finished its share of a run
  const std::function<void(long, long)>* MbrPtrTask = nullptr;  ///< the task of the current run
  std::vector<std::exception_ptr>* MbrPtrErrors = nullptr;      ///< one slot per task of the run
  long MbrLngTasks = 0;                                         ///< tasks of the current run
  std::atomic<long> MbrLngNextTask{0};                          ///< next task to take
  long MbrLngPending = 0;     ///< threads that have not finished the current run
  long MbrLngGeneration = 0;  ///< runs begun
  bool MbrBlnStop = false;    ///< the threads are to end
};

}  // namespace tessgrid::detail

#endif  // ENGINE_TASKPOOL_H
