// One suite of the behaviour the steps rely on, run against the fakes and
// against the backends of the system the tests were built for (POSIX here,
// Windows under Wine), so that a fake cannot drift from the real thing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/errors.h"
#include "platform/platform.h"
#include "tests/fakes/fakes.h"
#include "zip/zip_reader.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::Names;

#ifdef _WIN32
// Opens the file for writing as a log's own program would: sharing reading
// with others, or nothing at all. 0 when it cannot.
std::uintptr_t HoldOpenByHand(const std::string& path, bool shared) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, shared ? FILE_SHARE_READ : 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<std::uintptr_t>(file);
}
void ReleaseByHand(std::uintptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
// Batch files that end with exit code 3, and that never end.
constexpr const char* kPrograms[] = {"@exit 3\r\n",
                                     "@:again\r\n@ping -n 2 127.0.0.1 >nul\r\n@goto again\r\n"};
#else
// POSIX has no sharing modes: an open file can always be read and deleted.
std::uintptr_t HoldOpenByHand(const std::string&, bool) { return 0; }
void ReleaseByHand(std::uintptr_t) {}
// Batch files run through the shell.
constexpr const char* kPrograms[] = {"exit 3\n", "while true; do sleep 1; done\n"};
#endif

// The hour to the offset from UTC first, as the system tells them.
std::vector<int> Stamp(const LocalTime& t) {
  return {t.year, t.month, t.day, t.hour, t.utc_offset_minutes, t.minute, t.second};
}

// The fakes or the real backends, with a folder to work in and ways to make
// files and programs there as another program would.
class ContractTest : public ::testing::TestWithParam<bool> {
 protected:
  ContractTest() {
    const fs::path temp =
        fs::temp_directory_path() / ("quillet-contract-" + std::to_string(random_()));
    if (real()) fs::create_directories(root_ = temp.string());
    if (!real()) fake_.files.AddFolder(root_ = "C:\\Root");
  }
  ~ContractTest() override {
    for (std::uintptr_t handle : held_) ReleaseByHand(handle);
    std::error_code error;
    if (real()) fs::remove_all(root_, error);
  }
  bool real() const { return GetParam(); }
  Files& files() { return real() ? *files_ : fake_.files; }
  Processes& processes() { return real() ? *processes_ : fake_.processes; }
  SettingsReader& settings() { return real() ? *settings_ : fake_.settings; }
  std::string Path(const std::string& name) { return files().Join(root_, name); }
  void Write(const std::string& path, const std::string& content) {
    if (real()) std::ofstream(path, std::ios::binary) << content;
    if (!real()) fake_.files.AddFile(path, content);
  }
  void MakeOld(const std::string& path) {
    if (real()) fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24000));
    if (!real()) fake_.files.AddFile(path, fake_.files.Content(path), {2019, 6, 7, 8, 9, 10});
  }
  // Keeps the file open for writing with read sharing, or with none; false
  // where the system has no sharing modes.
  bool HoldOpen(const std::string& path, bool shared) {
    if (!real()) fake_.files.HoldOpen(path, shared);
    if (real()) held_.push_back(HoldOpenByHand(path, shared));
    return !real() || held_.back() != 0;
  }
  // A batch file that ends with exit code 3, or one that never ends.
  void WriteProgram(const std::string& path, bool endless) {
    Write(path, kPrograms[endless]);
    fake_.processes.hang = endless;
    fake_.processes.on_start = [](const std::string&) { return 3; };
  }

  std::random_device random_;
  testing::FakePlatform fake_;
  std::unique_ptr<Files> files_ = CreateFiles();
  std::unique_ptr<Processes> processes_ = CreateProcesses();
  std::unique_ptr<SettingsReader> settings_ = CreateSettingsReader();
  std::string root_;
  std::vector<std::uintptr_t> held_;
  Names Search(const std::string& pattern, bool with_folders = false) {
    Names names;
    EXPECT_FALSE(files().List(Path(pattern), with_folders, &names));
    return names;
  }
  std::string Read(const std::string& name) {
    std::unique_ptr<InputFile> file;
    std::string content;
    if (files().OpenRead(Path(name), &file)) return "(unreadable)";
    char buffer[4096];
    std::size_t got = 0;
    while (!file->ReadAt(content.size(), buffer, sizeof(buffer), &got) && got > 0)
      content.append(buffer, got);
    return content;
  }
};

TEST_P(ContractTest, SearchMatchesNamesWithoutRegardToCaseAndDeletionTakesOnlyTheNamedFile) {
  for (const char* name : {"b.LOG", "a.log", "c.txt", "noext", "9-01.Zip", "19", "aXbYbc", "_x"})
    Write(Path(name), name);
  ASSERT_FALSE(files().MakeDir(Path("d.log")));
  EXPECT_EQ(Search("*.log"), (Names{"a.log", "b.LOG"}));
  EXPECT_EQ(Search("*.LOG", true), (Names{"a.log", "b.LOG", "d.log"}));
  EXPECT_FALSE(files().CanCreateIn(Path("d.log")));  // Which leaves no file behind.
  // Sorted as NTFS sorts, letters as capitals, whatever order the folder keeps: "_" follows them.
  EXPECT_EQ(Search("*.*"),
            (Names{"19", "9-01.Zip", "a.log", "aXbYbc", "b.LOG", "c.txt", "noext", "_x"}));
  EXPECT_EQ(Search("?.txt"), Names{"c.txt"});
  EXPECT_EQ(Search("9*"), Names{"9-01.Zip"});
  EXPECT_EQ(Search("noext.*"), Names{"noext"});
  EXPECT_EQ(Search("a*b*c"), Names{"aXbYbc"});
  EXPECT_EQ(Search("c.tx"), Names{});
  EXPECT_EQ(Search("d.log", true), Names{"d.log"});
  EXPECT_EQ(Search("missing\\*.*"), Names{});
  FileInfo info;
  EXPECT_FALSE(files().Stat(Path("d.log"), &info));
  EXPECT_TRUE(info.folder && !info.link);

  EXPECT_EQ(files().DeleteFile(Path("a*.log")), std::errc::no_such_file_or_directory);
  EXPECT_FALSE(files().DeleteFile(Path("a.log")));
  EXPECT_EQ(Search("a*.*"), Names{"aXbYbc"});
  EXPECT_TRUE(files().DeleteFile(Path("d.log")));
  EXPECT_EQ(files().DeleteFile(Path("gone.log")), std::errc::no_such_file_or_directory);
  // Deleted only when what was read is what the caller expects.
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  const auto reads = [&](bool answer) {
    return [&, answer](InputFile& file) { return !FileDigest(file, &size, &crc) && answer; };
  };
  EXPECT_EQ(files().DeleteVerified(Path("b.LOG"), reads(false), true),
            make_error_code(Errc::kChanged));
  EXPECT_EQ(size, 5u);
  EXPECT_FALSE(files().DeleteVerified(Path("b.LOG"), reads(true), true));
  EXPECT_EQ(Search("*.log", true), Names{"d.log"});
}

TEST_P(ContractTest, CopiesKeepTheirTimeAndNeverLandOnTheirSource) {
  const std::time_t now = std::time(nullptr);
  Write(Path("a.log"), "content");
  FileInfo source, copy;
  // A new real file and the run's clock bear the date, hour and offset from UTC of now, as the
  // system's own clock tells them (natively in a zone half an hour off the hour).
  ASSERT_FALSE(files().Stat(Path("a.log"), &source));
  const std::tm t = *std::localtime(&now);
  std::tm utc = *std::gmtime(&now);
  utc.tm_isdst = -1;  // Its fields read as local time are the offset earlier than now.
  const int offset = static_cast<int>(std::difftime(now, std::mktime(&utc)) / 60);
  const std::unique_ptr<Clock> real_clock = CreateClock();
  const std::vector<int> stamp = Stamp(source.modified), clock = Stamp(real_clock->Now());
  if (real()) {
    const std::vector<int> hour = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, offset};
    EXPECT_EQ(std::vector<int>(stamp.begin(), stamp.begin() + 5), hour);
    EXPECT_EQ(std::vector<int>(clock.begin(), clock.begin() + 5), hour);
  }
  // A pause lasts as long as asked, a whole second too, give or take the steps of up to 16 ms
  // in which the Windows tick count moves.
  Clock& pauses = real() ? *real_clock : fake_.clock;
  const long long before = pauses.Milliseconds();
  pauses.Sleep(1000);
  EXPECT_GE(pauses.Milliseconds() - before, 950);
  MakeOld(Path("a.log"));
  ASSERT_FALSE(files().Stat(Path("a.log"), &source));
  for (bool open_copy : {false, true}) {  // The second replaces the first's copy.
    const std::string to = Path("b.log");
    EXPECT_FALSE(open_copy ? files().CopyOpenFile(Path("a.log"), to)
                           : files().CopyFile(Path("a.log"), to, true));
    ASSERT_FALSE(files().Stat(to, &copy));
    EXPECT_EQ(copy.size, 7u);
    EXPECT_EQ(Stamp(copy.modified), Stamp(source.modified)) << open_copy;
    EXPECT_FALSE(copy.id == source.id);
  }
  EXPECT_EQ(files().CopyFile(Path("a.log"), Path("b.log"), false), std::errc::file_exists);
  EXPECT_EQ(files().CopyFile(Path("a.log"), Path("a.log"), true), make_error_code(Errc::kSameFile));
  EXPECT_EQ(files().CopyOpenFile(Path("a.log"), Path("a.log")), make_error_code(Errc::kSameFile));
  EXPECT_EQ(Read("a.log"), "content");
  std::uint64_t room = 0;  // The disk the copies went to has room left, and says so.
  EXPECT_TRUE(!files().FreeSpace(root_, &room) && room > 0);
}

TEST_P(ContractTest, FailuresCompareAsPortableConditionsAndFilesInUseCopyThroughSharing) {
  Write(Path("a.log"), "a");
  Write(Path("b.log"), "b");
  FileInfo info;
  std::unique_ptr<InputFile> input;
  std::unique_ptr<TextFile> text;
  EXPECT_EQ(files().Stat(Path("none"), &info), std::errc::no_such_file_or_directory);
  EXPECT_EQ(files().OpenRead(Path("none"), &input), std::errc::no_such_file_or_directory);
  EXPECT_EQ(files().RenamePath(Path("a.log"), Path("b.log")), std::errc::file_exists);
  EXPECT_EQ(files().MakeDir(Path("a.log")), std::errc::file_exists);
  EXPECT_EQ(files().CanCreateIn(Path("none")), std::errc::no_such_file_or_directory);
  EXPECT_EQ(files().ChangeDir(Path("none")), std::errc::no_such_file_or_directory);
  EXPECT_EQ(files().MakeDir(Path("none\\x")), std::errc::no_such_file_or_directory);
  EXPECT_EQ(files().OpenText(Path("none\\x"), OpenMode::kOutput, &text),
            std::errc::no_such_file_or_directory);
  FileInfo before, after;
  files().Stat(Path("a.log"), &before);
  EXPECT_FALSE(files().RenamePath(Path("a.log"), Path("c.log")));
  files().Stat(Path("c.log"), &after);
  EXPECT_TRUE(before.id == after.id);  // The same file under its new name.
  ASSERT_FALSE(files().OpenText(Path("c.log"), OpenMode::kAppend, &text));
  EXPECT_FALSE(text->AppendLine("more"));
  text.reset();
  EXPECT_EQ(Read("c.log"), "amore\r\n");
  // A file written at any place grows with zeros, is cut, and reaches the disk.
  std::unique_ptr<OutputFile> out;
  ASSERT_FALSE(files().OpenWrite(Path("c.log"), &out));
  EXPECT_TRUE(!out->WriteAt(2, "abcd", 4) && !out->WriteAt(0, "x", 1) && !out->Resize(5) &&
              !out->Sync());
  out.reset();
  EXPECT_EQ(Read("c.log"), std::string("x\0abc", 5));

  // A file in use: copied through a sharing handle only.
  Write(Path("live.log"), "live");
  Write(Path("sealed.log"), "sealed");
  if (!HoldOpen(Path("live.log"), true)) return;  // No sharing modes here.
  HoldOpen(Path("sealed.log"), false);
  // A plain copy may be refused as in use; the sharing copy never is.
  const std::error_code plain = files().CopyFile(Path("live.log"), Path("a.log"), true);
  EXPECT_TRUE(!plain || IsInUse(plain)) << plain.message();
  EXPECT_FALSE(files().CopyOpenFile(Path("live.log"), Path("d.log")));
  EXPECT_EQ(Read("d.log"), "live");
  EXPECT_TRUE(IsInUse(files().DeleteVerified(
      Path("live.log"), [](InputFile&) { return true; }, true)));
  EXPECT_TRUE(IsInUse(files().OpenRead(Path("sealed.log"), &input)));
}

TEST_P(ContractTest, ProgramsStartEndWithTheirCodeOrAreEndedWithTheirGroup) {
  Processes& run = processes();
  ChildProcess child;
  for (const char* none : {"none.exe", "none.bat"})
    EXPECT_EQ(run.Start(Path(none), false, &child), std::errc::no_such_file_or_directory);
  run.Terminate(&child);  // Nothing was started, so nothing is ended.
  run.Close(&child);
  EXPECT_TRUE(run.Start("", false, &child));
  EXPECT_TRUE(run.Start("ab", false, &child));  // A name shorter than any extension.
  ChildProcess stranger;
  stranger.id = 0x7FFFFFF0;  // No program this process started.
  EXPECT_EQ(run.Wait(stranger, 0), WaitResult::kFailed);
  WriteProgram(Path("Three.BAT"), false);
  ASSERT_FALSE(run.Start(Path("Three.BAT") + " arg", false, &child));
  while (run.Wait(child, 100) == WaitResult::kTimeout) {
  }
  int code = 0;
  EXPECT_TRUE(run.ExitCode(child, &code));
  EXPECT_EQ(code, 3);
  EXPECT_EQ(run.Wait(child, 0), WaitResult::kEnded);  // Ended, and asked again.
  run.Close(&child);
  WriteProgram(Path("endless.bat"), true);
  ASSERT_FALSE(run.Start(Path("endless.bat"), true, &child));
  EXPECT_EQ(run.Wait(child, 200), WaitResult::kTimeout);
  EXPECT_FALSE(run.ExitCode(child, &code));  // Still running: no code yet.
  run.Terminate(&child);
  EXPECT_TRUE(run.ExitCode(child, &code) && code != 0);  // Ended, and never as a success.
  run.Close(&child);
}

TEST_P(ContractTest, SettingsFollowTheRulesOfTheProfileFunctions) {
  const std::string ini = Path("s.ini"), x300(300, 'x');
  Write(ini, "\xEF\xBB\xBF[project]\r\n  TARGETPATH  =  D:\\S  \r\nQ=\"a b\"\r\nL=" + x300 +
                 "\r\nk=1\r\nk=2\r\n[LogFilesXP]\r\n1=a\r\n\r\n2=\r\n[project]\r\nk=3\r\nonly=4\r\n"
                 "[More]\r\nS='x'\r\nZ=\"\"\r\nI=\"a\"b\"\r\nO='\r\nB=   \r\nQL=\"" +
                 x300 + "\"\r\nE=a=b\r\nNoEquals\r\n\tT\t=\tt\t\r\n; c=c\r\n[ Padded ]\r\nk=p");
  SettingsReader& reader = settings();
  // "Section|key=value" for each read; a value of 254 x stands for the long ones.
  for (const std::string read :
       {"Project|TargetPath=D:\\S", "PROJECT|q=a b", "Project|L=x254", "Project|k=1",
        "Project|only=", "LogFilesXP|2=", "More|S=x", "More|Z=", "More|I=a\"b", "More|O='",
        "More|B=", "More|QL=x254", "More|E=a=b", "More|NoEquals=", "More|T=t", "More|; c=c",
        "Padded|k=p", " Padded |k=p"}) {
    const std::size_t bar = read.find('|'), equals = read.find('=');
    const std::string value = read.substr(equals + 1);
    EXPECT_EQ(reader.Read(read.substr(0, bar), read.substr(bar + 1, equals - bar - 1), ini),
              value == "x254" ? std::string(254, 'x') : value)
        << read;
  }
  EXPECT_EQ(reader.Read("Project", "TargetPath", Path("none.ini")), "");
  EXPECT_EQ(reader.Sections(ini), (Names{"project", "LogFilesXP", "project", "More", "Padded"}));
  EXPECT_EQ(reader.Keys("LogFilesXP", ini), (Names{"1", "2"}));
  EXPECT_EQ(reader.Keys("Project", ini), (Names{"TARGETPATH", "Q", "L", "k", "k"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, ContractTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Real" : "Fake";
                         });

}  // namespace
}  // namespace quillet
