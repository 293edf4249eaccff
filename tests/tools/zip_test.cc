#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "gtest/gtest.h"
#include "tests/fakes/fakes.h"
#include "tests/support/files_and_zips.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using quillet::test_support::Noise;
using quillet::test_support::ReadAll;
using quillet::test_support::ReadZip;
using quillet::test_support::Write;
using Files = std::map<std::string, std::string>;

constexpr bool kWindows = fs::path::preferred_separator == '\\';

// `text` quoted as one word for the command processor.
std::string Quote(const std::string& text) {
  return kWindows ? '"' + text + '"' : "'" + text + "'";
}

// Runs `command` through the command processor; its exit code.
int RunCommand(const std::string& command) {
  // cmd.exe drops the first and last quote of a line with more than two: here is a pair to drop.
  if (kWindows) return std::system(('"' + command + '"').c_str());
  return (std::system(command.c_str()) >> 8) & 0xFF;
}

// True when a check with the Linux tools passes; under Windows they are missing.
bool Passes(const std::string& command) { return kWindows || RunCommand(command) == 0; }

// True when a Python expression holds over the archive: `z` is its ZipFile, `data` its last
// 64 KiB, and `dated(folder)` whether entries bear their files' times in `folder`, as DOS can.
bool PythonHolds(const fs::path& archive, const std::string& expression) {
  return Passes(
      "python3 -c 'import os, sys, time, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1]); f = open(sys.argv[1], \"rb\")\n"
      "f.seek(max(0, f.seek(0, 2) - 65536)); data = f.read()\n"
      "def dos(t): return max(t[:5] + (t[5] // 2 * 2,), (1980, 1, 1, 0, 0, 0))\n"
      "def dated(d): return all(i.date_time == dos(time.localtime(os.path.getmtime("
      "os.path.join(d, i.filename)))) for i in z.infolist())\n"
      "sys.exit(not (" +
      expression + "))' " + Quote(archive.string()));
}

// True when Python, bsdtar and, unless left out, Info-ZIP unzip accept `archive`.
bool ReadersAccept(const fs::path& archive, bool unzip = true) {
  const std::string a = Quote(archive.string());
  return (!unzip || Passes("unzip -tqq " + a + " >/dev/null")) &&
         PythonHolds(archive, "z.testzip() is None") && Passes("bsdtar -tf " + a + " >/dev/null");
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
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    root_ = fs::temp_directory_path() /
            ("quillet-zip-" + test + "-" + std::to_string(std::random_device()()));
    source_ = root_ / "source";
    fs::create_directories(source_);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(root_, ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  // Runs Zip.exe, its error output going to Errors().
  int RunZip(const fs::path& archive, const std::string& pattern,
             const std::string& options = "-j") {
    return RunCommand(Quote(QUILLET_TOOLS_BIN "/Zip.exe") + " " + options + " " +
                      Quote(archive.string()) + " " + Quote(pattern) + " 2>" +
                      Quote((root_ / "errors.txt").string()));
  }
  std::string Errors() const { return ReadAll(root_ / "errors.txt"); }
  fs::path root_, source_;
};

TEST_F(ZipTest, ToolMakesTheSameSoundArchiveOnAnyNumberOfThreads) {
  // Many small files share the threads' blocks; larger ones are cut. Each piece of a cut file
  // starts with the end of the one before as its dictionary: long.log, 20000 bytes of noise over
  // and over, shrinks to little more than one of them. The one byte packed first leaves the rest
  // of its block exactly one piece long for backup.zip, which is longer.
  const std::string stretch = Noise(20000);
  std::string repeated;
  while (repeated.size() < 5 * kBlock + 777) repeated += stretch;
  Files files = {{"a byte", "1"},
                 {"empty.txt", ""},
                 {"one block.log", LogText(kBlock)},
                 {"block and a byte.log", LogText(kBlock + 1)},
                 {"long.log", repeated.substr(0, 5 * kBlock + 777)},
                 {"photo.jpg", Noise(3000)},
                 {"backup.zip", Noise(3 * kBlock + 5)}};
  for (int i = 1; i < 200; ++i) files["log " + std::to_string(i)] = LogText(i * 97);
  const fs::path folder = source_ / "log files";
  for (const auto& [name, content] : files) Write(folder / name, content);
  Write(folder / "folder.log" / "inner.log", "inner");  // Folders are not packed.
  for (const auto& [name, days] : {std::pair{"long.log", 400}, {"log 3", 365 * 60}})
    fs::last_write_time(folder / name, fs::last_write_time(folder / name) - days * 24h);
  fs::permissions(folder / "log 7", fs::perms::owner_read | fs::perms::group_read);
  const fs::path archive = root_ / "my archive.Zip";
  // The pattern separates its folder with "\", as the collection steps do. One, two and eight
  // threads make the same archive.
  const std::string pattern = folder.string() + "\\*.*";
  ASSERT_EQ(RunZip(archive, pattern, "-T 1 -j"), 0) << Errors();
  for (const char* threads : {"2", "8"}) {
    const fs::path other = archive.string() + threads;
    ASSERT_EQ(RunZip(other, pattern, std::string("-T ") + threads + " -j"), 0) << Errors();
    EXPECT_TRUE(ReadAll(other) == ReadAll(archive)) << threads << " threads";
  }
  EXPECT_TRUE(ReadZip(archive.string()) == files);
  EXPECT_TRUE(ReadersAccept(archive));
  // Dated as the files are; what deflate cannot shrink is stored, text deflated.
  EXPECT_TRUE(PythonHolds(
      archive,
      "dated(\"" + folder.string() +
          "\") and all((i.compress_type == 0) == "
          "(i.filename in (\"a byte\", \"empty.txt\", \"photo.jpg\", \"backup.zip\")) and "
          "(i.compress_type == 8 or i.compress_size == i.file_size) for i in z.infolist()) "
          "and z.getinfo(\"long.log\").compress_size < 25000"));
  // An archive in the folder it packs is replaced, and not packed into itself.
  Write(folder / "own.Zip", "an older archive");
  ASSERT_EQ(RunZip(folder / "own.Zip", pattern), 0) << Errors();
  EXPECT_TRUE(ReadZip((folder / "own.Zip").string()) == files);
  // No match gives an empty archive; a folder in the archive's place fails and leaves nothing.
  ASSERT_EQ(RunZip(root_ / "empty.Zip", (source_ / "*.none").string()), 0) << Errors();
  EXPECT_EQ(fs::file_size(root_ / "empty.Zip"), 22u);
  fs::create_directories(root_ / "taken.Zip" / "inside");
  EXPECT_EQ(RunZip(root_ / "taken.Zip", pattern), 1);
  EXPECT_EQ(Errors().rfind("Zip: cannot rename ", 0), 0u) << Errors();
  EXPECT_FALSE(fs::exists(root_ / "taken.Zip.tmp"));
  for (const char* threads : {"-T 0 -j", "-T 10000 -j"})  // One thread at least, 9999 at most.
    EXPECT_EQ(RunZip(root_ / "none.Zip", pattern, threads), 2);
}

TEST_F(ZipTest, WriterWritesZip64RecordsForFarOffsets) {
  // The first entry starts just below 4 GiB in a sparse file, so the second and
  // the central directory lie beyond it. The second, noise, is deflated, found
  // not to shrink and rewritten stored; the archive must end where its records do.
  Files files = {{"noise.bin", Noise(16 * kBlock)}, {"text.log", LogText(1000)}};
  for (const auto& [name, content] : files) Write(source_ / name, content);
  const fs::path distant = root_ / "distant.zip";
  std::unique_ptr<quillet::Files> system_files = quillet::CreateFiles();
  quillet::ZipWriter writer(*system_files, 6, 2);
  std::vector<std::string> order = {"text.log", "noise.bin"};
  std::vector<quillet::ZipEntryInfo> infos;  // The last archive's directory.
  const auto pack = [&](const fs::path& archive, std::uint64_t first_offset, std::uint64_t wide) {
    ASSERT_FALSE(writer.Create(archive.string(), first_offset, wide));
    for (const std::string& name : order)
      ASSERT_EQ(writer.AddFile((source_ / name).string(), name).what, "");
    ASSERT_EQ(writer.Finish().what, "");
    EXPECT_EQ(ReadZip(archive.string(), &infos), files);
  };
  const std::uint64_t first = (std::uint64_t{1} << 32) - 40;
  pack(distant, first, quillet::kZip64Room);
  // Counted after a first archive, as the sanitizer's first check takes a descriptor of its own.
  const auto open_files = [] {
    std::error_code e;
    return kWindows ? 0 : std::distance(fs::directory_iterator("/proc/self/fd", e), {});
  };
  const auto held = open_files();
  EXPECT_TRUE(
      PythonHolds(distant,
                  "z.testzip() is None and z.getinfo(\"noise.bin\").header_offset > 2 ** 32 and "
                  "z.getinfo(\"text.log\").header_offset < 2 ** 32 and "
                  "z.getinfo(\"noise.bin\").compress_type == 0 and "
                  "z.getinfo(\"noise.bin\").extract_version == 45 and "
                  "z.getinfo(\"text.log\").extract_version == 20 and "
                  "data[-98:-94] == b\"PK\\x06\\x06\" and data[-22:-18] == b\"PK\\x05\\x06\""));
  // Moved so that the second entry starts at 4 GiB - 1, the first ZIP64 offset.
  pack(distant, first + 0xFFFFFFFFu - infos.at(1).local_offset, quillet::kZip64Room);
  EXPECT_EQ(infos.at(1).local_offset, 0xFFFFFFFFu);
  EXPECT_EQ(open_files(), held);  // Each source closed again, the ones read twice too.

  // A file of several pieces that might grow past 4 GiB gets ZIP64 sizes in its local header,
  // which lower thresholds stand in for here, from the threshold's own size on; one piece cannot
  // grow that far. The local headers are read here, as Python is not at hand under Wine.
  const fs::path wide = root_ / "wide.zip";
  Write(source_ / "text.log", files["text.log"] = LogText(3 * kBlock));
  Write(source_ / "short.log", files["short.log"] = LogText(100));
  order.push_back("short.log");
  for (std::uint64_t threshold :
       std::initializer_list<std::uint64_t>{1, 3 * kBlock + 1, 3 * kBlock}) {
    pack(wide, 0, threshold);
    const std::string packed = ReadAll(wide);
    for (const quillet::ZipEntryInfo& info : infos) {
      EXPECT_EQ(packed.at(info.local_offset + 28) == 20,
                info.size > kBlock && info.size >= threshold)
          << info.name << " " << threshold;
    }
  }
  EXPECT_TRUE(ReadersAccept(wide));
  EXPECT_TRUE(PythonHolds(wide,
                          "[i.extract_version for i in z.infolist()] == [45, 45, 20] and "
                          "z.getinfo(\"noise.bin\").compress_type == 0 and "
                          "z.getinfo(\"text.log\").compress_type == 8"));
}

// 65535 entries fill the classic count, whose largest value sends readers to ZIP64. The count
// is the writer's own arithmetic, the same on every system, so the Windows tree leaves this test
// to the native one, where it is quicker.
TEST_F(ZipTest, WriterSendsReadersToZip64ForAFullEntryCount) {
  std::unique_ptr<quillet::Files> system_files = quillet::CreateFiles();
  quillet::ZipWriter writer(*system_files, 6, 2);
  const fs::path many = root_ / "many.zip";
  Write(source_ / "tiny.txt", "tiny");
  ASSERT_FALSE(writer.Create(many.string()));
  for (int i = 0; i < 0xFFFF; ++i) {  // The first name is as long as a name can be.
    const std::string name = i == 0 ? std::string(0xFFFF, 'n') : std::to_string(i);
    ASSERT_FALSE(writer.AddFile((source_ / "tiny.txt").string(), name)) << i;
  }
  ASSERT_EQ(writer.Finish().what, "");
  EXPECT_TRUE(ReadersAccept(many, false));
  EXPECT_EQ(ReadZip(many.string()).size(), 65535u);  // Each read back whole.
  EXPECT_TRUE(
      PythonHolds(many, "len(z.infolist()) == 65535 and data[-98:-94] == b\"PK\\x06\\x06\""));
}

TEST_F(ZipTest, WriterIsDoneOnlyWhenTheArchiveIsOnTheDiskAndLeavesNothingWhenItCannot) {
  Write(source_ / "a.log", LogText(2 * kBlock));
  // Stored before it, b.log ends a.log's local header with the first 4 KiB read of the archive,
  // whose headers are read back to write its directory; a.log's name lies in the next read.
  Write(source_ / "b.log", Noise(4030));
  quillet::testing::FakePlatform fake;
  fake.files.AddFolder("C:\\Out");
  fake.files.failing_read = 2;
  // A source that cannot be opened, a write (any one alone too, the later ones working), its
  // reading back or the flush that fails spoils the archive, and nothing of it stays.
  std::vector<std::pair<std::string, int>> faults = {
      {"", 0},          {"WriteAt", 0},     {"ReadAt", 0}, {"Sync", 0},
      {"OpenWrite", 0}, {"missing.log", 0}, {"WriteAt", 1}};
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const auto [fault, nth] = faults[i];
    fake.files.Heal();
    fake.files.log.clear();
    fake.files.FailOn(fault, "a.zip", nth);
    quillet::ZipWriter writer(fake.files, 6, 2);
    quillet::Error error = writer.Create("C:\\Out\\a.zip");
    const std::string source = (source_ / (fault == "missing.log" ? fault : "a.log")).string();
    if (!error) error = writer.AddFile((source_ / "b.log").string(), "b.log");
    if (!error) error = writer.AddFile(source, "a.log");
    EXPECT_TRUE(fault != "missing.log" || error.what == "open " + source) << fault;
    if (!error) error = writer.Finish();
    const bool failed =
        !fault.empty() && (nth == 0 || std::count(fake.files.log.begin(), fake.files.log.end(),
                                                  "WriteAt C:\\Out\\a.zip") >= nth);
    EXPECT_EQ(!error, !failed) << fault << nth;
    writer.Abandon();
    EXPECT_EQ(fake.files.Exists("C:\\Out\\a.zip"), !error) << fault;
    // Every write comes before the flush.
    EXPECT_TRUE(error || fake.files.log.back() == "Sync C:\\Out\\a.zip") << fake.files.log.back();
    if (nth > 0 && failed) faults.push_back({fault, nth + 1});  // Then the write after it.
  }
  // Created anew before it finished, a writer gives up the archive it was writing; given up, it
  // leaves alone what another program writes under that name afterwards.
  quillet::ZipWriter writer(fake.files, 6, 2);
  EXPECT_FALSE(writer.Create("C:\\Out\\a.zip") ||
               writer.AddFile((source_ / "b.log").string(), "b") ||
               writer.Create("C:\\Out\\c.zip"));
  EXPECT_FALSE(fake.files.Exists("C:\\Out\\a.zip"));
  writer.Abandon();
  fake.files.AddFile("C:\\Out\\c.zip", "another program's");
  writer.Abandon();
  EXPECT_TRUE(fake.files.Exists("C:\\Out\\c.zip"));
}

TEST_F(ZipTest, ReaderTakesNeitherAFailedReadNorADamagedArchiveForAWholeOne) {
  // Deflated over several reads, stored, and longer than the tail that the end record is sought in.
  Write(source_ / "text.log", LogText(3 * kBlock));
  Write(source_ / "noise.bin", Noise(70000));
  ASSERT_EQ(RunZip(root_ / "a.zip", (source_ / "*.*").string()), 0) << Errors();
  const std::string packed = ReadAll(root_ / "a.zip");
  for (bool with_error : {true, false}) {
    for (int n = 1;; ++n) {
      quillet::testing::MemoryFile file(packed, n, with_error);
      const bool whole = ReadZip(file).count("!") == 0;  // Every entry unpacks whole.
      EXPECT_EQ(whole, file.reads < n) << "read " << n << " failed, with an error: " << with_error;
      if (file.reads < n) break;
    }
  }
  // Entries at 0, 35 and 70, their directory's at 105, 152, 199, the end at 246. Broken: a local
  // signature, data, method, size, name length, offset, entries on the same data (the first two,
  // the last two), the directory's disk, count, size or place, a comment too long, a cut end.
  using quillet::testing::fake_detail::Le;
  using quillet::testing::fake_detail::StoredZip;
  const std::string zip = StoredZip({{"1", "same"}, {"2", "same"}, {"3", "same"}});
  const std::pair<std::size_t, std::string> damages[] = {
      {0, "Q"},          {66, "x"},         {115, Le(9, 2)},      {176, Le(5, 4)},
      {227, Le(60, 2)},  {241, Le(105, 4)}, {194, Le(0, 4)},      {241, Le(35, 4)},
      {250, Le(1, 2)},   {256, Le(4, 2)},   {256, Le(0xFFFF, 2)}, {258, Le(140, 4)},
      {262, Le(106, 4)}, {262, Le(300, 4)}, {266, Le(1, 2)},      {267, ""}};
  // Whole, also with the comments another packer may give its archive and an entry, and with its
  // directory in another order than its data.
  for (const std::string& whole : {zip.substr(0, 266) + Le(1, 2) + "c",
                                   zip.substr(0, 137) + Le(2, 2) + zip.substr(139, 13) + "cc" +
                                       zip.substr(152, 106) + Le(143, 4) + zip.substr(262),
                                   zip.substr(0, 105) + zip.substr(199, 47) + zip.substr(152, 47) +
                                       zip.substr(105, 47) + zip.substr(246)}) {
    quillet::testing::MemoryFile file(whole);
    EXPECT_EQ(ReadZip(file).count("!"), 0u) << whole.size();
  }
  // Whole, with both sizes in a ZIP64 extra field, as a file of more than 4 GiB has them; damaged
  // when the field's length leaves a size out or a byte of one, or runs past the extra data.
  const std::string one = StoredZip({{"a", "x"}});  // Its directory at 32, its end record at 79.
  std::string wide = one;
  wide.replace(52, 8, Le(~std::uint64_t{0}, 8));
  wide.replace(62, 2, Le(20, 2));
  wide.replace(91, 4, Le(67, 4));  // The directory with the field.
  for (int length : {16, 8, 15, 17}) {
    quillet::testing::MemoryFile zip64(wide.substr(0, 79) + Le(1, 2) + Le(length, 2) + Le(1, 8) +
                                       Le(1, 8) + wide.substr(79));
    EXPECT_EQ(ReadZip(zip64).begin()->second,
              length == 16 ? "x" : "the sizes or the place of a are damaged");
  }
  for (const auto& [at, bytes] : damages) {
    quillet::testing::MemoryFile file(zip.substr(0, at) + bytes +
                                      (bytes.empty() ? "" : zip.substr(at + bytes.size())));
    EXPECT_EQ(ReadZip(file).count("!"), 1u) << at;
  }
  // Whole, although all its bytes are out before the stream's end comes in a later read: zeros
  // that fill the reader's output buffer exactly as the first read ends, flushed and followed by
  // empty stored blocks, then an empty last block.
  std::string zeros(262145, '\0'), stream(1024, '\0');
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef*>(&zeros[0]);
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = reinterpret_cast<Bytef*>(&stream[0]);
  z.avail_out = static_cast<uInt>(stream.size());
  ASSERT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
  stream.resize(stream.size() - z.avail_out);
  deflateEnd(&z);
  while (stream.size() <= 65536) stream += Le(0xFFFF000000, 5);
  quillet::testing::MemoryFile deflated(Le(0x04034b50, 30) + stream + Le(3, 2));
  quillet::ZipEntryInfo entry{"", 8, 0, deflated.Size() - 30, zeros.size(), 0};
  entry.crc = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), 262145);
  std::string out;
  EXPECT_FALSE(quillet::ExtractEntry(deflated, entry,
                                     [&](const char* d, std::size_t n) { out.append(d, n); }));
  EXPECT_TRUE(out == zeros) << out.size();
}

}  // namespace
