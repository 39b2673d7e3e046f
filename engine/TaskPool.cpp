// engine/TaskPool.cpp - the threads of the series stream. The contracts are in
// engine/TaskPool.h.
#include "engine/TaskPool.h"

#include <cstddef>
#include <utility>

namespace tessgrid::detail {

bool StartThread(std::thread& Thread, std::function<void()> Body) {
  try {
    Thread = std::thread(std::move(Body));
    return true;
  } catch (...) {
    // std::system_error when the system refuses, std::bad_alloc for the thread's state: either
    // way the work is done on the caller's thread.
    return false;
  }
}

TTaskPool::TTaskPool(long LngThreads) {
  // Room for every thread first, so that a thread once started is always kept and joined.
  MbrVecThreads.reserve(static_cast<std::size_t>(LngThreads > 1 ? LngThreads - 1 : 0));
  for (long LngI = 1; LngI < LngThreads; ++LngI) {
    std::thread Thread;
    if (!StartThread(Thread, [this, LngI] { Serve(LngI); })) {
      break;
    }
    MbrVecThreads.push_back(std::move(Thread));
  }
}

TTaskPool::~TTaskPool() {
  {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    MbrBlnStop = true;
  }
  MbrStart.notify_all();
  for (std::thread& Thread : MbrVecThreads) {
    Thread.join();
  }
}

void TTaskPool::Run(long LngTasks, const std::function<void(long, long)>& Task) {
  std::vector<std::exception_ptr> VecErrors(static_cast<std::size_t>(LngTasks));
  if (MbrVecThreads.empty() || LngTasks <= 1) {
    for (long LngTask = 0; LngTask < LngTasks; ++LngTask) {
      try {
        Task(LngTask, 0);
      } catch (...) {
        VecErrors[static_cast<std::size_t>(LngTask)] = std::current_exception();
      }
    }
  } else {
    {
      const std::lock_guard<std::mutex> Lock(MbrMutex);
      MbrPtrTask = &Task;
      MbrLngTasks = LngTasks;
      MbrLngNextTask.store(0);
      MbrPtrErrors = &VecErrors;
      MbrLngPending = static_cast<long>(MbrVecThreads.size());
      ++MbrLngGeneration;
    }
    MbrStart.notify_all();
    RunTasks(0);
    std::unique_lock<std::mutex> Lock(MbrMutex);
    MbrDone.wait(Lock, [this] { return MbrLngPending == 0; });
  }
  for (const std::exception_ptr& PtrError : VecErrors) {
    if (PtrError) {
      std::rethrow_exception(PtrError);
    }
  }
}

void TTaskPool::RunTasks(long LngWorker) {
  for (long LngTask = MbrLngNextTask.fetch_add(1); LngTask < MbrLngTasks;
       LngTask = MbrLngNextTask.fetch_add(1)) {
    try {
      (*MbrPtrTask)(LngTask, LngWorker);
    } catch (...) {
      (*MbrPtrErrors)[static_cast<std::size_t>(LngTask)] = std::current_exception();
    }
  }
}

void TTaskPool::Serve(long LngWorker) {
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
    RunTasks(LngWorker);
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    if (--MbrLngPending == 0) {
      MbrDone.notify_one();
    }
  }
}

}  // namespace tessgrid::detail
