#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "run_command.h"
#include "tests/support/files_and_zips.h"
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
    dos = max((t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec // 2 * 2),
              (1980, 1, 1, 0, 0, 0))  # The earliest date a zip can hold.
    assert info.date_time == dos, (info.filename, info.date_time, dos)
)";

using quillet::test_support::ReadAll;
using quillet::test_support::ReadZip;
using quillet::test_support::Write;
using quillet::tool_test::Quote;
using quillet::tool_test::RunCommand;

// True when a check with the Linux tools passes. Elsewhere they are missing,
// and only the program's own exit code is checked.
bool Passes(const std::string& command) {
#ifdef _WIN32
  (void)command;
  return true;
#else
  return RunCommand(command) == 0;
#endif
}

// True when a Python expression over the archive `z`, whose last 64 KiB are
// `data`, holds.
bool PythonHolds(const fs::path& archive, const std::string& expression) {
  return Passes(
      "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
      "f = open(sys.argv[1], \"rb\"); f.seek(max(0, f.seek(0, 2) - 65536)); "
      "data = f.read(); sys.exit(not (" +
      expression + "))' " + Quote(archive.string()));
}

// True when Python, bsdtar and, unless left out, Info-ZIP unzip accept
// `archive`.
bool ReadersAccept(const fs::path& archive, bool unzip = true) {
  const std::string a = Quote(archive.string());
  return (!unzip || Passes("unzip -tqq " + a + " >/dev/null")) &&
         PythonHolds(archive, "z.testzip() is None") && Passes("bsdtar -tf " + a + " >/dev/null");
}

// True when Python finds the archive to hold exactly the folder's files.
bool MatchesFolder(const fs::path& archive, const fs::path& folder) {
  return Passes("python3 -c " + Quote(kCompareScript) + " " + Quote(archive.string()) + " " +
                Quote(folder.string()));
}

// `size` bytes that deflate cannot shrink.
std::string Noise(std::size_t size) {
  std::string noise(size, ' ');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  return noise;
}

// `size` bytes of log lines, which deflate shrinks well.
std::string LogText(std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) text += "10:00:" + std::to_string(i % 97) + " ok\r\n";
  return text.substr(0, size);
}

constexpr std::size_t kBlock = 128 * 1024;  // The packer's block size.

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

  // The command line of Zip.exe with `options` before the archive and the
  // pattern, the error output going to `errors_`.
  std::string ZipCommand(const std::string& options, const fs::path& archive,
                         const std::string& pattern) const {
    return Quote(QUILLET_TOOLS_BIN "/Zip.exe") + " " + options + " " + Quote(archive.string()) +
           " " + Quote(pattern) + " 2>" + Quote(errors_.string());
  }
  int RunZip(const fs::path& archive, const std::string& pattern,
             const std::string& options = "-j") {
    return RunCommand(ZipCommand(options, archive, pattern));
  }
  std::string Errors() const { return ReadAll(errors_); }
  // Expects Zip.exe to have failed with `what` and left no archive behind.
  void ExpectFailedWithoutArchive(int code, const fs::path& archive, const std::string& what) {
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Errors().rfind("Zip: cannot " + what, 0), 0u) << Errors();
    EXPECT_FALSE(fs::exists(archive.string() + ".tmp"));
    EXPECT_FALSE(fs::is_regular_file(archive));
  }
  // Packs `pattern` on 1, 2 and 8 threads and expects the same archive.
  void PackOnEveryThreadCount(const fs::path& archive, const std::string& pattern) {
    ASSERT_EQ(RunZip(archive, pattern, "-T 1 -j"), 0) << Errors();
    for (const char* threads : {"2", "8"}) {
      const fs::path other = archive.string() + threads;
      ASSERT_EQ(RunZip(other, pattern, std::string("-T ") + threads + " -j"), 0) << Errors();
      EXPECT_TRUE(ReadAll(other) == ReadAll(archive)) << threads << " threads";
    }
  }

  fs::path root_;
  fs::path source_;
  fs::path errors_;
};

TEST_F(ZipTest, ToolMakesTheSameSoundArchiveOnAnyNumberOfThreads) {
  const fs::path folder = source_ / "log files";
  fs::create_directory(folder);
  // Many small files share the threads' blocks; larger ones are cut.
  for (int i = 1; i < 200; ++i) Write(folder / ("log " + std::to_string(i)), LogText(i * 97));
  Write(folder / "empty.txt", "");
  Write(folder / "one block.log", LogText(kBlock));
  Write(folder / "block and a byte.log", LogText(kBlock + 1));
  Write(folder / "long.log", LogText(5 * kBlock + 777));
  Write(folder / "photo.jpg", Noise(3000));
  Write(folder / "backup.zip", Noise(3 * kBlock + 5));
  fs::last_write_time(folder / "long.log",
                      fs::last_write_time(folder / "long.log") - std::chrono::hours(24 * 400));
  fs::last_write_time(folder / "log 3",
                      fs::last_write_time(folder / "log 3") - std::chrono::hours(24 * 365 * 60));
  fs::permissions(folder / "log 7", fs::perms::owner_read | fs::perms::group_read);
  std::string words(300000, 'a');  // Deflated into more than one read of the run's reader.
  std::mt19937 random(3);
  for (char& c : words) c = static_cast<char>('a' + random() % 26);
  Write(folder / "words.log", words);
  const fs::path archive = root_ / "my archive.Zip";
  PackOnEveryThreadCount(archive, (folder / "*.*").string());
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadAll(entry.path());
  }
  EXPECT_TRUE(ReadZip(archive.string()) == files);
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(MatchesFolder(archive, folder));
  // What deflate cannot shrink is stored as it is; text is deflated.
  EXPECT_TRUE(PythonHolds(archive,
                          "all((i.compress_type == 0) == (i.filename in (\"empty.txt\", "
                          "\"photo.jpg\", \"backup.zip\")) and (i.compress_type == 8 or "
                          "i.compress_size == i.file_size) for i in z.infolist()) and "
                          "z.getinfo(\"long.log\").compress_size * 4 < 5 * 131072"));
}

TEST_F(ZipTest, WriterWritesZip64RecordsForFarOffsetsAndForManyEntries) {
  // The first entry starts just below 4 GiB in a sparse file, so that the
  // second one and the central directory lie beyond it. The second, noise,
  // is deflated, found not to shrink and written again, stored; the archive
  // must then end where its records do.
  Write(source_ / "text.log", LogText(1000));
  Write(source_ / "noise.bin", Noise(16 * kBlock));
  const fs::path distant = root_ / "distant.zip";
  quillet::ZipWriter writer(6, 2);
  ASSERT_FALSE(writer.Create(distant.string(), (std::uint64_t{1} << 32) - 40));
  for (const char* name : {"text.log", "noise.bin"}) {
    ASSERT_FALSE(writer.AddFile((source_ / name).string(), name)) << writer.failure();
  }
  ASSERT_FALSE(writer.Finish()) << writer.failure();
  EXPECT_TRUE(MatchesFolder(distant, source_));
  EXPECT_EQ(ReadZip(distant.string()),
            (std::map<std::string, std::string>{{"noise.bin", Noise(16 * kBlock)},
                                                {"text.log", LogText(1000)}}));
  EXPECT_TRUE(
      PythonHolds(distant,
                  "z.getinfo(\"noise.bin\").header_offset > 2 ** 32 and "
                  "z.getinfo(\"text.log\").header_offset < 2 ** 32 and "
                  "z.getinfo(\"noise.bin\").compress_type == 0 and "
                  "z.getinfo(\"noise.bin\").extract_version == 45 and "
                  "z.getinfo(\"text.log\").extract_version == 20 and "
                  "data[-98:-94] == b\"PK\\x06\\x06\" and data[-22:-18] == b\"PK\\x05\\x06\""));

  // A file of more than one piece that might grow past 4 GiB gets ZIP64
  // sizes in its local header, deflated or stored; a low threshold stands in
  // for such a file.
  const fs::path wide = root_ / "wide.zip";
  Write(source_ / "text.log", LogText(3 * kBlock));
  ASSERT_FALSE(writer.Create(wide.string(), 0, 1));
  for (const char* name : {"text.log", "noise.bin"}) {
    ASSERT_FALSE(writer.AddFile((source_ / name).string(), name)) << writer.failure();
  }
  ASSERT_FALSE(writer.Finish()) << writer.failure();
  EXPECT_EQ(ReadZip(wide.string()),
            (std::map<std::string, std::string>{{"noise.bin", Noise(16 * kBlock)},
                                                {"text.log", LogText(3 * kBlock)}}));
  EXPECT_TRUE(ReadersAccept(wide));
  EXPECT_TRUE(PythonHolds(wide,
                          "all(i.extract_version == 45 and open(sys.argv[1], \"rb\").read()"
                          "[i.header_offset + 28] == 20 for i in z.infolist()) and "
                          "z.getinfo(\"noise.bin\").compress_type == 0 and "
                          "z.getinfo(\"text.log\").compress_type == 8"));

  // 65535 entries no longer fit the classic count, whose largest value
  // tells readers to look for the ZIP64 record.
  const fs::path many = root_ / "many.zip";
  Write(source_ / "tiny.txt", "tiny");
  ASSERT_FALSE(writer.Create(many.string()));
  // A source that cannot be opened spoils the archive; Create starts afresh.
  EXPECT_TRUE(writer.AddFile((source_ / "missing").string(), "missing"));
  EXPECT_EQ(writer.failure(), "open " + (source_ / "missing").string());
  EXPECT_TRUE(writer.AddFile((source_ / "tiny.txt").string(), "tiny"));
  ASSERT_FALSE(writer.Create(many.string()));
  for (int i = 0; i < 0xFFFF; ++i) {
    ASSERT_FALSE(writer.AddFile((source_ / "tiny.txt").string(), std::to_string(i)));
  }
  ASSERT_FALSE(writer.Finish()) << writer.failure();
  EXPECT_TRUE(ReadersAccept(many, false));
  const std::map<std::string, std::string> entries = ReadZip(many.string());
  EXPECT_EQ(entries.size(), 65535u);
  EXPECT_EQ(entries.rbegin()->second, "tiny");
  EXPECT_TRUE(PythonHolds(many,
                          "len(z.infolist()) == 65535 and z.read(\"65534\") == b\"tiny\" "
                          "and data[-98:-94] == b\"PK\\x06\\x06\""));
}

#ifndef _WIN32
TEST_F(ZipTest, TheRunsReaderReadsAnotherWritersArchive) {
  // Comments and extra fields of another writer, ZIP64 records where
  // nothing needs them, and offsets that need them: the archive follows
  // 4 GiB of a sparse file.
  const fs::path archive = root_ / "other.zip";
  ASSERT_EQ(
      RunCommand("python3 -c 'import re, sys, zipfile\n"
                 "open(sys.argv[1], \"wb\").truncate(2 ** 32)\n"
                 "with zipfile.ZipFile(sys.argv[1], \"a\", zipfile.ZIP_DEFLATED) as z:\n"
                 "  z.comment = b\"archive\"\n"
                 "  for n in (\"a\", \"b\"):\n"
                 "    i = zipfile.ZipInfo(n); i.comment = b\"note \" + n.encode()\n"
                 "    i.extra = b\"\\x99\\x99\\x02\\x00xy\"\n"
                 "    with z.open(i, \"w\", force_zip64=True) as f: f.write(n.encode() * 999)\n"
                 // The ZIP64 field of each central entry goes after the other.
                 "f = open(sys.argv[1], \"r+b\"); f.seek(2 ** 32); d = f.read()\n"
                 "d, n = re.subn(rb\"(\\x01\\x00\\x08\\x00.{8})(\\x99\\x99\\x02\\x00xy)\", "
                 "rb\"\\2\\1\", d, "
                 "flags=re.S)\nassert n == 2\nf.seek(2 ** 32); f.write(d)' " +
                 Quote(archive.string())),
      0);
  EXPECT_EQ(ReadZip(archive.string()),
            (std::map<std::string, std::string>{{"a", std::string(999, 'a')},
                                                {"b", std::string(999, 'b')}}));
}
#endif

TEST_F(ZipTest, TheRunsReaderRefusesWhatIsDamaged) {
  Write(source_ / "a.log", LogText(5000));
  Write(source_ / "b.bin", Noise(300));
  const fs::path archive = root_ / "good.zip";
  ASSERT_EQ(RunZip(archive, (source_ / "*.*").string()), 0) << Errors();
  const std::string good = ReadAll(archive);
  const std::size_t end = good.size() - 22;
  const std::size_t first =
      static_cast<unsigned char>(good[end + 16]) | static_cast<unsigned char>(good[end + 17]) << 8;
  const std::size_t second = first + 46 + 5;  // After the first entry and its name.
  // Each damage: where it is, and the bytes written there.
  const std::pair<std::size_t, std::string> damages[] = {
      {end + 4, std::string("\1", 1)},            // Another disk.
      {end + 10, std::string("\3", 1)},           // One entry more than the directory holds.
      {end + 20, std::string("\5", 1)},           // A comment that is not there.
      {first, "X"},                               // No central directory entry.
      {first + 20, std::string("\xff\xff", 2)},   // Packed data beyond the directory.
      {first + 24, std::string("\1\0\0\0", 4)},   // Another size.
      {first + 16, "CRC!"},                       // Another CRC-32.
      {second + 42, std::string("\0\0\0\0", 4)},  // Data that another entry holds too.
      {0, "X"},                                   // No local header.
      {40, "XXXX"},                               // Damaged packed data.
  };
  for (const auto& [at, bytes] : damages) {
    std::string damaged = good;
    damaged.replace(at, bytes.size(), bytes);
    Write(archive, damaged);
    const std::map<std::string, std::string> entries = ReadZip(archive.string());
    EXPECT_TRUE(entries.count("!") == 1) << "damage at " << at;
  }
  Write(archive, good.substr(0, good.size() - 1));
  EXPECT_EQ(ReadZip(archive.string()).count("!"), 1u);
}

TEST_F(ZipTest, LongToolPacksASparseFileAbove4GiBTheSameOnAnyNumberOfThreads) {
  const std::uint64_t size = (std::uint64_t{1} << 32) + 12345;
  Write(source_ / "big.dat", "start");
  fs::resize_file(source_ / "big.dat", size);  // Sparse: the rest reads as zeros.
  Write(source_ / "small.txt", "after the big one");
  const fs::path archive = root_ / "big.zip";
  PackOnEveryThreadCount(archive, (source_ / "*.*").string());
  EXPECT_TRUE(ReadersAccept(archive, false));  // unzip would inflate it again.
  EXPECT_TRUE(PythonHolds(archive, "z.getinfo(\"big.dat\").file_size == " + std::to_string(size) +
                                       " and z.read(\"small.txt\") == b\"after the big one\""));
}

TEST_F(ZipTest, ToolPacksOnlyMatchingFilesUnderBareNamesAndMayPackNone) {
  Write(source_ / "a.txt", "alpha");
  Write(source_ / "B.TXT", "bravo");
  Write(source_ / "c.log", "charlie");
  fs::create_directory(source_ / "folder.txt");
  Write(source_ / "folder.txt" / "inner.txt", "inner");
  const fs::path archive = root_ / "out.Zip";
  // The pattern separates its folder with "\", as the collection steps do.
  ASSERT_EQ(RunZip(archive, source_.string() + "\\*.txt"), 0) << Errors();
  EXPECT_TRUE(ReadersAccept(archive));
  EXPECT_TRUE(PythonHolds(archive, "sorted(z.namelist()) == [\"B.TXT\", \"a.txt\"]"));
  // An archive in the packed folder is replaced, and not packed into itself.
  Write(source_ / "own.Zip", "an older archive");
  ASSERT_EQ(RunZip(source_ / "own.Zip", (source_ / "*.*").string()), 0) << Errors();
  EXPECT_TRUE(PythonHolds(source_ / "own.Zip", "len(z.namelist()) == 3"));
  const fs::path empty = root_ / "empty.Zip";
  ASSERT_EQ(RunZip(empty, (source_ / "*.none").string()), 0) << Errors();
  EXPECT_EQ(fs::file_size(empty), 22u);
  EXPECT_TRUE(ReadersAccept(empty, false));  // unzip calls it an error.
}

TEST_F(ZipTest, ToolLeavesNoPartialArchiveWhenItFails) {
  Write(source_ / "a.txt", "alpha");
  const std::string pattern = (source_ / "*.*").string();
  // A file where the folder should be refuses writing even to an administrator.
  Write(root_ / "not a folder", "");
  ExpectFailedWithoutArchive(RunZip(root_ / "not a folder" / "out.Zip", pattern),
                             root_ / "not a folder" / "out.Zip", "create ");
  // A folder that is not empty cannot be replaced by the finished archive.
  fs::create_directories(root_ / "taken.Zip" / "inside");
  ExpectFailedWithoutArchive(RunZip(root_ / "taken.Zip", pattern), root_ / "taken.Zip", "rename ");

  Write(source_ / "secret.txt", "hidden");
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
  ExpectFailedWithoutArchive(RunZip(root_ / "out.Zip", pattern), root_ / "out.Zip", "");
  EXPECT_NE(Errors().find("secret.txt"), std::string::npos) << Errors();
#ifdef _WIN32
  CloseHandle(lock);
#endif
}

#ifndef _WIN32
TEST_F(ZipTest, ToolRunsAtLowPriorityAndRemovesItsPartialArchiveOnAWriteFailure) {
  // The partial archive is a pipe: the packer's open waits for this test to
  // read, and once noise has filled the pipe the packer waits in a write, so
  // it can be looked at with ease. Storing the noise instead then needs a
  // seek, which a pipe refuses.
  Write(source_ / "noise.bin", Noise(8 * kBlock));
  const fs::path archive = root_ / "out.Zip";
  const std::string temp = archive.string() + ".tmp";
  const fs::path pid = root_ / "pid", code = root_ / "code";
  ASSERT_EQ(RunCommand("mkfifo " + Quote(temp)), 0);
  const std::string zip = ZipCommand("-T 1 -j", archive, (source_ / "*.*").string());
  // Should the packer end without opening the pipe, the pipe is opened for
  // it, so that this test is not left waiting.
  RunCommand("(" + zip + " & echo $! >" + Quote(pid.string()) + "; wait $!; echo $? >" +
             Quote(code.string()) + "; [ -p " + Quote(temp) +
             " ] && timeout 10 sh -c ': >\"$0\"' " + Quote(temp) + ") &");
  std::ifstream pipe(temp, std::ios::binary);
  std::string id;
  while (!(std::ifstream(pid) >> id)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // Nice 10 and the idle disk class, in the main thread and in its one worker.
  EXPECT_EQ(RunCommand("cd /proc/" + id +
                       "/task && [ $(ls | wc -l) = 2 ] && for t in *; do "
                       "[ $(cut -d' ' -f19 $t/stat) -ge 10 ] && ionice -p $t | grep -q ^idle "
                       "|| exit 1; done"),
            0);
  pipe.ignore(std::numeric_limits<std::streamsize>::max());
  while (ReadAll(code).empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ExpectFailedWithoutArchive(std::stoi(ReadAll(code)), archive, "write ");
}
#endif

TEST_F(ZipTest, ToolRejectsWrongUsage) {
  const std::string zip = Quote(QUILLET_TOOLS_BIN "/Zip.exe");
  for (const char* arguments :
       {"", "-r a.zip b", "-j a.zip", "-T 0 -j a.zip b", "-T two -j a.zip b", "-j -T 2 a.zip b"}) {
    EXPECT_EQ(RunCommand(zip + " " + arguments + " 2>" + Quote(errors_.string())), 2) << arguments;
  }
  EXPECT_NE(Errors().find("Usage"), std::string::npos);
}

}  // namespace
