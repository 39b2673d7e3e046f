// io/Threads.cpp - the thread count, the thread group and the task pool. The contract is in
// io/Threads.h.
#include "io/Threads.h"

#include <algorithm>
#include <cstdlib>

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

}  // namespace tessgrid::detail
