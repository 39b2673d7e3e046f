// tests/io/ThreadsTest.cpp - the thread module: a pool runs every task once on any thread count,
// reports the lowest failing task, and serves run after run; a group joins what it started.
#include "io/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tessgrid::detail::TTaskPool;
using tessgrid::detail::TThreadGroup;

TEST(ThreadsTest, PoolRunsEveryTaskOnceRunAfterRunOnAnyThreadCount) {
  for (const long LngThreads : {1L, 2L, 3L, 7L}) {
    TTaskPool Pool(LngThreads);
    EXPECT_EQ(Pool.Size(), LngThreads);
    for (const long LngTasks : {0L, 1L, 5L, 100L}) {
      std::vector<std::atomic<int>> VecRuns(static_cast<std::size_t>(LngTasks));
      Pool.Run(LngTasks, [&](long LngTask) { ++VecRuns[static_cast<std::size_t>(LngTask)]; });
      for (long LngTask = 0; LngTask < LngTasks; ++LngTask) {
        EXPECT_EQ(VecRuns[static_cast<std::size_t>(LngTask)].load(), 1)
            << LngThreads << " threads, task " << LngTask << " of " << LngTasks;
      }
    }
  }
}

TEST(ThreadsTest, PoolRethrowsTheLowestFailingTaskAfterEveryTaskRan) {
  for (const long LngThreads : {1L, 4L}) {
    TTaskPool Pool(LngThreads);
    std::atomic<long> LngRan{0};
    try {
      Pool.Run(50, [&](long LngTask) {
        ++LngRan;
        if (LngTask == 31 || LngTask == 7) {
          throw std::runtime_error("task " + std::to_string(LngTask));
        }
      });
      ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& Error) {
      EXPECT_STREQ(Error.what(), "task 7");
    }
    EXPECT_EQ(LngRan.load(), 50);
    // The pool is whole after a failure.
    Pool.Run(3, [&](long) { ++LngRan; });
    EXPECT_EQ(LngRan.load(), 53);
  }
}

TEST(ThreadsTest, GroupNumbersItsThreadsFromOneAndJoinsThem) {
  std::vector<std::atomic<int>> VecSeen(4);
  TThreadGroup Group;
  const long LngStarted =
      Group.Start(3, [&](long LngIndex) { ++VecSeen[static_cast<std::size_t>(LngIndex)]; });
  EXPECT_EQ(LngStarted, 3);
  EXPECT_EQ(Group.Size(), 3);
  Group.Join();
  EXPECT_EQ(Group.Size(), 0);
  EXPECT_EQ(VecSeen[0].load(), 0);
  for (std::size_t LngI = 1; LngI < VecSeen.size(); ++LngI) {
    EXPECT_EQ(VecSeen[LngI].load(), 1);
  }
}

}  // namespace
