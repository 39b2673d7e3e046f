// io/Threads.h - the thread module: how many threads a run takes, a group of threads that is
// always joined, a pool that shares numbered tasks out, rows in blocks over a pool, and a
// hand-over of finished work to a thread of its own. io/Threads.cpp holds it; the grid reader,
// the row writer, the engine and the faces start every thread through it.
#ifndef IO_THREADS_H
#define IO_THREADS_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tessgrid::detail {

/// Most threads per core, and most threads in all, that ThreadCount returns.
constexpr long kLngMaxThreadsPerCore = 4;
constexpr long kLngMaxThreads = 64;

/// Returns the number of threads for reading, computing and writing grids: TESSGRID_THREADS when
/// it holds a whole number from 1 on, otherwise the number of cores (at least 1); never more than
/// kLngMaxThreadsPerCore threads per core or kLngMaxThreads, whichever is fewer.
long ThreadCount();

/// Threads started for one piece of work, joined by the destructor at the latest. Starting never
/// fails: a thread the system refuses (no thread left, no memory for its state) is simply not
/// started, and the caller's thread does the work of the threads that are missing. So a class
/// that starts its threads as the last step of its constructor can never be left with threads
/// running and no destructor to stop them.
class TThreadGroup {
 public:
  TThreadGroup() = default;
  /// Joins every thread; their bodies must end without further help from the caller's thread.
  ~TThreadGroup() { Join(); }
  TThreadGroup(const TThreadGroup&) = delete;
  TThreadGroup& operator=(const TThreadGroup&) = delete;

  /// Starts up to LngCount threads, each running Body(1), Body(2), ... in order, and returns how
  /// many started; the first refusal ends the starting. Body must not throw.
  long Start(long LngCount, const std::function<void(long)>& Body) noexcept;
  /// Returns the number of threads started and not yet joined.
  long Size() const { return static_cast<long>(MbrVecThreads.size()); }
  /// Waits for every thread to end.
  void Join() noexcept;

 private:
  std::vector<std::thread> MbrVecThreads;  ///< joinable, in the order started
};

/// Threads that wait between runs of numbered tasks, with the caller's thread working too; a run
/// ends when every task has. Tasks are taken in order as threads come free, so a thread the
/// system holds back delays the others by one task at most. Not itself thread-safe: one caller
/// runs it.
class TTaskPool {
 public:
  /// Starts LngThreads - 1 threads (fewer when the system refuses some).
  explicit TTaskPool(long LngThreads);
  ~TTaskPool();
  TTaskPool(const TTaskPool&) = delete;
  TTaskPool& operator=(const TTaskPool&) = delete;

  /// Returns the threads that work, the caller's included.
  long Size() const { return MbrThreads.Size() + 1; }

  /// Runs Task(0) to Task(LngTasks - 1) and waits for all of them; then rethrows the exception
  /// of the lowest task that threw one.
  void Run(long LngTasks, const std::function<void(long)>& Task);

 private:
  // Takes tasks until none is left.
  void RunTasks();
  // The body of a pool thread: a run's tasks whenever one begins, until the pool ends.
  void Serve();

  std::mutex MbrMutex;
  std::condition_variable MbrStart;                         ///< a run began, or the end
  std::condition_variable MbrDone;                          ///< a thread finished its part of a run
  const std::function<void(long)>* MbrPtrTask = nullptr;    ///< the current run's tasks
  std::vector<std::exception_ptr>* MbrPtrErrors = nullptr;  ///< one slot a task of the run
  long MbrLngTasks = 0;                                     ///< tasks of the current run
  std::atomic<long> MbrLngNextTask{0};                      ///< next task to take
  long MbrLngPending = 0;     ///< pool threads still in the current run
  long MbrLngGeneration = 0;  ///< runs begun
  bool MbrBlnStop = false;    ///< the pool is ending
  TThreadGroup MbrThreads;    ///< last: started when the rest is set, joined first
};

/// The work on one block of rows: rows [LngFirst, LngEnd), on worker LngWorker.
using TRowBlockWork = std::function<void(long LngFirst, long LngEnd, long LngWorker)>;

/// Runs Work over the rows [0, LngRows) in blocks of LngBlockRows rows (the last one fewer),
/// taken in order by the pool's threads as they come free; workers are numbered from 0 to
/// Pool.Size() - 1, and a worker works on one block at a time, so that it may keep scratch of
/// its own. Every block before the first one that fails runs; blocks after it may not.
/// Rethrows the failure of the first block that failed, so that every thread count reports the
/// same failure.
void ForRowBlocks(TTaskPool& Pool, long LngRows, long LngBlockRows, const TRowBlockWork& Work);

/// The same on a pool of its own of LngThreads threads, the caller's included, or fewer where
/// there are fewer blocks; workers are numbered below LngThreads.
void ForRowBlocks(long LngRows, long LngBlockRows, long LngThreads, const TRowBlockWork& Work);

/// Jobs that one producer hands to a thread of their own, run one after the other in the order
/// handed while the producer goes on: finished blocks of rows to their writing. At most LngDepth
/// jobs are handed and not yet done; Hand waits for room, so the memory a job reads stays
/// untouched until LngDepth further jobs have been handed. Once a job has failed, the jobs after
/// it are dropped and Finish throws its failure. Without a thread (BlnThreaded false, or a
/// thread the system refuses), each job runs inside Hand on the producer's thread. Not itself
/// thread-safe: one producer uses it.
class THandOver {
 public:
  explicit THandOver(std::size_t LngDepth = 1, bool BlnThreaded = true);
  /// Waits for the job running, drops those not begun, and joins the thread: a producer that
  /// failed leaves without its jobs touching the memory it frees.
  ~THandOver();
  THandOver(const THandOver&) = delete;
  THandOver& operator=(const THandOver&) = delete;

  /// Hands the job over, or runs it here without a thread; keeps its failure for Finish.
  void Hand(std::function<void()> Job);

  /// Waits until every job handed over is done; rethrows the first failure, if any.
  void Finish();

 private:
  // The body of the thread: the jobs as they come, until the end.
  void Serve();
  // Runs the job unless one failed before; keeps its failure.
  void RunJob(std::function<void()>& Job) noexcept;

  std::mutex MbrMutex;
  std::condition_variable MbrChanged;              ///< a job was handed or done, or the end
  std::vector<std::function<void()>> MbrVecSlots;  ///< job k in slot k mod LngDepth
  std::uint64_t MbrLngHanded = 0;                  ///< jobs handed over
  std::uint64_t MbrLngDone = 0;                    ///< jobs done (or dropped)
  bool MbrBlnStop = false;                         ///< the thread is to end
  std::exception_ptr MbrPtrFailure;                ///< of the first job that failed
  bool MbrBlnThreaded = false;                     ///< the thread runs the jobs
  TThreadGroup MbrThread;  ///< last: started when the rest is set, joined first
};

}  // namespace tessgrid::detail

#endif  // IO_THREADS_H
