#include "archive/prepare_target.h"

#include <cctype>
#include <cstdio>

namespace quillet {
namespace {

constexpr int kFileTries = 20;  // File deletions per numbered folder.
constexpr int kTries = 5;       // Removal attempts, slot-9 passes, rename passes.
constexpr int kPauseMs = 100;

// The first match of a new search, "" when there is none or the search fails.
std::string First(Files& files, const std::string& pattern, bool with_folders) {
  std::string name;
  if (files.DirFirst(pattern, with_folders, &name)) return "";
  return name;
}

std::string Next(Files& files) {
  std::string name;
  if (files.DirNext(&name)) return "";
  return name;
}

// True unless a search proves that nothing matches: a search that fails
// counts as a match, so the action it guards is attempted.
bool MayExist(Files& files, const std::string& pattern, bool with_folders) {
  std::string name;
  return files.DirFirst(pattern, with_folders, &name) || !name.empty();
}

bool HasZipInName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name.find(".ZIP") != std::string::npos;
}

// Phase 1: an entry beginning with a digit whose name holds no ".ZIP" is a
// stray folder. Its files are deleted, then the folder is removed. One
// counter serves the whole phase, so once a folder has taken five removal
// attempts no further numbered folder is handled in this run.
void RemoveNumberedFolders(RunContext& context, int* counter) {
  Files& files = *context.platform.files;
  StatusWindow& window = *context.platform.window;
  Clock& clock = *context.platform.clock;
  const std::string& t = context.state.target_path;
  for (int d = 1; d <= 9; ++d) {
    window.YieldToUi();
    const std::string digit_pattern = t + "\\" + std::to_string(d) + "*";
    std::string name = First(files, digit_pattern, true);
    while (!name.empty() && *counter < kTries) {
      if (HasZipInName(name)) {
        name = Next(files);
        continue;
      }
      const std::string folder = t + "\\" + name;
      *counter = 0;
      std::string file = First(files, folder + "\\*.*", false);
      while (!file.empty() && *counter < kFileTries) {
        files.KillFiles(folder + "\\" + file);  // Passed over on failure; tried again next pass.
        window.YieldToUi();
        clock.Sleep(kPauseMs);
        ++*counter;
        file = First(files, folder + "\\*.*", false);
      }
      *counter = 0;
      std::string found = First(files, folder, true);
      while (!found.empty() && *counter < kTries) {
        files.RemoveDir(t + "\\" + found);  // Fails while the folder is not empty.
        window.YieldToUi();
        clock.Sleep(kPauseMs);
        ++*counter;
        found = First(files, folder, true);
      }
      name = First(files, digit_pattern, true);
    }
  }
}

// Phase 3: deletes up to five files whose names begin with 9.
void DeleteSlotNine(RunContext& context) {
  Files& files = *context.platform.files;
  const std::string& t = context.state.target_path;
  int counter = 0;
  std::string name = First(files, t + "\\9*.*", false);
  while (!name.empty() && counter < kTries) {
    if (MayExist(files, t + "\\" + name, false)) {
      files.KillFiles(t + "\\" + name);  // A locked file stays; the next pass tries again.
      context.platform.window->YieldToUi();
    }
    context.platform.clock->Sleep(kPauseMs);
    name = First(files, t + "\\9*.*", false);
    ++counter;
  }
  if (counter >= kTries && !name.empty()) {
    context.platform.window->MessageBox("Can not delete " + name);
  }
}

// Phase 4: raises the first digit of every file of slots 8 down to 1.
void MoveSlotsUp(RunContext& context) {
  Files& files = *context.platform.files;
  const std::string& t = context.state.target_path;
  for (int d = 8; d >= 1; --d) {
    const std::string pattern = t + "\\" + std::to_string(d) + "*.*";
    const std::string up = std::to_string(d + 1);
    int counter = 0;
    std::string name = First(files, pattern, false);
    while (!name.empty() && counter < kTries) {
      files.RenamePath(t + "\\" + name, t + "\\" + up + name.substr(1));  // Retried next pass.
      context.platform.clock->Sleep(kPauseMs);
      name = First(files, pattern, false);
      ++counter;
    }
    if (counter >= kTries && !name.empty()) {
      context.platform.window->MessageBox("Can not copy " + name);
    }
  }
  context.platform.window->YieldToUi();
}

}  // namespace

std::string MakeArchiveName(const LocalTime& time) {
  char name[32];
  std::snprintf(name, sizeof(name), "1-%02d.%02d.%02d-%02d.%02d.%02d.Zip", time.month % 100,
                time.day % 100, time.year % 100, time.hour % 100, time.minute % 100,
                time.second % 100);
  return name;
}

void PrepareTarget(RunContext& context) {
  Files& files = *context.platform.files;
  const std::string& t = context.state.target_path;
  int counter = 0;
  RemoveNumberedFolders(context, &counter);

  // A failed test counts as "missing"; a missing parent makes MakeDir fail quietly.
  std::string found;
  if (files.DirFirst(t, true, &found) || found.empty()) files.MakeDir(t);
  context.platform.window->YieldToUi();

  DeleteSlotNine(context);
  MoveSlotsUp(context);
  context.state.archive_name = MakeArchiveName(context.platform.clock->Now());
}

}  // namespace quillet
