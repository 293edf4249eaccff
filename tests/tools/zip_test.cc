#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "gtest/gtest.h"
#include "run_command.h"
#include "zip/zip_writer.h"

namespace {

namespace fs = std::filesystem;

// Checks an archive against the folder it was made from: every entry is
// sound, names and contents match the files, and dates match their times.
constexpr char kCompareScript[] = R"(
import os, sys, time, zipfile
archive, folder = sys.argv[1], sys.argv[2]
z = zipfile.ZipFile(archive)
assert z.testzip() is None
files = sorted(n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n)))
assert sorted(z.namelist()) == files, (z.namelist()[:5], files[:5])
for info in z.infolist():
    path = os.path.join(folder, info.filename)
    assert z.read(info) == open(path, "rb").read(), info.filename
    t = time.localtime(os.path.getmtime(path))
    dos = (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec // 2 * 2)
    assert info.date_time == dos, (info.filename, info.date_time, dos)
)";

using quillet::tool_test::Quote;
using quillet::tool_test::RunCommand;

// The independent readers that check archives, as bits of a mask.
enum Readers { kUnzip = 1, kPython = 2, kBsdtar = 4, kAllReaders = 7 };

// True when the chosen readers all accept `archive`. They are Linux tools, so
// elsewhere only the program's own exit code is checked.
bool ReadersAccept(const fs::path& archive, int readers = kAllReaders) {
#ifdef _WIN32
  (void)archive;
  (void)readers;
  return true;
#else
  const std::string a = Quote(archive.string());
  return (!(readers & kUnzip) || RunCommand("unzip -tqq " + a + " >/dev/null") == 0) &&
         (!(readers & kPython) ||
          RunCommand("python3 -c 'import sys, zipfile; "
                     "sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)' " +
                     a) == 0) &&
         (!(readers & kBsdtar) || RunCommand("bsdtar -tf " + a + " >/dev/null") == 0);
#endif
}

// True when Python finds the archive to hold exactly the folder's files.
bool MatchesFolder(const fs::path& archive, const fs::path& folder) {
#ifdef _WIN32
  (void)archive;
  (void)folder;
  return true;
#else
  return RunCommand("python3 -c " + Quote(kCompareScript) + " " + Quote(archive.string()) + " " +
                    Quote(folder.string())) == 0;
#endif
}

// True when a Python expression over the archive `z` holds.
bool PythonHolds(const fs::path& archive, const std::string& expression) {
#ifdef _WIN32
  (void)archive;
  (void)expression;
  return true;
#else
  return RunCommand(
             "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); sys.exit(not (" +
             expression + "))' " + Quote(archive.string())) == 0;
#endif
}

class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() /
            ("quillet-zip-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
             std::to_string(random()));
    source_ = root_ / "source";
    errors_ = root_ / "errors.txt";
    fs::create_directories(source_);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(root_, ec)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }

  static void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // Runs Zip.exe with the archive and pattern as given, the error output
  // going to `errors_`.
  int RunZip(const std::string& archive, const std::string& pattern) {
    return RunCommand(Quote(QUILLET_TOOLS_BIN "/Zip.exe") + " -j " + Quote(archive) + " " +
                      Quote(pattern) + " 2>" + Quote(errors_.string()));
  }
  std::string Errors() const {
    std::ifstream in(errors_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path root_;
  fs::path source_;
  fs::path errors_;
};

TEST_F(ZipTest, WriterRoundTripsContentsNamesAndTimes) {
  std::string noise(1 << 20, ' ');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  WriteFile(source_ / "noise.bin", noise);  // Spans several buffers, barely compresses.
  WriteFile(source_ / "empty.txt", "");
  WriteFile(source_ / "text.log", std::string(100000, 'x') + "end\r\n");
  fs::last_write_time(source_ / "text.log",
                      fs::last_write_time(source_ / "text.log") - std::chrono::hours(24 * 400));
  quillet::ZipWriter writer;
  const fs::path archive = root_ / "out.zip";
  ASSERT_FALSE(writer.Create(archive.string()));
  for (const char* name : {"noise.bin", "empty.txt", "text.log"}) {
    ASSERT_FALSE(writer.AddFile((source_ / name).string(), name)) << writer.failure();
  }
  ASSERT_FALSE(writer.Finish()) << writer.failure();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(MatchesFolder(archive, source_));
}

TEST_F(ZipTest, WriterReportsAnUnreadableSourceAndAbandonsTheArchive) {
  fs::create_directory(source_ / "folder");
  const fs::path archive = root_ / "out.zip";
  quillet::ZipWriter writer;
  ASSERT_FALSE(writer.Create(archive.string()));
  EXPECT_TRUE(writer.AddFile((source_ / "missing.txt").string(), "missing.txt"));
  EXPECT_EQ(writer.failure(), "open " + (source_ / "missing.txt").string());
#ifndef _WIN32
  // Linux opens a folder like a file but refuses to read from it.
  EXPECT_TRUE(writer.AddFile((source_ / "folder").string(), "folder"));
  EXPECT_EQ(writer.failure(), "read " + (source_ / "folder").string());
#endif
  writer.Abandon();
  EXPECT_FALSE(fs::exists(archive));
}

TEST_F(ZipTest, LongWriterUsesZip64EndRecordsAbove65535Entries) {
  WriteFile(source_ / "tiny.txt", "tiny");
  const fs::path archive = root_ / "many.zip";
  quillet::ZipWriter writer;
  ASSERT_FALSE(writer.Create(archive.string()));
  for (int i = 0; i < 70000; ++i) {
    ASSERT_FALSE(writer.AddFile((source_ / "tiny.txt").string(), std::to_string(i) + ".txt"));
  }
  ASSERT_FALSE(writer.Finish()) << writer.failure();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(
      PythonHolds(archive, "len(z.infolist()) == 70000 and z.read(\"69999.txt\") == b\"tiny\""));
}

TEST_F(ZipTest, LongToolPacksASparseFileAbove4GiB) {
  const std::uint64_t size = (std::uint64_t{1} << 32) + 12345;
  WriteFile(source_ / "big.dat", "start");
  fs::resize_file(source_ / "big.dat", size);  // Sparse: the rest reads as zeros.
  WriteFile(source_ / "small.txt", "after the big one");
  const fs::path archive = root_ / "big.zip";
  ASSERT_EQ(RunZip(archive.string(), (source_ / "*.*").string()), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive, kPython | kBsdtar));  // unzip would inflate it again.
  EXPECT_TRUE(PythonHolds(archive, "z.getinfo(\"big.dat\").file_size == " + std::to_string(size) +
                                       " and z.read(\"small.txt\") == b\"after the big one\""));
}

TEST_F(ZipTest, LongWriterStoresOffsetsAbove4GiB) {
  // Level 0 stores the data as it is, so the second entry starts beyond
  // 4 GiB and the central directory needs ZIP64 offsets.
  WriteFile(source_ / "big.dat", "");
  fs::resize_file(source_ / "big.dat", (std::uint64_t{1} << 32) + 1);
  WriteFile(source_ / "small.txt", "beyond");
  const fs::path archive = root_ / "far.zip";
  quillet::ZipWriter writer(0);
  ASSERT_FALSE(writer.Create(archive.string()));
  ASSERT_FALSE(writer.AddFile((source_ / "big.dat").string(), "big.dat")) << writer.failure();
  ASSERT_FALSE(writer.AddFile((source_ / "small.txt").string(), "small.txt")) << writer.failure();
  ASSERT_FALSE(writer.Finish()) << writer.failure();
  EXPECT_TRUE(ReadersAccept(archive, kBsdtar));  // The others would reread 4 GiB.
#ifndef _WIN32
  EXPECT_EQ(RunCommand("unzip -tqq " + Quote(archive.string()) + " small.txt"), 0);
#endif
  EXPECT_TRUE(PythonHolds(archive,
                          "z.getinfo(\"big.dat\").compress_size > 2 ** 32 and "
                          "z.getinfo(\"small.txt\").header_offset > 2 ** 32 and "
                          "z.read(\"small.txt\") == b\"beyond\""));
}

TEST_F(ZipTest, ToolPacksOnlyMatchingFilesUnderBareNames) {
  WriteFile(source_ / "a.txt", "alpha");
  WriteFile(source_ / "B.TXT", "bravo");
  WriteFile(source_ / "c.log", "charlie");
  fs::create_directory(source_ / "folder.txt");
  WriteFile(source_ / "folder.txt" / "inner.txt", "inner");
  const fs::path archive = root_ / "out.Zip";
  // The pattern separates its folder with "\", as the collection steps do.
  ASSERT_EQ(RunZip(archive.string(), source_.string() + "\\*.txt"), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(PythonHolds(archive, "sorted(z.namelist()) == [\"B.TXT\", \"a.txt\"]"));
}

TEST_F(ZipTest, ToolMakesAnEmptyArchiveWhenNothingMatches) {
  const fs::path archive = root_ / "empty.Zip";
  ASSERT_EQ(RunZip(archive.string(), (source_ / "*.*").string()), 0) << Errors();
  EXPECT_EQ(fs::file_size(archive), 22u);
  EXPECT_FALSE(fs::exists(archive.string() + ".tmp"));
  EXPECT_TRUE(ReadersAccept(archive, kPython | kBsdtar));  // unzip calls it an error.
}

TEST_F(ZipTest, ToolPacksThousandsOfSmallFiles) {
  for (int i = 0; i < 3000; ++i) {
    WriteFile(source_ / ("file" + std::to_string(i) + ".log"), "line " + std::to_string(i));
  }
  const fs::path archive = root_ / "many.Zip";
  ASSERT_EQ(RunZip(archive.string(), (source_ / "*.*").string()), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(MatchesFolder(archive, source_));
}

TEST_F(ZipTest, ToolHandlesBlanksInNames) {
  const fs::path folder = source_ / "log files";
  fs::create_directory(folder);
  WriteFile(folder / "my service log.txt", "with blanks");
  fs::create_directory(root_ / "out folder");
  const fs::path archive = root_ / "out folder" / "my archive.Zip";
  ASSERT_EQ(RunZip(archive.string(), (folder / "*.*").string()), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(MatchesFolder(archive, folder));
}

TEST_F(ZipTest, ToolPacksAReadOnlySource) {
  WriteFile(source_ / "locked.txt", "read only");
  fs::permissions(source_ / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
  const fs::path archive = root_ / "out.Zip";
  ASSERT_EQ(RunZip(archive.string(), (source_ / "*.*").string()), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(MatchesFolder(archive, source_));
}

TEST_F(ZipTest, ToolLeavesNothingBehindWhenTheDestinationCannotBeWritten) {
  WriteFile(source_ / "a.txt", "alpha");
  WriteFile(root_ / "not a folder", "");
  // A file where the folder should be refuses writing even to an administrator.
  const fs::path archive = root_ / "not a folder" / "out.Zip";
  EXPECT_NE(RunZip(archive.string(), (source_ / "*.*").string()), 0);
  EXPECT_EQ(Errors().rfind("Zip: cannot create ", 0), 0u) << Errors();
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_FALSE(fs::exists(archive.string() + ".tmp"));
}

TEST_F(ZipTest, ToolFailsOnAnUnreadableSourceWithoutAnArchive) {
  WriteFile(source_ / "secret.txt", "hidden");
#ifdef _WIN32
  // Held open without sharing, the file cannot be opened by the packer.
  HANDLE lock = CreateFileA((source_ / "secret.txt").string().c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
#else
  fs::permissions(source_ / "secret.txt", fs::perms::none);
  if (std::ifstream(source_ / "secret.txt")) {
    // Permissions do not bind an administrator; the memory file of a process
    // opens as a regular file but fails on its first read, for anyone.
    fs::remove(source_ / "secret.txt");
    fs::create_symlink("/proc/self/mem", source_ / "secret.txt");
  }
#endif
  const fs::path archive = root_ / "out.Zip";
  EXPECT_NE(RunZip(archive.string(), (source_ / "*.*").string()), 0);
  EXPECT_NE(Errors().find("secret.txt"), std::string::npos) << Errors();
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_FALSE(fs::exists(archive.string() + ".tmp"));
#ifdef _WIN32
  CloseHandle(lock);
#endif
}

TEST_F(ZipTest, ToolLeavesItsOwnArchiveOutAndReplacesAnOldOne) {
  WriteFile(source_ / "a.txt", "alpha");
  const fs::path archive = source_ / "out.Zip";
  WriteFile(archive, "an older archive");
  ASSERT_EQ(RunZip(archive.string(), (source_ / "*.*").string()), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(PythonHolds(archive, "z.namelist() == [\"a.txt\"]"));
}

TEST_F(ZipTest, ToolRejectsWrongUsage) {
  const std::string zip = Quote(QUILLET_TOOLS_BIN "/Zip.exe");
  EXPECT_EQ(RunCommand(zip + " 2>" + Quote(errors_.string())), 2);
  EXPECT_EQ(RunCommand(zip + " -r a.zip b 2>" + Quote(errors_.string())), 2);
  EXPECT_EQ(RunCommand(zip + " -j a.zip 2>" + Quote(errors_.string())), 2);
  EXPECT_NE(Errors().find("Usage"), std::string::npos);
}

}  // namespace
