// tests/support/CommandRunner.h - TCommandTest: runs the built tessgrid commands as a user would.
// Each test gets a fresh work folder; a run reports exit status, standard output and error stream.
#ifndef TESTS_SUPPORT_COMMANDRUNNER_H
#define TESTS_SUPPORT_COMMANDRUNNER_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tessgrid_test {

namespace fs = std::filesystem;

inline std::string Quote(const std::string& StgText) {
  std::string StgQuoted = "'";
  for (const char ChrC : StgText) {
    StgQuoted += ChrC == '\'' ? std::string("'\\''") : std::string(1, ChrC);
  }
  return StgQuoted + "'";
}

inline std::string ReadFile(const fs::path& PathFile) {
  std::ifstream Input(PathFile, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(Input), std::istreambuf_iterator<char>());
}

struct TRun {
  int LngStatus;
  std::string StgOut;
  std::string StgErr;
};

class TCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* PtrInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    MbrPathWork = fs::path(TESSGRID_BINARY_DIR) / "command_work" / PtrInfo->name();
    fs::remove_all(MbrPathWork);
    fs::create_directories(MbrPathWork);
  }

  static std::string Data(const std::string& StgName) {
    return (fs::path(TESSGRID_TEST_DATA) / "app" / StgName).string();
  }

  std::string Work(const std::string& StgName) const { return (MbrPathWork / StgName).string(); }

  // Runs the command with the arguments; the shell only redirects the two streams.
  // A shell prefix (such as a ulimit) applies to the command alone.
  TRun Run(const std::vector<std::string>& VecArgs, const std::string& StgPrefix = "") const {
    return RunProgram(TESSGRID_EXE, VecArgs, StgPrefix, "");
  }

#ifdef TESSGRID_TOOL_EXE
  // Runs tessgrid-tool the same way; standard input reads the named file.
  TRun RunTool(const std::vector<std::string>& VecArgs,
               const std::string& StgStdin = "/dev/null") const {
    return RunProgram(TESSGRID_TOOL_EXE, VecArgs, "", StgStdin);
  }
#endif

  TRun RunProgram(const std::string& StgProgram, const std::vector<std::string>& VecArgs,
                  const std::string& StgPrefix, const std::string& StgStdin) const {
    std::string StgCommand = StgPrefix + Quote(StgProgram);
    for (const std::string& StgArg : VecArgs) {
      StgCommand += " " + Quote(StgArg);
    }
    StgCommand += StgStdin.empty() ? std::string() : " <" + Quote(StgStdin);
    StgCommand += " >" + Quote(Work("stdout.txt")) + " 2>" + Quote(Work("stderr.txt"));
    const int LngRaw = std::system(("(" + StgCommand + ")").c_str());
    TRun Result{WIFEXITED(LngRaw) ? WEXITSTATUS(LngRaw) : -1, ReadFile(Work("stdout.txt")),
                ReadFile(Work("stderr.txt"))};
    return Result;
  }

  void ExpectFailure(const TRun& Result, const std::string& StgLine) const {
    EXPECT_EQ(Result.StgOut, StgLine + "\n");
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 1);
  }

  fs::path MbrPathWork;  ///< a fresh folder per test, so parallel tests never share files
};

}  // namespace tessgrid_test

#endif  // TESTS_SUPPORT_COMMANDRUNNER_H
