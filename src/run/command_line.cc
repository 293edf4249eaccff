#include "run/command_line.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "config/settings_schema.h"
#include "platform/text.h"
#include "run/report_json.h"
#include "run/run_collection.h"
#include "run/settings_check.h"
#include "run/verify_archive.h"

namespace quillet {
namespace {

// What --help shows, with the names of the settings file's section and key
// as the program reads them.
std::string HelpText() {
  const std::string section = kProjectSection;
  const std::string target = kTargetPathKey.name;
  return "Quillet collects the diagnostic material of this PC into one dated zip archive\n"
         "and quits. A run takes a screenshot, runs the programs of the settings file,\n"
         "saves the HMI's debug window, copies the listed log files, packs them and\n"
         "checks the archive. Only then do the archives of earlier runs in the target\n"
         "folder move up a slot (1-...Zip newest to 9-...Zip oldest) and are the files of\n"
         "the deletion list deleted that the archive holds.\n"
         "\n"
         "Usage: quillet [option | argument]\n"
         "  (none)       a run that ends with the message \"File saved in ...\"\n"
         "  --check, /check      show what a run would read, run, collect and delete,\n"
         "               and the problems of the settings file; changes nothing\n"
         "  --verify ARCHIVE, /verify ARCHIVE   read every file of a received archive\n"
         "               back against its size and CRC-32 and show the run's computer,\n"
         "               time and outcome\n"
         "  --version, /version  show the version\n"
         "  --help, /help, -h, -?, /?   show this text\n"
         "  any other argument   an unattended run: no message waits for OK (for\n"
         "               schedulers and other programs, e.g. \"quillet auto\")\n"
         "\n"
         "Settings: the file beside the program, named after it (quillet.exe reads\n"
         "quillet.ini). Section [" +
         section + "] names the " + target +
         ".\n"
         "\n"
         "Exit codes: 0 the archive was made and checked; 1 an error ended the run;\n"
         "2 no settings file or no " +
         target +
         ", or a mistyped option; 3 no archive was\n"
         "made, the collected files stay in " +
         target +
         "\\Log and nothing was deleted;\n"
         "4 --check found a problem; 5 another run was going on, nothing was done.\n"
         "--verify exits with 0 when the archive is whole, 3 when it is not and 1 when\n"
         "it cannot be opened.\n";
}

enum class Option { kRun, kHelp, kVersion, kCheck, kVerify, kRefused };

// The options, written the Unix way or the Windows way.
constexpr std::pair<const char*, Option> kOptions[] = {
    {"--help", Option::kHelp},      {"-h", Option::kHelp},       {"-?", Option::kHelp},
    {"/?", Option::kHelp},          {"/help", Option::kHelp},    {"--version", Option::kVersion},
    {"/version", Option::kVersion}, {"--check", Option::kCheck}, {"/check", Option::kCheck},
    {"--verify", Option::kVerify},  {"/verify", Option::kVerify}};

// What the text after the program's name asks for. An option alone is
// carried out. A word that starts with "-" or "/" and is at most two letters
// away from an option ("--chek", "/hlep") is a mistyped option, as is an
// option among other words: a run it started would rotate archives and
// delete logs where only a look was meant, so it is refused. The one option
// that takes a word after it is --verify, whose archive is the rest of the
// text, blanks included, without the quotes around it; `*archive` receives
// it. Every other text asks for an unattended run.
Option ParseCommandTail(const std::string& tail, std::string* archive) {
  std::vector<std::string> words;
  std::string word;
  for (char c : tail + " ") {
    if (c != ' ' && c != '\t') {
      if (c != '"') word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  for (const auto& [name, option] : kOptions) {
    if (words.empty() || !SameNoCase(words[0], name)) continue;
    if (option == Option::kVerify) {
      const std::size_t start = tail.find_first_not_of(" \t");
      const std::size_t end = tail.find_first_of(" \t", start);
      std::string rest = end == std::string::npos ? "" : tail.substr(end);
      rest.erase(0, rest.find_first_not_of(" \t"));
      rest.erase(rest.find_last_not_of(" \t") + 1);
      if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
        rest = rest.substr(1, rest.size() - 2);
      }
      *archive = rest;
      return option;
    }
    if (words.size() == 1) return option;
  }
  for (const std::string& candidate : words) {
    if (candidate[0] != '-' && candidate[0] != '/') continue;
    for (const auto& option : kOptions) {
      if (EditDistanceNoCase(candidate, option.first) <= 2) return Option::kRefused;
    }
  }
  return Option::kRun;
}

}  // namespace

int RunProgram(RunContext& context) {
  const std::string command = context.platform.environment->CommandTail();
  std::string archive;
  const Option option = ParseCommandTail(command, &archive);
  if (option != Option::kRun) UseParentConsole();
  switch (option) {
    case Option::kRefused:
      std::cout << "Unknown option in \"" << command << "\"; nothing was done.\n\n"
                << HelpText() << std::flush;
      return kExitUsage;
    case Option::kHelp:
      std::cout << HelpText() << std::flush;
      return kExitOk;
    case Option::kVersion:
      std::cout << "Quillet " << ProgramVersion() << std::endl;
      return kExitOk;
    case Option::kCheck: {
      if (Error error = Configure(context)) {
        std::cout << error.what << std::endl;
        return kExitRunError;
      }
      const int code = CheckSettings(context, std::cout);
      std::cout.flush();
      return code;
    }
    case Option::kVerify: {
      if (archive.empty()) {
        std::cout << "Usage: quillet --verify ARCHIVE" << std::endl;
        return kExitUsage;
      }
      const int code = VerifyArchive(*context.platform.files, archive, std::cout);
      std::cout.flush();
      return code;
    }
    case Option::kRun:
      break;
  }
  // Any other argument only means that a program started the run and no
  // closing message may wait for someone to press OK.
  context.interactive = command.find_first_not_of(" \t") == std::string::npos;
  return RunCollection(context);
}

}  // namespace quillet
