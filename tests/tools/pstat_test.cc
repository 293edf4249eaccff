#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/process_list.h"
#include "run_command.h"

namespace {

namespace fs = std::filesystem;

// The test program's own name, which every listing must show for it.
constexpr char kOwnName[] = "quillet_tools_tests";

TEST(ProcessListTest, ListsThisProcess) {
  std::vector<quillet::ProcessInfo> processes;
  ASSERT_FALSE(quillet::ListProcesses(&processes));
  const auto self = std::find_if(processes.begin(), processes.end(), [](const auto& process) {
    return process.id == quillet::CurrentProcessId();
  });
  ASSERT_NE(self, processes.end());
  EXPECT_EQ(self->name.rfind(kOwnName, 0), 0u) << self->name;
  EXPECT_GE(self->threads, 1u);
  EXPECT_GT(self->memory_bytes, 0u);
}

TEST(PStatTest, PrintsAHeaderAndALineForThisProcess) {
  const fs::path output = fs::temp_directory_path() /
                          ("quillet-pstat-" + std::to_string(quillet::CurrentProcessId()) + ".txt");
  const std::string program = QUILLET_TOOLS_BIN "/PStatXP.exe";
  using quillet::tool_test::Quote;
  ASSERT_EQ(quillet::tool_test::RunCommand(Quote(program) + " >" + Quote(output.string())), 0);
  std::ifstream in(output);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line.rfind("PID\tPPID\t", 0), 0u) << line;
  const std::string own = std::to_string(quillet::CurrentProcessId()) + "\t";
  bool found = false;
  while (std::getline(in, line)) {
    found = found || (line.rfind(own, 0) == 0 &&
                      line.find(std::string("\t") + kOwnName) != std::string::npos);
  }
  in.close();
  fs::remove(output);
  EXPECT_TRUE(found);
  EXPECT_TRUE(fs::exists(QUILLET_TOOLS_BIN "/PStatNT.exe"));
}

}  // namespace
