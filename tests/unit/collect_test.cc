#include <gtest/gtest.h>

#include "archive/pack_logs.h"
#include "collect/collect_logs.h"
#include "collect/launcher.h"
#include "run/run_collection.h"
#include "tests/unit/fakes.h"

namespace quillet {
namespace {

using testing::kIni;
using testing::kJournal;
using testing::Names;

class CollectTest : public ::testing::Test {
 protected:
  testing::FakeRun run_;
};

TEST_F(CollectTest, CopiesEveryMatchAndJournalsTheFirstOfEachEntry) {
  run_.files.AddFolder("D:\\Logs");
  run_.files.AddFile("D:\\Logs\\a.log", "A");
  run_.files.AddFile("D:\\Logs\\b.log", "B");
  run_.files.AddFile(kJournal, "old\r\n");
  run_.SetList("LogFilesXP", {"D:\\Logs\\*.log", "D:\\Logs\\*.none", "D:\\Logs\\b.log"});
  EXPECT_FALSE(CollectLogFiles(run_.context, "LogFilesXP"));
  EXPECT_EQ(run_.files.List("T:\\Target\\Log"), (Names{"a.log", "b.log"}));
  EXPECT_EQ(run_.files.Content("T:\\Target\\Log\\b.log"), "B");
  EXPECT_EQ(run_.files.Content(kJournal), "old\r\na.log\r\n\r\nb.log\r\n");
  EXPECT_EQ(run_.window.Labels(), Names{"Copying Logs LogFilesXP"});
}

TEST_F(CollectTest, AFailingCopyWritesOneErrorLineAndTheRestIsCopied) {
  run_.files.AddFolder("D:\\Logs");
  for (const char* name : {"a.log", "b.log", "c.log"})
    run_.files.AddFile(std::string("D:\\Logs\\") + name);
  run_.files.FailOn("CopyFile", "B.LOG");
  run_.files.FailOn("DirFirst", "X:\\");
  run_.SetList("LogFilesVW", {"X:\\gone\\*.log", "D:\\Logs\\*.log", "$Unknown$\\x"});
  EXPECT_FALSE(CollectLogFiles(run_.context, "LogFilesVW"));
  EXPECT_EQ(run_.files.List("T:\\Target\\Log"), (Names{"a.log", "c.log"}));
  EXPECT_EQ(run_.files.Content(kJournal), "Fehler:\r\n\r\na.log\r\nFehler:b.log\r\n\r\n");
}

TEST_F(CollectTest, AJournalThatCannotBeOpenedEndsTheRun) {
  run_.files.FailOn("OpenText", "TEST.LOG");
  EXPECT_TRUE(CollectLogFiles(run_.context, "LogFilesXP"));
  run_.context.state.target_path = "Q:\\NoParent\\Target";
  EXPECT_TRUE(CollectLogFiles(run_.context, "LogFilesXP"));
}

TEST_F(CollectTest, StartListRunsEntriesUntilTheFirstGapFromTheirFolders) {
  run_.files.AddFolder("C:\\Prog");
  run_.files.AddFile("C:\\Prog\\x.exe");
  run_.files.current_dir = "C:\\Tools";
  run_.SetList("StartExeFilesXP",
               {"C:\\Prog\\x.exe -q \"a b\"", "C:\\Program Files\\y.exe", "x.exe"});
  run_.settings.Set(kIni, "StartExeFilesXP", "5", "C:\\Prog\\x.exe");
  RunStartPrograms(run_.context, "StartExeFilesXP");
  ASSERT_EQ(run_.processes.launches.size(), 1u);
  EXPECT_EQ(run_.processes.launches[0].command_line, "C:\\Prog\\x.exe -q \"a b\"");
  EXPECT_EQ(run_.processes.launches[0].directory, "C:\\Prog");
  EXPECT_EQ(run_.files.current_dir, "C:\\Tools");
  EXPECT_EQ(run_.window.Labels(), Names{"Exe"});
}

TEST_F(CollectTest, AProgramWithoutFolderRunsFromTheCurrentDirectory) {
  run_.files.AddFile("C:\\Tools\\tool.exe");
  run_.files.current_dir = "C:\\Tools";
  run_.SetList("StartExeFilesNT", {"tool.exe arg"});
  RunStartPrograms(run_.context, "StartExeFilesNT");
  ASSERT_EQ(run_.processes.launches.size(), 1u);
  EXPECT_EQ(run_.processes.launches[0].directory, "C:\\Tools");
}

TEST_F(CollectTest, DeletesOnlyTheFilesTheSearchMatched) {
  run_.files.AddFolder("D:\\Old");
  run_.files.AddFolder("D:\\Old\\sub.log");
  run_.files.AddFile("D:\\Old\\1.log");
  run_.files.AddFile("D:\\Old\\2.log");
  run_.files.AddFile("D:\\Old\\keep.txt");
  run_.files.AddFile("C:\\Tools\\here.log");
  run_.files.current_dir = "C:\\Tools";
  run_.SetList("DeleteFilesXP", {"D:\\Old\\*.log", "D:\\Old\\sub.log", "here.log"});
  DeleteListedFiles(run_.context, "DeleteFilesXP");
  EXPECT_EQ(run_.files.List("D:\\Old"), (Names{"keep.txt", "sub.log"}));
  EXPECT_FALSE(run_.files.Exists("C:\\Tools\\here.log"));
  EXPECT_EQ(run_.window.Labels(), Names{"Deleting Logs"});
}

TEST_F(CollectTest, TaskBatchHoldsOneLineForTheOsTag) {
  run_.files.AddFolder("C:\\Pantra");
  run_.files.AddFile("C:\\Pantra\\Task.bat", "old\r\nlines\r\n");
  run_.context.state.os_tag = "NT";
  EXPECT_FALSE(WriteTaskBatch(run_.context));
  EXPECT_EQ(run_.files.Content("C:\\Pantra\\Task.bat"),
            "C:\\MorvaTools\\Quillet\\PStatNT.exe > C:\\Pantra\\Task.log\r\n");
  run_.files.FailOn("OpenText", "TASK.BAT");
  EXPECT_TRUE(WriteTaskBatch(run_.context));
}

TEST_F(CollectTest, PackCommandLineQuotesOnlyWordsWithBlanks) {
  run_.context.state.archive_name = "1-12.05.26-14.03.09.Zip";
  std::string archive;
  run_.context.state.target_path = "D:\\Service";
  EXPECT_EQ(PackCommandLine(run_.context, &archive),
            "C:\\MorvaTools\\Quillet\\Zip.exe -j D:\\Service\\1-12.05.26-14.03.09.Zip "
            "D:\\Service\\Log\\*.*");
  run_.context.state.target_path = "C:\\Service Logs";
  EXPECT_EQ(PackCommandLine(run_.context, &archive),
            "C:\\MorvaTools\\Quillet\\Zip.exe -j \"C:\\Service Logs\\1-12.05.26-14.03.09.Zip\" "
            "\"C:\\Service Logs\\Log\\*.*\"");
  EXPECT_EQ(archive, "C:\\Service Logs\\1-12.05.26-14.03.09.Zip");
}

TEST_F(CollectTest, StagingIsDeletedOnlyWhenTheArchiveExists) {
  run_.context.state.archive_name = "1-a.Zip";
  run_.files.AddFolder("T:\\Target\\Log");
  run_.files.AddFile("T:\\Target\\Log\\a.log", "A");
  run_.processes.fail_start = true;  // No packer in the tools folder.
  EXPECT_FALSE(PackLogs(run_.context));
  EXPECT_EQ(run_.files.List("T:\\Target\\Log"), Names{"a.log"});

  run_.processes.fail_start = false;
  run_.processes.on_start = [this](const std::string&) {
    run_.files.AddFile("T:\\Target\\1-a.Zip", "PK");
  };
  EXPECT_TRUE(PackLogs(run_.context));
  EXPECT_FALSE(run_.files.Exists("T:\\Target\\Log"));
}

TEST_F(CollectTest, APackerEndedAtTheTimeLimitLeavesNoPartialArchive) {
  run_.context.state.archive_name = "1-a.Zip";
  run_.context.program_timeout_s = 1;
  run_.files.AddFolder("T:\\Target\\Log");
  run_.processes.hang = true;
  run_.processes.on_start = [this](const std::string&) {
    run_.files.AddFile("T:\\Target\\1-a.Zip.tmp", "PK partial");
  };
  EXPECT_FALSE(PackLogs(run_.context));
  EXPECT_EQ(run_.processes.terminated, 1);
  EXPECT_EQ(run_.files.List("T:\\Target"), Names{"Log"});
}

TEST_F(CollectTest, ARunWithoutArchiveKeepsTheListedFiles) {
  run_.settings.Set(kIni, "Project", "TargetPath", "T:\\Target");
  run_.files.AddFolder("C:\\Pantra");
  run_.files.AddFile("C:\\Pantra\\old.log");
  run_.SetList("DeleteFilesXP", {"C:\\Pantra\\*.log"});
  run_.processes.fail_start = true;
  EXPECT_EQ(RunCollection(run_.context), kExitNoArchive);
  EXPECT_TRUE(run_.files.Exists("C:\\Pantra\\old.log"));
  EXPECT_TRUE(run_.window.Messages().empty());
  EXPECT_EQ(run_.window.events.back(),
            "Error:No archive was made. The collected files are in T:\\Target\\Log.");
}

}  // namespace
}  // namespace quillet
