// tests/io/ThreadsTest.cpp - the thread module: a pool runs every task once on any thread count,
// reports the lowest failing task, and serves run after run; a group joins what it started; row
// blocks cover every row once; a hand-over runs its jobs in order within its depth.
#include "io/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tessgrid::detail::ForRowBlocks;
using tessgrid::detail::THandOver;
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

TEST(ThreadsTest, RowBlocksCoverEveryRowOnceWithOneBlockAtATimePerWorker) {
  for (const long LngThreads : {1L, 2L, 3L, 7L}) {
    for (const long LngRows : {0L, 1L, 15L, 16L, 17L, 100L}) {
      for (const long LngBlockRows : {1L, 4L, 16L}) {
        std::vector<std::atomic<int>> VecVisits(static_cast<std::size_t>(LngRows));
        std::vector<std::atomic<int>> VecBusy(static_cast<std::size_t>(LngThreads));
        std::atomic<bool> BlnOverlap{false};
        std::atomic<bool> BlnBadBlock{false};
        ForRowBlocks(LngRows, LngBlockRows, LngThreads, [&](long LngFirst, long LngEnd, long LngW) {
          ASSERT_LT(LngW, LngThreads);
          if (++VecBusy[static_cast<std::size_t>(LngW)] != 1) {
            BlnOverlap = true;
          }
          if (LngFirst % LngBlockRows != 0 || LngEnd - LngFirst > LngBlockRows) {
            BlnBadBlock = true;
          }
          for (long LngRow = LngFirst; LngRow < LngEnd; ++LngRow) {
            ++VecVisits[static_cast<std::size_t>(LngRow)];
          }
          --VecBusy[static_cast<std::size_t>(LngW)];
        });
        for (long LngRow = 0; LngRow < LngRows; ++LngRow) {
          EXPECT_EQ(VecVisits[static_cast<std::size_t>(LngRow)].load(), 1)
              << LngThreads << " threads, row " << LngRow << " of " << LngRows;
        }
        EXPECT_FALSE(BlnOverlap.load());
        EXPECT_FALSE(BlnBadBlock.load());
      }
    }
  }
}

TEST(ThreadsTest, RowBlocksReportTheFirstFailingBlockOnEveryThreadCount) {
  for (const long LngThreads : {1L, 2L, 4L, 7L}) {
    std::vector<std::atomic<int>> VecRan(20);
    TTaskPool Pool(LngThreads);
    try {
      ForRowBlocks(Pool, 80, 4, [&](long LngFirst, long, long) {
        ++VecRan[static_cast<std::size_t>(LngFirst / 4)];
        if (LngFirst == 36 || LngFirst == 12) {
          throw std::runtime_error("rows from " + std::to_string(LngFirst));
        }
      });
      ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& Error) {
      EXPECT_STREQ(Error.what(), "rows from 12") << LngThreads << " threads";
    }
    for (std::size_t LngB = 0; LngB <= 3; ++LngB) {
      EXPECT_EQ(VecRan[LngB].load(), 1) << "block " << LngB;
    }
  }
}

TEST(ThreadsTest, HandOverRunsJobsInOrderWithinItsDepth) {
  for (const bool BlnThreaded : {true, false}) {
    for (const std::size_t LngDepth : {1U, 2U, 3U}) {
      std::mutex Mutex;
      std::vector<int> VecOrder;
      std::atomic<long> LngDone{0};
      long LngMostBehind = 0;
      {
        THandOver HandOver(LngDepth, BlnThreaded);
        for (int IntJob = 0; IntJob < 40; ++IntJob) {
          HandOver.Hand([&, IntJob] {
            const std::lock_guard<std::mutex> Lock(Mutex);
            VecOrder.push_back(IntJob);
            ++LngDone;
          });
          LngMostBehind = std::max(LngMostBehind, IntJob + 1 - LngDone.load());
        }
        HandOver.Finish();
        EXPECT_EQ(LngDone.load(), 40);
      }
      EXPECT_LE(LngMostBehind, static_cast<long>(LngDepth)) << "depth " << LngDepth;
      for (int IntJob = 0; IntJob < 40; ++IntJob) {
        ASSERT_EQ(VecOrder[static_cast<std::size_t>(IntJob)], IntJob);
      }
    }
  }
}

TEST(ThreadsTest, HandOverKeepsTheFirstFailureAndDropsTheJobsAfterIt) {
  for (const bool BlnThreaded : {true, false}) {
    std::atomic<int> IntRan{0};
    THandOver HandOver(2, BlnThreaded);
    for (int IntJob = 0; IntJob < 10; ++IntJob) {
      HandOver.Hand([&IntRan, IntJob] {
        ++IntRan;
        if (IntJob >= 3) {
          throw std::runtime_error("job " + std::to_string(IntJob));
        }
      });
    }
    try {
      HandOver.Finish();
      ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& Error) {
      EXPECT_STREQ(Error.what(), "job 3");
    }
    EXPECT_EQ(IntRan.load(), 4);
  }
}

}  // namespace
