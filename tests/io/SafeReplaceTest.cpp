// tests/io/SafeReplaceTest.cpp - how a named grid file is written: replaced through a temporary,
// links followed, descriptors the process holds written where they stand, failures named; and
// how the outputs of one run are staged and committed together.
#include "io/SafeReplace.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

namespace {

namespace fs = std::filesystem;
using tessgrid::detail::TOutputSet;
using tessgrid::detail::WriteFileSafely;

std::string ReadFile(const std::string& StgName) {
  std::ifstream Input(StgName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(Input), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& StgName, const std::string& StgText) {
  std::ofstream(StgName, std::ios::binary) << StgText;
}

std::vector<std::string> Entries(const std::string& StgFolder) {
  std::vector<std::string> VecNames;
  for (const fs::directory_entry& Entry : fs::directory_iterator(StgFolder)) {
    VecNames.push_back(Entry.path().filename().string());
  }
  std::sort(VecNames.begin(), VecNames.end());
  return VecNames;
}

std::string TemporarySuffix() {
  return ".tessgrid-" + std::to_string(::getpid()) + "-0.tmp";
}

void Text(std::ostream& Output, const std::string& StgText) {
  Output << StgText;
}

// The user nobody, whom folder permissions bind; null when there is none.
const struct passwd* Nobody() {
  return ::getpwnam("nobody");
}

// Gives the folder and everything in it to the user nobody, when the test runs as root.
void GiveToUnprivileged(const std::string& StgFolder) {
  const struct passwd* PtrNobody = Nobody();
  if (::geteuid() != 0 || PtrNobody == nullptr) {
    return;
  }
  for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(StgFolder)) {
    ::lchown(Entry.path().c_str(), PtrNobody->pw_uid, PtrNobody->pw_gid);
  }
  ::lchown(StgFolder.c_str(), PtrNobody->pw_uid, PtrNobody->pw_gid);
}

// Runs Body in a child process and returns the message it threw ("" when none). As root, who
// ignores folder permissions, the child runs as the user nobody; "no user" when it cannot, or
// when nobody cannot reach StgFolder (a build tree inside a folder only root may enter).
std::string MessageAsUnprivileged(const std::string& StgFolder, const std::function<void()>& Body) {
  const struct passwd* PtrNobody = Nobody();
  if (::geteuid() == 0 && PtrNobody == nullptr) {
    return "no user";
  }
  int LngPipe[2];
  if (::pipe(LngPipe) != 0) {
    return "no pipe";
  }
  const pid_t LngPid = ::fork();
  if (LngPid == 0) {
    ::close(LngPipe[0]);
    std::string StgMessage;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 ||
         ::setresgid(PtrNobody->pw_gid, PtrNobody->pw_gid, PtrNobody->pw_gid) != 0 ||
         ::setresuid(PtrNobody->pw_uid, PtrNobody->pw_uid, PtrNobody->pw_uid) != 0)) {
      StgMessage = "no user";
    } else if (::access(StgFolder.c_str(), X_OK) != 0) {
      StgMessage = "no user";
    } else {
      try {
        Body();
      } catch (const std::string& StgThrown) {
        StgMessage = StgThrown;
      } catch (...) {
        StgMessage = "an exception of another type";
      }
    }
    [[maybe_unused]] const ssize_t LngWritten =
        ::write(LngPipe[1], StgMessage.data(), StgMessage.size());
    ::_exit(0);
  }
  ::close(LngPipe[1]);
  std::string StgMessage;
  char ChrBlock[256];
  ssize_t LngRead = 0;
  while ((LngRead = ::read(LngPipe[0], ChrBlock, sizeof ChrBlock)) > 0) {
    StgMessage.append(ChrBlock, static_cast<std::size_t>(LngRead));
  }
  ::close(LngPipe[0]);
  ::waitpid(LngPid, nullptr, 0);
  return StgMessage;
}

// Runs each check in turn and returns the messages they threw, one a line ("nothing" for none).
std::string MessagesOf(const std::vector<std::function<void()>>& VecChecks) {
  std::string StgSeen;
  for (const std::function<void()>& Check : VecChecks) {
    try {
      Check();
      StgSeen += "nothing\n";
    } catch (const std::string& StgMessage) {
      StgSeen += StgMessage + "\n";
    }
  }
  return StgSeen;
}

class SafeReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* PtrInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    MbrStgFolder = std::string(TESSGRID_BINARY_DIR) + "/safe_replace/" + PtrInfo->name();
    fs::remove_all(MbrStgFolder);
    fs::create_directories(MbrStgFolder);
    MbrPtrMap = tessgrid_test::MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
    std::ostringstream Grid;
    TARCGISFileTools::WriteARCGISFile(MbrPtrMap.get(), Grid);
    MbrStgGrid = Grid.str();
  }
  void TearDown() override {
    if (MbrBlnMounted) {
      ::umount2(Path("tmpfs").c_str(), MNT_DETACH);
    }
    fs::permissions(MbrStgFolder, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(MbrStgFolder);
  }

  std::string Path(const std::string& StgName) const { return MbrStgFolder + "/" + StgName; }

  std::string FileIdentityOf(const std::string& StgName) const {
    return tessgrid::detail::FileIdentity(Path(StgName));
  }

  void WriteGrid(const std::string& StgName) const {
    TARCGISFileTools::WriteARCGISFile(MbrPtrMap.get(), StgName);
  }

  // Mounts a small file system with the options at Path("tmpfs"); false where mounting is not
  // allowed.
  bool MountTmpfs(const std::string& StgOptions) {
    fs::create_directory(Path("tmpfs"));
    MbrBlnMounted = ::mount("tmpfs", Path("tmpfs").c_str(), "tmpfs", 0, StgOptions.c_str()) == 0;
    return MbrBlnMounted;
  }

  std::string MbrStgFolder;
  std::unique_ptr<TMap> MbrPtrMap;  ///< a 2 x 2 grid
  std::string MbrStgGrid;           ///< its text
  bool MbrBlnMounted = false;       ///< Path("tmpfs") holds a mount to undo
};

}  // namespace

TEST_F(SafeReplaceTest, AFileAtTheEndOfALinkChainIsReplacedAndTheLinksStay) {
  fs::create_directories(Path("sub"));
  fs::create_directories(Path("real"));
  WriteText(Path("real/c.asc"), "earlier\n");
  fs::create_symlink("sub/b.asc", Path("a.asc"));
  fs::create_symlink("../real/c.asc", Path("sub/b.asc"));
  fs::create_symlink(Path("real/new.asc"), Path("dangling.asc"));
  // A reader that opened the file before keeps reading the earlier text: it was not rewritten.
  std::ifstream Reader(Path("real/c.asc"));
  WriteGrid(Path("a.asc"));
  WriteGrid(Path("dangling.asc"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(Reader), {}), "earlier\n");
  EXPECT_EQ(ReadFile(Path("real/c.asc")), MbrStgGrid);
  EXPECT_EQ(ReadFile(Path("real/new.asc")), MbrStgGrid);
  EXPECT_EQ(fs::read_symlink(Path("a.asc")), "sub/b.asc");
  EXPECT_EQ(fs::read_symlink(Path("sub/b.asc")), "../real/c.asc");
  EXPECT_EQ(fs::read_symlink(Path("dangling.asc")), Path("real/new.asc"));
  EXPECT_EQ(Entries(Path("real")), (std::vector<std::string>{"c.asc", "new.asc"}));
}

TEST_F(SafeReplaceTest, TheTemporaryHasItsShapeBesideTheFileWithinTheNameLimit) {
  const std::string StgSuffix = TemporarySuffix();
  const std::string StgLong(254, 'n');
  std::string StgUtf8;  // 127 two-byte characters
  for (int LngI = 0; LngI < 127; ++LngI) {
    StgUtf8 += "\xc3\xa9";
  }
  for (const std::string& StgName : {std::string("map.asc"), StgLong, StgUtf8}) {
    WriteText(Path(StgName), "earlier\n");
    std::vector<std::string> VecSeen;
    WriteFileSafely(Path(StgName), [&](std::ostream& Output) {
      Output << "new\n";
      VecSeen = Entries(MbrStgFolder);
    });
    // The UTF-8 name is cut between its characters.
    std::size_t LngKept = std::min(StgName.size(), 255 - StgSuffix.size());
    LngKept -= StgName == StgUtf8 ? LngKept % 2 : 0;
    std::vector<std::string> VecExpected = {StgName, StgName.substr(0, LngKept) + StgSuffix};
    std::sort(VecExpected.begin(), VecExpected.end());
    EXPECT_EQ(VecSeen, VecExpected);
    EXPECT_EQ(ReadFile(Path(StgName)), "new\n");
    EXPECT_EQ(Entries(MbrStgFolder), std::vector<std::string>{StgName});
    fs::remove(Path(StgName));
  }
}

TEST_F(SafeReplaceTest, ALinkAtTheTemporarysNameIsNeverWrittenThroughNorRenamed) {
  WriteText(Path("victim.asc"), "victim\n");
  WriteText(Path("map.asc"), "earlier\n");
  // Planted before the write: the name is taken, the next one serves.
  fs::create_symlink(Path("victim.asc"), Path("map.asc" + TemporarySuffix()));
  WriteGrid(Path("map.asc"));
  EXPECT_EQ(ReadFile(Path("map.asc")), MbrStgGrid);
  EXPECT_TRUE(fs::is_symlink(Path("map.asc" + TemporarySuffix())));
  fs::remove(Path("map.asc" + TemporarySuffix()));
  // Swapped in while the text is written: the write goes on into the file created, and the link
  // is neither renamed over the target nor removed.
  WriteText(Path("map.asc"), "earlier\n");
  EXPECT_STRING_MESSAGE(WriteFileSafely(Path("map.asc"),
                                        [&](std::ostream& Output) {
                                          fs::remove(Path("map.asc" + TemporarySuffix()));
                                          fs::create_symlink(Path("victim.asc"),
                                                             Path("map.asc" + TemporarySuffix()));
                                          Output << "new\n";
                                        }),
                        "Unable to write file " + Path("map.asc"));
  EXPECT_EQ(ReadFile(Path("map.asc")), "earlier\n");
  EXPECT_EQ(ReadFile(Path("victim.asc")), "victim\n");
  EXPECT_TRUE(fs::is_symlink(Path("map.asc" + TemporarySuffix())));
}

TEST_F(SafeReplaceTest, WithoutRoomForATemporaryTheTargetStaysAsItWas) {
  bool BlnTried = false;
  if (MountTmpfs("size=64k,nr_inodes=2")) {
    // The root folder and the target take both inodes.
    BlnTried = true;
    WriteText(Path("tmpfs/map.asc"), "earlier\n");
    EXPECT_STRING_MESSAGE(WriteGrid(Path("tmpfs/map.asc")),
                          "Unable to write file " + Path("tmpfs/map.asc"));
    EXPECT_EQ(ReadFile(Path("tmpfs/map.asc")), "earlier\n");
    ::umount2(Path("tmpfs").c_str(), MNT_DETACH);
  }
  if (MountTmpfs("size=64k")) {
    BlnTried = true;
    // Room for the temporary's name, not for its text.
    WriteText(Path("tmpfs/map.asc"), "earlier\n");
    WriteText(Path("tmpfs/filler"), std::string(60 * 1024, 'f'));
    MbrPtrMap = tessgrid_test::MakeMap(0, 0, 1, std::vector<std::vector<double>>(100, {1.0 / 3}));
    EXPECT_STRING_MESSAGE(WriteGrid(Path("tmpfs/map.asc")),
                          "Unable to write file " + Path("tmpfs/map.asc"));
    EXPECT_EQ(ReadFile(Path("tmpfs/map.asc")), "earlier\n");
    EXPECT_EQ(Entries(Path("tmpfs")), (std::vector<std::string>{"filler", "map.asc"}));
  }
  if (::geteuid() != 0) {
    // A folder without write permission takes no temporary, and no new file either.
    BlnTried = true;
    fs::create_directory(Path("locked"));
    WriteText(Path("locked/map.asc"), "earlier\n");
    fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_STRING_MESSAGE(WriteGrid(Path("locked/map.asc")),
                          "Unable to write file " + Path("locked/map.asc"));
    EXPECT_STRING_MESSAGE(WriteGrid(Path("locked/new.asc")),
                          "Unable to open file " + Path("locked/new.asc"));
    fs::permissions(Path("locked"), fs::perms::owner_all);
    EXPECT_EQ(ReadFile(Path("locked/map.asc")), "earlier\n");
  }
  if (!BlnTried) {
    GTEST_SKIP() << "needs a tmpfs mount or a user other than root";
  }
}

TEST_F(SafeReplaceTest, DescriptorsTheProcessHoldsAreWrittenWhereTheyStand) {
  WriteText(Path("log"), "log\n");
  const int LngFd = ::open(Path("log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(LngFd, 0);
  const std::string StgFd = std::to_string(LngFd);
  fs::create_symlink("/dev/fd/" + StgFd, Path("link"));
  WriteGrid("/dev/fd/" + StgFd);
  WriteGrid("/proc/self/fd/" + StgFd);
  WriteGrid(Path("link"));
  EXPECT_EQ(ReadFile(Path("log")), "log\n" + MbrStgGrid + MbrStgGrid + MbrStgGrid);
  EXPECT_TRUE(fs::is_symlink(Path("link")));
  ::close(LngFd);
  EXPECT_STRING_MESSAGE(WriteGrid("/dev/fd/" + StgFd), "Unable to open file /dev/fd/" + StgFd);
  const int LngReadOnly = ::open(Path("log").c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_STRING_MESSAGE(WriteGrid("/proc/self/fd/" + std::to_string(LngReadOnly)),
                        "Unable to open file /proc/self/fd/" + std::to_string(LngReadOnly));
  ::close(LngReadOnly);
}

TEST_F(SafeReplaceTest, TargetsThatCannotBeCreatedAtAllCannotBeOpened) {
  const std::string StgTooLong = Path(std::string(256, 'n'));
  fs::create_symlink("loop2", Path("loop1"));
  fs::create_symlink("loop1", Path("loop2"));
  const std::vector<std::string> VecWorkingFolder = Entries(".");
  for (const std::string& StgName : {std::string(), StgTooLong, Path("loop1"), Path("missing/")}) {
    EXPECT_STRING_MESSAGE(WriteGrid(StgName), "Unable to open file " + StgName);
  }
  EXPECT_EQ(Entries(MbrStgFolder), (std::vector<std::string>{"loop1", "loop2"}));
  EXPECT_EQ(Entries("."), VecWorkingFolder);
  if (::geteuid() != 0) {
    WriteText(Path("read_only.asc"), "earlier\n");
    fs::permissions(Path("read_only.asc"), fs::perms::owner_read);
    EXPECT_STRING_MESSAGE(WriteGrid(Path("read_only.asc")),
                          "Unable to open file " + Path("read_only.asc"));
  }
}

TEST_F(SafeReplaceTest, StagedOutputsChangeTogetherAtCommitWithEachRemovalInItsPlace) {
  WriteText(Path("a.asc"), "earlier a\n");
  WriteText(Path("a.prj"), "stale\n");
  fs::create_symlink("a.asc", Path("link.asc"));
  {
    TOutputSet Outputs;
    Outputs.Stage(Path("link.asc"), [](std::ostream& Output) { Text(Output, "new a\n"); });
    Outputs.StageRemoval(Path("a.prj"));
    Outputs.Stage(Path("b.asc"), [](std::ostream& Output) { Text(Output, "new b\n"); });
    // Both temporaries are written; nothing a reader sees has changed.
    EXPECT_EQ(Entries(MbrStgFolder),
              (std::vector<std::string>{"a.asc", "a.asc" + TemporarySuffix(), "a.prj",
                                        "b.asc" + TemporarySuffix(), "link.asc"}));
    EXPECT_EQ(ReadFile(Path("a.asc")), "earlier a\n");
    Outputs.Commit();
    Outputs.Commit();
  }
  EXPECT_EQ(ReadFile(Path("a.asc")), "new a\n");
  EXPECT_EQ(ReadFile(Path("b.asc")), "new b\n");
  EXPECT_TRUE(fs::is_symlink(Path("link.asc")));
  EXPECT_EQ(Entries(MbrStgFolder), (std::vector<std::string>{"a.asc", "b.asc", "link.asc"}));
}

TEST_F(SafeReplaceTest, FilesStagedByNameAreWrittenInAFolderOfTheirOwnAndGoTogether) {
  WriteText(Path("a.tif"), "earlier a\n");
  fs::permissions(Path("a.tif"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteText(Path("a.hdr"), "earlier header\n");
  WriteText(Path("a.tif.aux.xml"), "describes the earlier a\n");
  WriteText(Path("a.tif.ovr"), "kept: the writer made one\n");
  const std::string StgPrivate = Path("a.tif" + TemporarySuffix());
  {
    TOutputSet Outputs;
    // The writer opens the path anew, reads back what it wrote and seeks, and writes further
    // files named after it, as GDAL does.
    Outputs.StageFile(Path("a.tif"),
                      [&StgPrivate](const std::string& StgPath) {
                        EXPECT_EQ(StgPath, StgPrivate + "/a.tif");
                        std::fstream File(StgPath, std::ios::in | std::ios::out | std::ios::trunc);
                        File << "new a, draft\n";
                        File.seekp(7);
                        File << "final\n";
                        WriteText(StgPrivate + "/a.hdr", "new header\n");
                        WriteText(StgPrivate + "/a.tif.ovr", "new overviews\n");
                      },
                      {".aux.xml", ".ovr", ".msk"});
    EXPECT_EQ(ReadFile(Path("a.tif")), "earlier a\n");
    EXPECT_EQ(ReadFile(Path("a.hdr")), "earlier header\n");
    EXPECT_EQ(Entries(StgPrivate), (std::vector<std::string>{"a.hdr", "a.tif", "a.tif.ovr"}));
    Outputs.Commit();
  }
  EXPECT_EQ(ReadFile(Path("a.tif")), "new a, final\n");
  EXPECT_EQ(ReadFile(Path("a.hdr")), "new header\n");
  EXPECT_EQ(ReadFile(Path("a.tif.ovr")), "new overviews\n");
  EXPECT_EQ(fs::status(Path("a.tif")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Entries(MbrStgFolder), (std::vector<std::string>{"a.hdr", "a.tif", "a.tif.ovr"}));
  // An output that is a link to another folder: it goes where the link leads, and the other
  // file beside the link, copied there from the writer's folder.
  fs::create_directory(Path("data"));
  WriteText(Path("data/real.tif"), "earlier real\n");
  fs::create_symlink("data/real.tif", Path("link.tif"));
  {
    TOutputSet Outputs;
    Outputs.StageFile(Path("link.tif"), [](const std::string& StgPath) {
      WriteText(StgPath, "new real\n");
      WriteText(StgPath.substr(0, StgPath.rfind('/')) + "/link.hdr", "new real header\n");
    });
    Outputs.Commit();
  }
  EXPECT_EQ(ReadFile(Path("data/real.tif")), "new real\n");
  EXPECT_EQ(ReadFile(Path("link.hdr")), "new real header\n");
  EXPECT_EQ(Entries(Path("data")), std::vector<std::string>{"real.tif"});
  // Whatever fails, every file stays as it was and the folder goes.
  const std::vector<std::string> VecBefore = Entries(MbrStgFolder);
  fs::create_directory(Path("b.hdr"));
  TOutputSet Outputs;
  EXPECT_STRING_MESSAGE(Outputs.StageFile("/dev/null", [](const std::string&) {}),
                        "Unable to write file /dev/null: not a regular file");
  EXPECT_STRING_MESSAGE(Outputs.StageFile(Path("a.tif"), [](const std::string&) {}),
                        "Unable to write file " + Path("a.tif"));
  EXPECT_STRING_MESSAGE(
      Outputs.StageFile(Path("a.tif"),
                        [](const std::string& StgPath) { fs::create_directory(StgPath); }),
      "Unable to write file " + Path("a.tif") + ": not a regular file");
  EXPECT_STRING_MESSAGE(Outputs.StageFile(Path("b.tif"),
                                          [](const std::string& StgPath) {
                                            WriteText(StgPath, "new b\n");
                                            WriteText(
                                                StgPath.substr(0, StgPath.rfind('/')) + "/b.hdr",
                                                "new header\n");
                                          }),
                        "Unable to open file " + Path("b.hdr"));
  EXPECT_THROW(Outputs.StageFile(Path("a.tif"),
                                 [](const std::string& StgPath) {
                                   WriteText(StgPath, "half\n");
                                   throw std::runtime_error("halfway");
                                 }),
               std::runtime_error);
  Outputs.Commit();
  EXPECT_EQ(ReadFile(Path("a.tif")), "new a, final\n");
  std::vector<std::string> VecAfter = VecBefore;
  VecAfter.push_back("b.hdr");
  std::sort(VecAfter.begin(), VecAfter.end());
  EXPECT_EQ(Entries(MbrStgFolder), VecAfter);
}

TEST_F(SafeReplaceTest, ASetNotCommittedLeavesEveryTargetAsItWasAndNoTemporary) {
  WriteText(Path("a.asc"), "earlier a\n");
  WriteText(Path("b.asc"), "earlier b\n");
  fs::create_directory(Path("folder.prj"));
  const std::vector<std::string> VecBefore = Entries(MbrStgFolder);
  const auto WriteNew = [](std::ostream& Output) { Text(Output, "new\n"); };
  {
    TOutputSet Outputs;
    Outputs.Stage(Path("a.asc"), WriteNew);
    Outputs.Stage(Path("c.asc"), WriteNew);
    EXPECT_THROW(
        Outputs.Stage(Path("b.asc"), [](std::ostream&) { throw std::runtime_error("halfway"); }),
        std::runtime_error);
  }
  {
    TOutputSet Outputs;
    Outputs.Stage(Path("a.asc"), WriteNew);
    EXPECT_STRING_MESSAGE(Outputs.Stage(Path("missing/b.asc"), WriteNew),
                          "Unable to open file " + Path("missing/b.asc"));
    EXPECT_STRING_MESSAGE(Outputs.StageRemoval(Path("folder.prj")),
                          "Unable to remove file " + Path("folder.prj"));
  }
  EXPECT_EQ(Entries(MbrStgFolder), VecBefore);
  EXPECT_EQ(ReadFile(Path("a.asc")), "earlier a\n");
  EXPECT_EQ(ReadFile(Path("b.asc")), "earlier b\n");
}

TEST_F(SafeReplaceTest, OneFileStagedUnderTwoNamesIsRefused) {
  WriteText(Path("a.asc"), "earlier\n");
  fs::create_symlink("a.asc", Path("link.asc"));
  fs::create_hard_link(Path("a.asc"), Path("hard.asc"));
  const auto WriteNew = [](std::ostream& Output) { Text(Output, "new\n"); };
  for (const std::string& StgOther :
       {Path("link.asc"), Path("hard.asc"), MbrStgFolder + "/./a.asc"}) {
    TOutputSet Outputs;
    Outputs.Stage(Path("a.asc"), WriteNew);
    EXPECT_STRING_MESSAGE(Outputs.Stage(StgOther, WriteNew),
                          "outputs " + Path("a.asc") + " and " + StgOther + " are the same file");
  }
  TOutputSet Outputs;
  Outputs.StageRemoval(Path("new.prj"));
  EXPECT_STRING_MESSAGE(
      Outputs.Stage(MbrStgFolder + "/./new.prj", WriteNew),
      "outputs " + Path("new.prj") + " and " + MbrStgFolder + "/./new.prj are the same file");
  EXPECT_EQ(FileIdentityOf("link.asc"), FileIdentityOf("a.asc"));
  EXPECT_EQ(FileIdentityOf("./new.asc"), FileIdentityOf("new.asc"));
  EXPECT_NE(FileIdentityOf("new.asc"), FileIdentityOf("a.asc"));
  EXPECT_EQ(FileIdentityOf("missing/new.asc"), "");
}

TEST_F(SafeReplaceTest, OutputsStagedWhileAnotherIsWrittenGoWithIt) {
  WriteText(Path("a.asc"), "earlier a\n");
  const std::vector<std::string> VecBefore = Entries(MbrStgFolder);
  const auto WriteNew = [](std::ostream& Output) { Text(Output, "new\n"); };
  {
    // b.asc is staged and written while a.asc is, and then a.asc fails: both go, and their
    // names are free again.
    TOutputSet Outputs;
    EXPECT_THROW(Outputs.Stage(Path("a.asc"),
                               [&](std::ostream& OutputA) {
                                 Outputs.Stage(Path("b.asc"), [&](std::ostream& OutputB) {
                                   Text(OutputA, "side a\n");
                                   Text(OutputB, "side b\n");
                                 });
                                 throw std::runtime_error("after b");
                               }),
                 std::runtime_error);
    EXPECT_EQ(Entries(MbrStgFolder), VecBefore);
    Outputs.Stage(Path("b.asc"), WriteNew);
    // An output staged inside another knows it is taken.
    EXPECT_STRING_MESSAGE(
        Outputs.Stage(Path("a.asc"),
                      [&](std::ostream&) { Outputs.Stage(MbrStgFolder + "/./a.asc", WriteNew); }),
        "outputs " + Path("a.asc") + " and " + MbrStgFolder + "/./a.asc are the same file");
    Outputs.Stage(Path("a.asc"), [&](std::ostream& OutputA) {
      Outputs.Stage(Path("c.asc"), [&](std::ostream& OutputC) {
        Text(OutputA, "side a\n");
        Text(OutputC, "side c\n");
      });
    });
    Outputs.Commit();
  }
  EXPECT_EQ(ReadFile(Path("a.asc")), "side a\n");
  EXPECT_EQ(ReadFile(Path("b.asc")), "new\n");
  EXPECT_EQ(ReadFile(Path("c.asc")), "side c\n");
  EXPECT_EQ(Entries(MbrStgFolder), (std::vector<std::string>{"a.asc", "b.asc", "c.asc"}));
}

TEST_F(SafeReplaceTest, TargetsWithoutTemporaryTakeTheirTextAtCommit) {
  WriteText(Path("log"), "log\n");
  WriteText(Path("a.asc"), "earlier\n");
  const int LngFd = ::open(Path("log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(LngFd, 0);
  {
    TOutputSet Outputs;
    Outputs.Stage("/dev/fd/" + std::to_string(LngFd),
                  [](std::ostream& Output) { Text(Output, "appended\n"); });
    Outputs.Stage(Path("a.asc"), [](std::ostream& Output) { Text(Output, "new\n"); });
    EXPECT_EQ(ReadFile(Path("log")), "log\n");
    Outputs.Commit();
  }
  EXPECT_EQ(ReadFile(Path("log")), "log\nappended\n");
  EXPECT_EQ(ReadFile(Path("a.asc")), "new\n");
  {
    // A failure before the renames leaves the files as they were.
    TOutputSet Outputs;
    Outputs.Stage(Path("a.asc"), [](std::ostream& Output) { Text(Output, "newer\n"); });
    Outputs.Stage("/dev/fd/" + std::to_string(LngFd),
                  [](std::ostream& Output) { Text(Output, "lost\n"); });
    ::close(LngFd);
    EXPECT_STRING_MESSAGE(Outputs.Commit(), "Unable to open file /dev/fd/" + std::to_string(LngFd));
  }
  EXPECT_EQ(ReadFile(Path("a.asc")), "new\n");
  EXPECT_EQ(Entries(MbrStgFolder), (std::vector<std::string>{"a.asc", "log"}));
}

TEST_F(SafeReplaceTest, TemporariesGoWhereTheLinkChainEndsAndMustFitThere) {
  fs::create_directory(Path("locked"));
  WriteText(Path("locked/a.asc"), "earlier\n");
  WriteText(Path("b.asc"), "earlier b\n");
  fs::create_symlink(Path("locked/new.asc"), Path("dangling.asc"));
  fs::create_symlink("locked/a.asc", Path("link.asc"));
  EXPECT_EQ(tessgrid::detail::TemporaryFolder(Path("dangling.asc")), Path("locked"));
  EXPECT_EQ(tessgrid::detail::TemporaryFolder(Path("link.asc")), Path("locked"));
  EXPECT_EQ(tessgrid::detail::TemporaryFolder("/dev/null"), "");
  GiveToUnprivileged(MbrStgFolder);
  fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  const auto WriteNew = [](std::ostream& Output) { Text(Output, "new\n"); };
  const std::string StgMessages = MessageAsUnprivileged(MbrStgFolder, [&]() {
    throw MessagesOf({[&]() { tessgrid::detail::CheckWritable(Path("dangling.asc")); },
                      [&]() { tessgrid::detail::CheckWritable(Path("link.asc")); },
                      [&]() {
                        TOutputSet Outputs;
                        Outputs.Stage(Path("b.asc"), WriteNew);
                        Outputs.Stage(Path("link.asc"), WriteNew);
                      }});
  });
  fs::permissions(Path("locked"), fs::perms::owner_all);
  if (StgMessages == "no user") {
    GTEST_SKIP() << "no unprivileged user who can reach the build folder";
  }
  EXPECT_EQ(StgMessages, "Unable to open file " + Path("dangling.asc") + "\nUnable to write file " +
                             Path("link.asc") + "\nUnable to write file " + Path("link.asc") +
                             "\n");
  EXPECT_EQ(ReadFile(Path("b.asc")), "earlier b\n");
  EXPECT_EQ(Entries(MbrStgFolder),
            (std::vector<std::string>{"b.asc", "dangling.asc", "link.asc", "locked"}));
  EXPECT_EQ(Entries(Path("locked")), std::vector<std::string>{"a.asc"});
}

TEST_F(SafeReplaceTest, AStickyFolderKeepsOthersFilesFromRemovalAndReplacement) {
  if (::geteuid() != 0 || Nobody() == nullptr) {
    GTEST_SKIP() << "needs root to give the file to a user other than the one who stages";
  }
  // Everyone may write in the folder and to the file, but they belong to root.
  fs::create_directory(Path("shared"));
  WriteText(Path("shared/theirs.prj"), "theirs\n");
  fs::permissions(Path("shared"), fs::perms::all | fs::perms::sticky_bit);
  fs::permissions(Path("shared/theirs.prj"), fs::perms::all);
  const std::string StgMessages = MessageAsUnprivileged(MbrStgFolder, [&]() {
    TOutputSet Outputs;
    throw MessagesOf({[&]() { Outputs.StageRemoval(Path("shared/theirs.prj")); },
                      [&]() {
                        Outputs.Stage(Path("shared/theirs.prj"),
                                      [](std::ostream& Output) { Text(Output, "mine\n"); });
                      },
                      [&]() { tessgrid::detail::CheckWritable(Path("shared/theirs.prj")); }});
  });
  if (StgMessages == "no user") {
    GTEST_SKIP() << "the user nobody cannot reach the build folder";
  }
  EXPECT_EQ(StgMessages, "Unable to remove file " + Path("shared/theirs.prj") +
                             "\nUnable to write file " + Path("shared/theirs.prj") +
                             "\nUnable to write file " + Path("shared/theirs.prj") + "\n");
  EXPECT_EQ(ReadFile(Path("shared/theirs.prj")), "theirs\n");
  EXPECT_EQ(Entries(Path("shared")), std::vector<std::string>{"theirs.prj"});
}

TEST_F(SafeReplaceTest, ASignalRemovesEveryStagedTemporary) {
  WriteText(Path("a.asc"), "earlier a\n");
  WriteText(Path("b.asc"), "earlier b\n");
  const pid_t LngPid = ::fork();
  if (LngPid == 0) {
    tessgrid::detail::InstallCommandSignalHandlers();
    TOutputSet Outputs;
    for (const char* PtrName : {"a.asc", "b.asc", "c.asc"}) {
      Outputs.Stage(Path(PtrName), [](std::ostream& Output) { Text(Output, "new\n"); });
    }
    // A writer's folder goes with all it holds, files and folders, while the writer is at it.
    Outputs.StageFile(Path("d.tif"), [](const std::string& StgPath) {
      WriteText(StgPath, "new\n");
      const std::string StgFolder = StgPath.substr(0, StgPath.rfind('/'));
      WriteText(StgFolder + "/d.hdr", "new\n");
      fs::create_directories(StgFolder + "/d.zarr/0");
      WriteText(StgFolder + "/d.zarr/0/0", "new\n");
      ::kill(::getpid(), SIGTERM);
    });
    ::_exit(0);
  }
  int LngRaw = 0;
  ASSERT_EQ(::waitpid(LngPid, &LngRaw, 0), LngPid);
  EXPECT_TRUE(WIFEXITED(LngRaw));
  EXPECT_EQ(WEXITSTATUS(LngRaw), 128 + SIGTERM);
  EXPECT_EQ(Entries(MbrStgFolder), (std::vector<std::string>{"a.asc", "b.asc"}));
  EXPECT_EQ(ReadFile(Path("a.asc")), "earlier a\n");
}
