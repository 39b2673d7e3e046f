// tests/app/OutputSafetyTest.cpp - what the command does to its output and its failure line under
// standard output as a target, the file-size limit, signals and names holding control bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

class OutputSafetyTest : public tessgrid_test::TCommandTest {
 protected:
  // Writes a grid of LngSize x LngSize cells of 2/3 into the work folder.
  std::string MakeGrid(const std::string& StgName, int LngSize) const {
    std::ofstream Grid(Work(StgName));
    Grid << "ncols " << LngSize << "\nnrows " << LngSize
         << "\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
    std::string StgRow;
    for (int LngI = 0; LngI < LngSize; ++LngI) {
      StgRow += "0.666666666667 ";
    }
    StgRow += "\n";
    for (int LngI = 0; LngI < LngSize; ++LngI) {
      Grid << StgRow;
    }
    return Work(StgName);
  }
};

}  // namespace

TEST_F(OutputSafetyTest, StandardOutputAsTheTargetIsWrittenWhereTheShellSendsIt) {
  const std::vector<std::string> VecInputs = {Data("elevation_4x3.asc"), Data("uplift_4x3.asc")};
  ASSERT_EQ(Run({VecInputs[0], VecInputs[1], Work("sum.asc"), "+"}).LngStatus, 0);
  const std::string StgSum = ReadFile(Work("sum.asc"));
  // tessgrid a b /dev/stdout + >> log
  for (const char* PtrName : {"/dev/stdout", "/proc/self/fd/1"}) {
    std::ofstream(Work("stdout.txt")) << "log\n";
    const TRun Result = Run({VecInputs[0], VecInputs[1], PtrName, "+"}, "", ">>");
    EXPECT_EQ(Result.StgOut, "log\n" + StgSum) << PtrName;
    EXPECT_EQ(Result.LngStatus, 0);
  }
}

TEST_F(OutputSafetyTest, TheFileSizeLimitIsAWriteFailureThatLeavesNoTemporary) {
  const std::string StgInput = MakeGrid("in.asc", 40);
  std::ofstream(Work("out.asc")) << "earlier\n";
  ExpectFailure(Run({StgInput, StgInput, Work("out.asc"), "+"}, "ulimit -f 4; "),
                "Unable to write file " + Work("out.asc"));
  EXPECT_EQ(ReadFile(Work("out.asc")), "earlier\n");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"in.asc", "out.asc", "stderr.txt", "stdout.txt"}));
}

TEST_F(OutputSafetyTest, ASignalDuringTheWriteRemovesTheTemporaryAndEndsWith128PlusItsNumber) {
  const std::string StgInput = MakeGrid("in.asc", 1500);
  const std::vector<std::string> VecFiles = {"in.asc", "out.asc", "stderr.txt", "stdout.txt"};
  for (const int LngSignal : {SIGINT, SIGTERM, SIGHUP}) {
    std::ofstream(Work("out.asc")) << "earlier\n";
    const pid_t LngPid = Start({StgInput, StgInput, Work("out.asc"), "+"});
    // Once the temporary shows, the command is stopped, so that the signal finds it writing.
    int LngRaw = 0;
    while (Entries().size() <= VecFiles.size() && ::waitpid(LngPid, &LngRaw, WNOHANG) == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(LngPid, SIGSTOP);
    ASSERT_EQ(::waitpid(LngPid, &LngRaw, WUNTRACED), LngPid);
    ASSERT_TRUE(WIFSTOPPED(LngRaw)) << "the command ended before its temporary was seen";
    ASSERT_EQ(Entries().size(), VecFiles.size() + 1) << "the write ended before the stop";
    ::kill(LngPid, LngSignal);
    ::kill(LngPid, SIGCONT);
    const TRun Result = Finish(LngPid);
    EXPECT_EQ(Result.LngStatus, 128 + LngSignal);
    EXPECT_EQ(Result.StgOut + Result.StgErr, "");
    EXPECT_EQ(ReadFile(Work("out.asc")), "earlier\n");
    EXPECT_EQ(Entries(), VecFiles);
  }
}

TEST_F(OutputSafetyTest, APipeWhoseReaderQuitsIsAWriteFailure) {
  // Several MB, far beyond what the pipe buffers, so the write meets the closed pipe.
  const std::string StgInput = MakeGrid("in.asc", 500);
  const std::string StgFifo = Work("fifo");
  ASSERT_EQ(::mkfifo(StgFifo.c_str(), 0600), 0);
  ExpectFailure(Run({StgInput, StgInput, StgFifo, "+"},
                    "head -c 10 " + tessgrid_test::Quote(StgFifo) + " > /dev/null & "),
                "Unable to write file " + StgFifo);
}

// The rename's return is held back by strace for two seconds, with the output already in
// place: a SIGTERM sent then waits for the renames, as one sent just after them would find
// them done.
TEST_F(OutputSafetyTest, ASignalOnceTheOutputIsInPlaceEndsWithSuccess) {
  if (std::system("strace -f -qq -o /dev/null -e trace=/rename true > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "strace cannot trace here";
  }
  const std::string StgInput = MakeGrid("in.asc", 40);
  ASSERT_EQ(Run({StgInput, StgInput, Work("expected.asc"), "+"}).LngStatus, 0);
  std::ofstream(Work("out.asc")) << "earlier\n";
  const std::string StgOut = tessgrid_test::Quote(Work("out.asc"));
  const std::string StgScript =
      "strace -f -qq -o /dev/null -e trace=/rename -e inject=/rename:delay_exit=2000000 " +
      tessgrid_test::Quote(TESSGRID_EXE) + " " + tessgrid_test::Quote(StgInput) + " " +
      tessgrid_test::Quote(StgInput) + " " + StgOut + " + > " +
      tessgrid_test::Quote(Work("stdout.txt")) + " 2> " + tessgrid_test::Quote(Work("stderr.txt")) +
      " & S=$!; I=0; while [ \"$(head -c 5 " + StgOut + ")\" != ncols ] && [ $I -lt 500 ]; do " +
      "sleep 0.01; I=$((I + 1)); done; kill -TERM $(cat /proc/$S/task/$S/children); wait $S; " +
      "echo $? > " + tessgrid_test::Quote(Work("status.txt"));
  ASSERT_EQ(std::system(StgScript.c_str()), 0);
  EXPECT_EQ(ReadFile(Work("status.txt")), "0\n");
  EXPECT_EQ(ReadFile(Work("stdout.txt")) + ReadFile(Work("stderr.txt")), "");
  EXPECT_TRUE(ReadFile(Work("out.asc")) == ReadFile(Work("expected.asc")));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"expected.asc", "in.asc", "out.asc", "status.txt",
                                                 "stderr.txt", "stdout.txt"}));
}

TEST_F(OutputSafetyTest, ControlBytesInTheFailureLineAreShownEscaped) {
  const std::string StgName = Work("a\nb\rc\x1b[2Jd\x7f\xc3\xa9\t.asc");
  ExpectFailure(Run({StgName, StgName, Work("out.asc"), "+"}),
                "Unable to open file " + Work("a\\x0ab\\x0dc\\x1b[2Jd\\x7f\xc3\xa9\\x09.asc"));
}
