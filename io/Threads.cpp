// io/Threads.cpp - the thread count, the thread group, the task pool, row blocks and the
// hand-over. The contract is in io/Threads.h.
#include "io/Threads.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tessgrid::detail {

long ThreadCount() {
  const long LngCores = std::max(1L, static_cast<long>(std::thread::hardware_concurrency()));
  // Each thread brings a read block of a few MiB and a row-formatting buffer: beyond a few per
  // core they only cost memory.
  const long LngCap = std::min(kLngMaxThreadsPerCore * LngCores, kLngMaxThreads);
  // Read each time, so that a caller may change it between runs.
  if (const char* PtrText = std::getenv("TESSGRID_THREADS")) {
    char* PtrEnd = nullptr;
    const long LngThreads = std::strtol(PtrText, &PtrEnd, 10);
    if (PtrEnd != PtrText && *PtrEnd == '\0' && LngThreads >= 1) {
      return std::min(LngThreads, LngCap);
    }
  }
  return std::min(LngCores, LngCap);
}

long TThreadGroup::Start(long LngCount, const std::function<void(long)>& Body) noexcept {
  long LngStarted = 0;
  try {
    MbrVecThreads.reserve(MbrVecThreads.size() + static_cast<std::size_t>(std::max(0L, LngCount)));
    for (; LngStarted < LngCount; ++LngStarted) {
      const long LngIndex = LngStarted + 1;
      MbrVecThreads.emplace_back([Body, LngIndex] { Body(LngIndex); });
    }
  } catch (...) {
    // std::system_error when the system has no thread to give, std::bad_alloc for the copy of
    // the body or the thread's state: either way the caller's thread does the rest.
  }
  return LngStarted;
}

void TThreadGroup::Join() noexcept {
  for (std::thread& Thread : MbrVecThreads) {
    Thread.join();
  }
  MbrVecThreads.clear();
}

TTaskPool::TTaskPool(long LngThreads) {
  MbrThreads.Start(LngThreads - 1, [this](long) { Serve(); });
}

TTaskPool::~TTaskPool() {
  {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    MbrBlnStop = true;
  }
  MbrStart.notify_all();
  MbrThreads.Join();
}

void TTaskPool::Run(long LngTasks, const std::function<void(long)>& Task) {
  std::vector<std::exception_ptr> VecErrors(static_cast<std::size_t>(std::max(0L, LngTasks)));
  {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    MbrPtrTask = &Task;
    MbrLngTasks = LngTasks;
    MbrLngNextTask.store(0);
    MbrPtrErrors = &VecErrors;
    MbrLngPending = MbrThreads.Size();
    ++MbrLngGeneration;
  }
  MbrStart.notify_all();
  RunTasks();
  {
    std::unique_lock<std::mutex> Lock(MbrMutex);
    MbrDone.wait(Lock, [this] { return MbrLngPending == 0; });
  }
  for (const std::exception_ptr& PtrError : VecErrors) {
    if (PtrError) {
      std::rethrow_exception(PtrError);
    }
  }
}

void TTaskPool::RunTasks() {
  for (long LngTask = MbrLngNextTask.fetch_add(1); LngTask < MbrLngTasks;
       LngTask = MbrLngNextTask.fetch_add(1)) {
    try {
      (*MbrPtrTask)(LngTask);
    } catch (...) {
      (*MbrPtrErrors)[static_cast<std::size_t>(LngTask)] = std::current_exception();
    }
  }
}

void TTaskPool::Serve() {
  long LngSeen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> Lock(MbrMutex);
      MbrStart.wait(Lock, [this, LngSeen] { return MbrBlnStop || MbrLngGeneration != LngSeen; });
      if (MbrBlnStop) {
        return;
      }
      LngSeen = MbrLngGeneration;
    }
    RunTasks();
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    if (--MbrLngPending == 0) {
      MbrDone.notify_one();
    }
  }
}

void ForRowBlocks(TTaskPool& Pool, long LngRows, long LngBlockRows, const TRowBlockWork& Work) {
  const long LngBlock = std::max(1L, LngBlockRows);
  const long LngBlocks = LngRows > 0 ? (LngRows - 1) / LngBlock + 1 : 0;
  std::atomic<long> LngNext{0};
  // Blocks from the first that failed on are not worth beginning: a block before it holds the
  // failure to report only if it is still running, and every one of them has been begun.
  std::atomic<long> LngFailed{LngBlocks};
  std::mutex Mutex;
  std::exception_ptr PtrFailure;
  Pool.Run(std::min(Pool.Size(), LngBlocks), [&](long LngWorker) {
    for (long LngB = LngNext.fetch_add(1); LngB < LngFailed.load(); LngB = LngNext.fetch_add(1)) {
      try {
        Work(LngB * LngBlock, std::min(LngRows, (LngB + 1) * LngBlock), LngWorker);
      } catch (...) {
        const std::lock_guard<std::mutex> Lock(Mutex);
        if (LngB < LngFailed.load()) {
          LngFailed.store(LngB);
          PtrFailure = std::current_exception();
        }
      }
    }
  });
  if (PtrFailure) {
    std::rethrow_exception(PtrFailure);
  }
}

void ForRowBlocks(long LngRows, long LngBlockRows, long LngThreads, const TRowBlockWork& Work) {
  const long LngBlock = std::max(1L, LngBlockRows);
  const long LngBlocks = LngRows > 0 ? (LngRows - 1) / LngBlock + 1 : 0;
  TTaskPool Pool(std::max(1L, std::min(LngThreads, LngBlocks)));
  ForRowBlocks(Pool, LngRows, LngBlock, Work);
}

THandOver::THandOver(std::size_t LngDepth, bool BlnThreaded)
    : MbrVecSlots(std::max<std::size_t>(1, LngDepth)) {
  if (BlnThreaded) {
    MbrBlnThreaded = MbrThread.Start(1, [this](long) { Serve(); }) == 1;
  }
}

THandOver::~THandOver() {
  {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    MbrBlnStop = true;
  }
  MbrChanged.notify_all();
  MbrThread.Join();
}

void THandOver::RunJob(std::function<void()>& Job) noexcept {
  if (!MbrPtrFailure) {
    try {
      Job();
    } catch (...) {
      MbrPtrFailure = std::current_exception();
    }
  }
  // What the job holds goes with it, on the thread that ran it.
  Job = nullptr;
}

void THandOver::Hand(std::function<void()> Job) {
  if (!MbrBlnThreaded) {
    RunJob(Job);
    return;
  }
  std::unique_lock<std::mutex> Lock(MbrMutex);
  MbrChanged.wait(Lock, [this] { return MbrLngHanded - MbrLngDone < MbrVecSlots.size(); });
  MbrVecSlots[MbrLngHanded % MbrVecSlots.size()] = std::move(Job);
  ++MbrLngHanded;
  MbrChanged.notify_all();
}

void THandOver::Finish() {
  if (MbrBlnThreaded) {
    std::unique_lock<std::mutex> Lock(MbrMutex);
    MbrChanged.wait(Lock, [this] { return MbrLngDone == MbrLngHanded; });
  }
  if (MbrPtrFailure) {
    std::rethrow_exception(MbrPtrFailure);
  }
}

void THandOver::Serve() {
  std::unique_lock<std::mutex> Lock(MbrMutex);
  for (;;) {
    MbrChanged.wait(Lock, [this] { return MbrBlnStop || MbrLngDone != MbrLngHanded; });
    if (MbrBlnStop) {
      return;
    }
    std::function<void()>& Job = MbrVecSlots[MbrLngDone % MbrVecSlots.size()];
    // Only this thread touches the failure and the slot of the job while it runs: the producer
    // waits for room before it fills a slot, and Finish reads the failure once all are done.
    Lock.unlock();
    RunJob(Job);
    Lock.lock();
    ++MbrLngDone;
    MbrChanged.notify_all();
  }
}

}  // namespace tessgrid::detail
