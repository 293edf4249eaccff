#include "archive/pack_logs.h"

#include "collect/launcher.h"

namespace quillet {

std::string PackCommandLine(const RunContext& context, std::string* archive_path) {
  const std::string& t = context.state.target_path;
  const std::string words[] = {"$MorvaToolsDir$\\Quillet\\Zip.exe", "-j",
                               t + "\\" + context.state.archive_name, t + "\\Log\\*.*"};
  std::string line;
  for (const std::string& word : words) {
    const ExpandResult expanded = ExpandVariables(context.variables, word);
    if (expanded.error) return "";
    if (&word == &words[2]) *archive_path = expanded.text;
    if (!line.empty()) line += ' ';
    // A folder with a blank would split the word in two; quoting keeps it
    // whole, and words without blanks stay exactly as they are.
    line +=
        expanded.text.find(' ') == std::string::npos ? expanded.text : "\"" + expanded.text + "\"";
  }
  return line;
}

bool PackLogs(RunContext& context) {
  Files& files = *context.platform.files;
  context.platform.window->SetLabel("Zipping Logs");
  std::string archive_path;
  const std::string command_line = PackCommandLine(context, &archive_path);
  if (!command_line.empty() &&
      RunAndWait(context, command_line, context.program_timeout_s).timed_out) {
    // Our packer writes under the archive's name with ".tmp" added until it
    // is done; a packer ended at the time limit leaves that file behind.
    files.KillFiles(archive_path + ".tmp");
  }
  context.platform.window->YieldToUi();

  // The packer's exit code is not trusted on its own: only an archive that is
  // there and not empty lets the collected copies go.
  std::uint64_t size = 0;
  if (archive_path.empty() || files.FileSize(archive_path, &size) || size == 0) return false;
  const std::string staging = context.state.target_path + "\\Log";
  std::string found;
  if (files.DirFirst(staging, true, &found) || !found.empty()) files.DeleteFolder(staging, true);
  return true;
}

}  // namespace quillet
