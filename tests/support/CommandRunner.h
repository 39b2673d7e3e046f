// tests/support/CommandRunner.h - TCommandTest: runs the built tessgrid commands as a user would.
// Each test gets a fresh work folder; a run reports exit status, standard output and error stream.
#ifndef TESTS_SUPPORT_COMMANDRUNNER_H
#define TESTS_SUPPORT_COMMANDRUNNER_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// tessgrid-tool's path, in the tests that are built only with the tool.
#ifdef TESSGRID_TOOL_EXE
inline const std::string kToolExe = TESSGRID_TOOL_EXE;
#endif

struct TRun {
  int LngStatus;
  std::string StgOut;
  std::string StgErr;
};

class TCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* PtrInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    // The suite's name too: two suites may hold tests of one name, and ctest runs them at once.
    MbrPathWork = fs::path(TESSGRID_BINARY_DIR) / "command_work" / PtrInfo->test_suite_name() /
                  PtrInfo->name();
    fs::remove_all(MbrPathWork);
    fs::create_directories(MbrPathWork);
  }

  static std::string Data(const std::string& StgName) {
    return (fs::path(TESSGRID_TEST_DATA) / "app" / StgName).string();
  }

  std::string Work(const std::string& StgName) const { return (MbrPathWork / StgName).string(); }

  // Runs the command with the arguments; the shell only redirects the two streams.
  // A shell prefix (such as a ulimit) applies to the command alone. ">>" as the mode appends
  // standard output to what the file StgOut is read from holds already.
  TRun Run(const std::vector<std::string>& VecArgs, const std::string& StgPrefix = "",
           const std::string& StgStdoutMode = ">") const {
    return RunProgram(TESSGRID_EXE, VecArgs, StgPrefix, "", StgStdoutMode);
  }

#ifdef TESSGRID_TOOL_EXE
  // Runs tessgrid-tool the same way; standard input reads the named file.
  TRun RunTool(const std::vector<std::string>& VecArgs,
               const std::string& StgStdin = "/dev/null") const {
    return RunProgram(kToolExe, VecArgs, "", StgStdin, ">");
  }
#endif

  TRun RunProgram(const std::string& StgProgram, const std::vector<std::string>& VecArgs,
                  const std::string& StgPrefix, const std::string& StgStdin,
                  const std::string& StgStdoutMode) const {
    std::string StgCommand = StgPrefix + Quote(StgProgram);
    for (const std::string& StgArg : VecArgs) {
      StgCommand += " " + Quote(StgArg);
    }
    StgCommand += StgStdin.empty() ? std::string() : " <" + Quote(StgStdin);
    StgCommand +=
        " " + StgStdoutMode + Quote(Work("stdout.txt")) + " 2>" + Quote(Work("stderr.txt"));
    const int LngRaw = std::system(("(" + StgCommand + ")").c_str());
    TRun Result{WIFEXITED(LngRaw) ? WEXITSTATUS(LngRaw) : -1, ReadFile(Work("stdout.txt")),
                ReadFile(Work("stderr.txt"))};
    return Result;
  }

  // Starts the command without a shell, its streams going where Run sends them, with the default
  // action for the signals a test sends; Finish waits for it.
  pid_t Start(const std::vector<std::string>& VecArgs) const {
    std::vector<std::string> VecWords = {TESSGRID_EXE};
    VecWords.insert(VecWords.end(), VecArgs.begin(), VecArgs.end());
    std::vector<char*> VecArgv;
    for (std::string& StgWord : VecWords) {
      VecArgv.push_back(StgWord.data());
    }
    VecArgv.push_back(nullptr);
    const std::string StgOut = Work("stdout.txt");
    const std::string StgErr = Work("stderr.txt");
    const pid_t LngPid = ::fork();
    if (LngPid == 0) {
      ::dup2(::open(StgOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open(StgErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      for (const int LngSignal : {SIGINT, SIGTERM, SIGHUP}) {
        ::signal(LngSignal, SIG_DFL);
      }
      ::execv(VecArgv[0], VecArgv.data());
      ::_exit(127);
    }
    return LngPid;
  }

  TRun Finish(pid_t LngPid) const {
    int LngRaw = 0;
    ::waitpid(LngPid, &LngRaw, 0);
    return TRun{WIFEXITED(LngRaw) ? WEXITSTATUS(LngRaw) : -1, ReadFile(Work("stdout.txt")),
                ReadFile(Work("stderr.txt"))};
  }

  // The names in the work folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> VecNames;
    for (const fs::directory_entry& Entry : fs::directory_iterator(MbrPathWork)) {
      VecNames.push_back(Entry.path().filename().string());
    }
    std::sort(VecNames.begin(), VecNames.end());
    return VecNames;
  }

  void ExpectFailure(const TRun& Result, const std::string& StgLine) const {
    EXPECT_EQ(Result.StgOut, StgLine + "\n");
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 1);
  }

  fs::path MbrPathWork;  ///< a fresh folder per test, so parallel tests never share files
};

#ifdef TESSGRID_TOOL_EXE
// The fixture of tessgrid-tool's tests, which are built only where the tool is.
class TToolTest : public TCommandTest {};
#endif

}  // namespace tessgrid_test

#endif  // TESTS_SUPPORT_COMMANDRUNNER_H
