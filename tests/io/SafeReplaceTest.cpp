// tests/io/SafeReplaceTest.cpp - how a named grid file is written: replaced through a temporary,
// links followed, descriptors the process holds written where they stand, failures named.
#include "io/SafeReplace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

namespace {

namespace fs = std::filesystem;
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
