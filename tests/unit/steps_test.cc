// The steps of a run over the fakes, and the rules they build on: directory variables,
// placeholder expansion, settings values and platform tags; rotation, the debug window export,
// log collection, packing with its archive check, and deletion.
#include <gtest/gtest.h>

#include "archive/pack_logs.h"
#include "archive/prepare_target.h"
#include "collect/collect_logs.h"
#include "collect/delete_listed.h"
#include "config/dir_variables.h"
#include "config/platform_tags.h"
#include "config/settings.h"
#include "platform/errors.h"
#include "tests/fakes/fakes.h"
#include "windows/debug_window.h"
#include "windows/mouse.h"
#include "windows/window_list.h"

namespace quillet {
namespace {

using testing::Names;

class StepsTest : public ::testing::Test {
 protected:
  StepsTest() { FillDirVariables(&variables_); }
  ListSection List(const std::string& section, const std::string& entries) {
    fake_.WriteSettings("[" + section + "]\n" + entries);
    return ListSection{fake_.settings, "C:\\Tools\\quillet.ini", section};
  }
  static std::string Slot(int slot, int day) {
    return "T:\\Target\\" + std::to_string(slot) + "-12.0" + std::to_string(day) +
           ".26-14.03.09.Zip";
  }
  Error Collect(const ListSection& list) {
    return CollectLogFiles(fake_.platform, list, variables_, staging_, journal_, 0, &collected_);
  }
  PackOutcome Pack(long long timeout_s = 0) {
    return PackLogs(fake_.platform, variables_, staging_, journal_, "T:\\Target", "1-a.Zip",
                    timeout_s, warn_);
  }
  static constexpr char kPacking[] = "T:\\Target\\Quillet-packing.tmp";
  testing::FakePlatform fake_;
  DirVariables variables_;
  Staging staging_{fake_.files, "T:\\Target"};
  Journal journal_{fake_.files, "C:\\Tools\\test.log"};
  CollectOutcome collected_;
  Names warnings_;
  RotationWarning warn_ = [this](const std::string& text) { warnings_.push_back(text); };
};

TEST_F(StepsTest, DirVariablesPlaceholdersSettingsValuesAndTagsFollowTheirRules) {
  testing::FakeEnvironment& environment = fake_.environment;
  environment.variables = {{"windir", "C:\\Windows"},
                           {"VISUDIR", ""},
                           {"TempVisu", " $VisuDir$ "},
                           {"MorvaToolsDir", std::string(5000, 'm')}};
  for (int i = 1; i <= 12; ++i) EXPECT_FALSE(ResolveDirVariable(i, environment, &variables_));
  const std::pair<int, std::string> resolved[] = {
      {1, "C:\\Windows"}, {2, std::string(5000, 'm')}, {4, "C:\\Pantra"}, {12, " $VisuDir$ "}};
  for (const auto& [i, value] : resolved) EXPECT_EQ(variables_.Entry(i).value, value) << i;
  EXPECT_EQ(ResolveDirVariable(0, environment, &variables_), make_error_code(Errc::kBounds));
  EXPECT_EQ(ResolveDirVariable(21, environment, &variables_), make_error_code(Errc::kBounds));
  EXPECT_FALSE(ResolveDirVariable(20, environment, &variables_));

  FillDirVariables(&variables_);
  std::string expanded;
  const auto expand = [&](const std::string& text) {
    const Error error = ExpandVariables(variables_, text, &expanded);
    EXPECT_FALSE(error) << error.what;
    return expanded;
  };
  const auto failure = [&](const std::string& text) {
    return ExpandVariables(variables_, text, &expanded).code;
  };
  for (const std::string value : {"$VisuDir$", "$VisuDir$\\x", "x$TempVisu$"}) {
    variables_.Entry(4).value = value;
    variables_.Entry(12).value = "$VisuDir$";
    const Error error = ExpandVariables(variables_, "$VisuDir$\\Task.bat", &expanded);
    ASSERT_EQ(error.code, make_error_code(Errc::kPlaceholderCycle)) << value;
    EXPECT_NE(error.what.find("$VisuDir$"), std::string::npos) << error.what;
    EXPECT_EQ(expanded, "$VisuDir$\\Task.bat");
  }
  // The closing "$" of a pair may stand at character 32767, not beyond.
  FillDirVariables(&variables_);
  EXPECT_EQ(expand(std::string(32758, 'a') + "$VisuDir$").substr(32758), "C:\\Pantra");
  EXPECT_EQ(failure(std::string(32759, 'a') + "$VisuDir$"), make_error_code(Errc::kTextTooLong));

  // Lists end at key 32767; flags are true only as "true"; counts are whole numbers or named.
  fake_.files.AddFile("f",
                      "[L]\n1=a\n2=b\n4=d\n32767=x\n[P]\nA = True\nB=yes\nT=15\nU=-5\nV=1.5\n");
  const ListSection list{fake_.settings, "f", "L"};
  const std::pair<int, const char*> entries[] = {
      {1, "a"}, {4, "d"}, {32767, "x"}, {32768, ""}, {0, ""}};
  for (const auto& [key, value] : entries) EXPECT_EQ(list.Entry(key), value) << key;
  EXPECT_TRUE(ReadIniFlag(fake_.settings, "P", "A", "f"));
  EXPECT_FALSE(ReadIniFlag(fake_.settings, "P", "B", "f"));
  std::string warning;
  EXPECT_EQ(ReadIniCount(fake_.settings, "P", "T", "f", &warning), 15);
  EXPECT_EQ(ReadIniCount(fake_.settings, "P", "none", "f", &warning), 0);
  EXPECT_EQ(warning, "");
  for (const char* key : {"U", "V", "B"}) {
    EXPECT_EQ(ReadIniCount(fake_.settings, "P", key, "f", &warning), 0);
    EXPECT_EQ(warning.rfind(std::string("Ignored ") + key + "=", 0), 0u) << warning;
  }

  EXPECT_EQ(OsTagFromVersion(0x05650004), "NT");  // 4.0 build 1381
  for (std::uint32_t version : {0x00000104u, 0x08930005u, 0x0A280105u, 0xC0000004u, 0xC0000A04u})
    EXPECT_EQ(OsTagFromVersion(version), "XP") << version;
  fake_.files.AddFile("p.ini", "[Project]\nVWStudio=true\n");
  EXPECT_EQ(DetectPlatformTags(0x05650004, fake_.settings, "p.ini").hmi_tag, "VWS");
  EXPECT_EQ(DetectPlatformTags(0x05650004, fake_.settings, "none.ini").hmi_tag, "VW");
}

TEST_F(StepsTest, RotationMovesEverySlotUpClearsStrayFoldersAndNamesTheArchive) {
  for (int d = 1; d <= 9; ++d) fake_.files.AddFile(Slot(d, d));
  for (const char* f : {"a", "b", "c"}) fake_.files.AddFile(std::string("T:\\Target\\1-old\\") + f);
  // A second stray folder, found only after the first is gone, and folders named like archives,
  // which are no slots, not even the first match of 9.
  for (const char* f : {"1-older\\0", "4-0.Zip", "9-0.Zip"})
    fake_.files.AddFolder(std::string("T:\\Target\\") + f);
  fake_.files.AddFile("T:\\Target\\1-older\\x");  // Held open: twenty tries, and it stays.
  fake_.files.HoldOpen("T:\\Target\\1-older\\x", false);
  EXPECT_EQ(PrepareTarget(fake_.platform, "T:\\Target"), "1-03.01.27-09.05.07.Zip");
  EXPECT_EQ(fake_.files.List("T:\\Target").size(), 12u);  // The archives wait for this run's.
  RotateArchives(fake_.platform, "T:\\Target", warn_);
  EXPECT_EQ(fake_.files.List("T:\\Target\\1-older"), (Names{"0", "x"}));
  Names expected = {"1-older", "4-0.Zip", "9-0.Zip"};
  for (int d = 1; d <= 8; ++d) expected.push_back(Slot(d + 1, d).substr(10));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(fake_.files.List("T:\\Target"), expected);
  EXPECT_EQ(warnings_, Names{});
  // 3 deletions and 20 tries at the held file, a removal and 5 tries at the folder that stays, a
  // slot-9 pass, 8 renames; the window is handled once per digit and after each try and phase.
  EXPECT_EQ(fake_.clock.slept_ms, (23 + 1 + 5 + 1 + 8) * 100);
  EXPECT_EQ(fake_.window.With("Yield").size(), 9u + 23 + 1 + 5 + 1 + 1 + 1);
}

TEST_F(StepsTest, CollectionCopiesEveryMatchJournalsAndKeepsSameNamedLogsApart) {
  fake_.files.AddFile("C:\\Tools\\test.log", "old\r\n");
  fake_.files.AddFolder("D:\\A\\folder.log");  // Folders never match.
  for (const char* f : {"D:\\A\\app.log", "D:\\A\\b.log", "D:\\B\\APP.LOG", "D:\\B\\app (2).log"})
    fake_.files.AddFile(f, f);
  fake_.files.HoldOpen("D:\\A\\app.log", true);  // Its program writes on: copied through sharing.
  fake_.files.FailOn("CopyFile", "B.LOG");
  fake_.files.FailOn("List", "X:\\");
  // The last entry names a file of the first again, in other letters: it is staged once.
  EXPECT_FALSE(Collect(List("LogFilesXP",
                            "1=D:\\A\\*.log\n2=X:\\gone\\*.log\n3=D:\\B\\*.*\n"
                            "4=D:\\None\\*.log\n5=$Unknown$\\x\n6=D:\\a\\APP.LOG\n7=Q:\\*.log\n")));
  EXPECT_EQ(collected_.patterns.back().failures.size(), 0u);  // A drive's root is always there.
  EXPECT_EQ(fake_.files.List("T:\\Target\\Log"), (Names{"app (2).log", "APP (3).LOG", "app.log"}));
  EXPECT_EQ(fake_.files.Content("T:\\Target\\Log\\APP (3).LOG"), "D:\\B\\APP.LOG");
  EXPECT_EQ(
      fake_.files.Content("C:\\Tools\\test.log"),
      "old\r\napp.log\r\nFehler:b.log\r\nFehler:\r\n\r\napp (2).log\r\n\r\n\r\napp.log\r\n\r\n");
  ASSERT_EQ(collected_.staged.size(), 3u);
  EXPECT_EQ(collected_.staged[2].renamed, "a file named APP.LOG was collected before");

  // The second list may name the staging folder: this run's copies are not
  // copied again, and a copy onto its own source fails.
  EXPECT_FALSE(Collect(List("LogFilesVW", "1=T:\\Target\\Log\\app.log\n")));
  EXPECT_EQ(fake_.files.List("T:\\Target\\Log").size(), 3u);
  EXPECT_EQ(collected_.patterns.back().failures[0].error,
            "source and destination are the same file");

  // For the next run these are an earlier run's files, never written over:
  // one that cannot move aside keeps its name, and the new file takes a free one.
  fake_.files.HoldOpen("T:\\Target\\Log\\app.log", false);
  Staging next_run(fake_.files, "T:\\Target");
  next_run.NoteLeftovers();
  EXPECT_EQ(next_run.Claim("APP.LOG"), "APP (4).LOG");
  next_run.Claim(".notes");  // A leading dot starts no extension.
  EXPECT_EQ(next_run.Claim(".notes"), ".notes (2)");
  EXPECT_EQ(next_run.Claim("app (2).log"), "app (2).log");
  EXPECT_EQ(fake_.files.Content("T:\\Target\\Log\\app (2) (2).log"), "D:\\B\\app (2).log");

  // A reserve counts the archive too, which may take the room of all it packs, beside the
  // oldest archive, which stays until the new one is proven. Free space that cannot be read
  // lets the copy try; without a reserve (2) a full disk is no reason to leave a log behind.
  for (int room : {2, 0, 1, -1}) {
    const std::string log = "D:\\R\\" + std::to_string(room + 1) + ".log";
    fake_.files.AddFile(log, "12345");
    if (room < 0) fake_.files.FailOn("FreeSpace", "");
    fake_.files.free_space = room == 2 ? 0 : (1 << 20) + 2 * 5 + collected_.staged_bytes - 1 + room;
    const std::size_t staged = collected_.staged.size();
    CollectLogFiles(fake_.platform, List("LogFilesXP", "1=" + log + "\n"), variables_, staging_,
                    journal_, room == 2 ? 0 : 1, &collected_);
    EXPECT_EQ(collected_.staged.size() - staged, room != 0 ? 1u : 0u);
  }
}

TEST_F(StepsTest, OnlyAProvenArchiveMovesTheSlotsAndLetsTheFilesItHoldsGoAndNoOnlyCopyIsDeleted) {
  for (const char* f : {"Log\\a.log", "Log\\b.log", "Log\\sub\\c.txt", "1-old.Zip", "9-old.Zip"})
    fake_.files.AddFile(std::string("T:\\Target\\") + f, f);
  for (const char* f :
       {"D:\\L\\same.log", "D:\\L\\grew.log", "D:\\L\\sealed.log", "D:\\L\\racing.log",
        "D:\\Old\\old.log", "D:\\Old\\busy.log", "D:\\Old\\$Loop$.txt"})
    fake_.files.AddFile(f, f);
  fake_.files.HoldOpen("D:\\L\\sealed.log", false);
  fake_.files.AddFolder("D:\\Old\\folder.log");  // No match for a deletion entry.
  EXPECT_FALSE(Collect(List("LogFilesXP", "1=D:\\L\\*.log\n")));
  // Without an accepted archive no archive moves, nothing staged goes, and nothing that the
  // packer made is left.
  const Names target = fake_.files.List("T:\\Target");
  const auto fails = [this, &target](long long timeout_s) {
    const PackOutcome outcome = Pack(timeout_s);
    EXPECT_TRUE(!outcome.archived && fake_.files.List("T:\\Target") == target &&
                fake_.files.List("T:\\Target\\Log").size() == 6u);
    return outcome.failure.what;
  };
  fake_.processes.on_start = [this](const std::string&) {
    fake_.files.AddFile(kPacking, "stale");
    return 0;
  };
  EXPECT_EQ(fails(0),
            "the archive T:\\Target\\1-a.Zip is not readable: "
            "the file is too short for a zip archive");
  fake_.PackerMakesArchives([this] {
    std::string zip = fake_.files.Content(kPacking);
    zip[35] ^= 1;  // The first byte of a.log's data.
    fake_.files.AddFile(kPacking, zip);
  });
  EXPECT_EQ(fails(0), "the archive T:\\Target\\1-a.Zip is damaged at a.log");
  fake_.PackerMakesArchives([this] { fake_.files.AddFile("T:\\Target\\Log\\b.log", "changed"); });
  EXPECT_EQ(fails(0), "the archive T:\\Target\\1-a.Zip does not hold b.log as it was collected");
  const auto packs = fake_.processes.on_start;  // A whole archive from a packer that failed.
  fake_.processes.on_start = [packs](const std::string& line) { return packs(line) + 1; };
  EXPECT_EQ(fails(0), "the packer C:\\MorvaTools\\Quillet\\Zip.exe ended with exit code 1");
  fake_.PackerMakesArchives();  // A proven archive that cannot reach the disk.
  fake_.files.FailOn("SyncFile", "Quillet-packing");
  EXPECT_EQ(
      fails(0),
      "the archive T:\\Target\\1-a.Zip could not be written to the disk (Input/output error)");
  fake_.processes.hang = true;  // The packer leaves its partial archive at the time limit.
  fake_.processes.on_start = [this](const std::string&) {
    fake_.files.AddFile(std::string(kPacking) + ".tmp", "partial");
    return 0;
  };
  EXPECT_EQ(fails(1), "the packer C:\\MorvaTools\\Quillet\\Zip.exe was ended at the time limit");
  fake_.processes.hang = false;
  fake_.PackerMakesArchives();
  fake_.files.FailOn("ReadAt", "Log\\b.log");  // A staged file that cannot be read back.
  EXPECT_EQ(fails(0), "the archive T:\\Target\\1-a.Zip does not hold b.log as it was collected");
  fake_.files.FailOn("List", "Log\\*.*");  // A staging folder that cannot be listed.
  EXPECT_EQ(fails(0),
            "the staging folder T:\\Target\\Log could not be listed to check the archive "
            "against it (Input/output error)");

  // A proven archive: its data reaches the disk, the slots move, its name reaches the disk, and
  // only then do the staged files go that the archive holds as they are; the rest is named.
  fake_.files.Heal();
  fake_.files.on_verify = [this](const std::string& path) {  // Written to after it was packed.
    if (path == "T:\\Target\\Log\\b.log") fake_.files.AddFile(path, "more");
  };
  fake_.files.FailOn("RenamePath", "Quillet-packing", 1);  // Held a moment by a virus scanner.
  const Names& log = fake_.files.log;
  const std::size_t from = log.size();
  const PackOutcome packed = Pack();
  ASSERT_TRUE(packed.archived) << packed.failure.what;
  EXPECT_EQ(fake_.files.List("T:\\Target"), (Names{"1-a.Zip", "2-old.Zip", "Log"}));
  EXPECT_EQ(packed.kept, (Names{"b.log", "sub"}));
  EXPECT_NE(fake_.files.Content("C:\\Tools\\test.log")
                .find("Kept:T:\\Target\\Log\\sub (the archive does not hold it)\r\n"),
            std::string::npos);
  std::vector<long> at;
  for (const std::string call :
       {"SyncFile", "KillFiles", "RenamePath T:\\Target\\Q", "SyncFolder", "DeleteVerified"}) {
    at.push_back(std::find_if(log.begin() + from, log.end(),
                              [&](const std::string& c) { return c.rfind(call, 0) == 0; }) -
                 log.begin());
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()) && at.back() < static_cast<long>(log.size()));
  EXPECT_EQ(warnings_, Names{});

  // Deletion keeps every file whose only copy the archive may not be: one that changed after it
  // was collected or while it was read, one never collected, and one the archive lacks. An entry
  // whose placeholder leads back to itself deletes nothing, not even a file of the name as written.
  fake_.files.AddFile("D:\\L\\grew.log", "D:\\L\\grew.log and a line more");
  fake_.files.HoldOpen("D:\\Old\\busy.log", true);
  fake_.files.on_verify = [this](const std::string& path) {
    if (path == "D:\\L\\racing.log") fake_.files.AddFile(path, "written meanwhile");
  };
  variables_.Entry(13) = {"Loop", "$Loop$"};
  std::vector<ZipEntryInfo> entries = packed.entries;
  entries.erase(std::find_if(entries.begin(), entries.end(),
                             [](const ZipEntryInfo& e) { return e.name == "same.log"; }));
  const DeleteOutcome deleted = DeleteListedFiles(
      fake_.platform,
      List("DeleteFilesXP", "1=D:\\L\\*.log\n2=D:\\Old\\*.log\n3=D:\\Old\\$Loop$.txt\n"),
      variables_, collected_, entries, journal_);
  EXPECT_EQ(fake_.files.List("D:\\L"), (Names{"grew.log", "racing.log", "same.log", "sealed.log"}));
  EXPECT_EQ(fake_.files.List("D:\\Old"), (Names{"$Loop$.txt", "busy.log", "folder.log"}));
  EXPECT_EQ(deleted.deleted, 1);
  EXPECT_EQ(fake_.window.With("Label:").back(), "Deleting Logs");
  const std::string journal = fake_.files.Content("C:\\Tools\\test.log");
  for (const char* kept :
       {"grew.log (it changed after it was collected)", "sealed.log (it could not be collected)",
        "same.log (the archive does not hold it)"})
    EXPECT_NE(journal.find(std::string("Kept:D:\\L\\") + kept), std::string::npos) << journal;
  EXPECT_EQ(deleted.patterns[1].failures.size(), 1u);  // busy.log, in use.

  // An archive whose name may not survive a power cut is there all the same, and said to be.
  fake_.files.FailOn("SyncFolder", "");
  const PackOutcome unsure = Pack();
  EXPECT_TRUE(!unsure.archived && unsure.named) << unsure.failure.what;
}

constexpr WindowHandle kStatus = 0x100;  // The fake status window's handle.

TEST_F(StepsTest, DebugWindowExportClicksWhereTheButtonsAreAndNoneItCannotAim) {
  fake_.desktop.z_order = {
      {kStatus, "Status", {}}, {3, "Editor", {}}, {4, "x DebugWindow", {100, 50, 740, 530}}};
  fake_.desktop.on_click = [this](int, int) {
    if (fake_.desktop.z_order.size() == 3)
      fake_.desktop.z_order.push_back({9, "Save DebugWin contents", {300, 200, 540, 380}});
  };
  DebugWindowOutcome outcome = SaveDebugWindow(fake_.platform, ReadWindowList(fake_.platform));
  // Pixel (276, 510) in the debug window, then (392, 272) in the dialog.
  EXPECT_EQ(fake_.desktop.calls,
            (Names{"Restore 4", "Front 4", "Move 17664,43519", "Click 0", "Find", "Front 9",
                   "Topmost 9 300,200,240,180", "Move 25088,23210", "Click 0", "Minimize 4",
                   "Foreground 256"}));
  EXPECT_TRUE(outcome.found && outcome.first_click_sent && outcome.second_click_sent);
  // The status window is repainted once the debug window is down again.
  const Names& events = fake_.window.events;
  EXPECT_EQ(Names(events.end() - 3, events.end()),
            (Names{"Minimize 4", "Yield", "Foreground 256"}));
  EXPECT_EQ(fake_.clock.slept_ms, 100 + 100 + 500);

  // No click it cannot aim: without a debug window there is none at all.
  fake_.desktop.calls.clear();
  fake_.desktop.z_order = {{kStatus, "Status", {}}, {4, "Editor", {0, 0, 10, 10}}};
  EXPECT_FALSE(SaveDebugWindow(fake_.platform, ReadWindowList(fake_.platform)).found);
  EXPECT_EQ(fake_.desktop.calls, Names{"Foreground 256"});
  // Left, right and middle; there is no fourth button to press.
  EXPECT_TRUE(MouseClick(fake_.desktop, 2) && !MouseClick(fake_.desktop, 3));
  int width = 0, height = 0;
  fake_.desktop.twips_per_pixel = 16.171875f;        // 1024 px are 16560 twips, 11.5 inches.
  GetScreenSize(fake_.desktop, &width, &height, 2);  // In inches, a half to the even one.
  EXPECT_EQ(width, 12);
  GetScreenSize(fake_.desktop, &width, &height, 3);  // In points.
  EXPECT_EQ(width, 12 * 72);

  // Already in front: no restore; the dialog never opens: 51 lookups, no second click.
  fake_.desktop.calls.clear();
  fake_.clock.slept_ms = 0;
  fake_.desktop.z_order = {{kStatus, "Status", {}}, {4, "DEBUGWINDOW", {0, 0, 640, 480}}};
  fake_.desktop.foreground = 4;
  const WindowList windows = ReadWindowList(fake_.platform);
  outcome = SaveDebugWindow(fake_.platform, windows);
  EXPECT_TRUE(outcome.first_click_sent);
  EXPECT_FALSE(outcome.second_click_sent);
  EXPECT_EQ(std::count(fake_.desktop.calls.begin(), fake_.desktop.calls.end(), "Find"), 51);
  EXPECT_EQ(fake_.clock.slept_ms, 50 * 100);  // A pause before each lookup but the last.
  EXPECT_EQ(fake_.desktop.calls.front(), "Move 11264,39253");
  EXPECT_EQ(fake_.desktop.calls.back(), "Foreground 256");

  // Refused foreground: fifty tries; a window closed since the inventory gets no click.
  fake_.desktop.calls.clear();
  fake_.desktop.foreground = 0;
  fake_.desktop.grant_foreground = false;
  fake_.desktop.z_order.pop_back();
  fake_.clock.slept_ms = 0;
  outcome = SaveDebugWindow(fake_.platform, windows);
  EXPECT_FALSE(outcome.first_click_sent);
  EXPECT_EQ(fake_.clock.slept_ms, 50 * 100);
  EXPECT_EQ(fake_.desktop.calls.size(), 50u * 2 + 2);
  EXPECT_EQ(fake_.desktop.calls[100], "Minimize 4");
}

}  // namespace
}  // namespace quillet
