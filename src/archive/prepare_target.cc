#include "archive/prepare_target.h"

#include <cstdio>
#include <vector>

#include "platform/text.h"

namespace quillet {
namespace {

constexpr int kFileTries = 20;  // File deletions per numbered folder.
constexpr int kTries = 5;       // Removal attempts, slot-9 passes, rename passes.
constexpr int kPauseMs = 100;

// The matches of a new search; a search that fails matches nothing.
std::vector<std::string> Matches(Files& files, const std::string& pattern, bool with_folders) {
  std::vector<std::string> names;
  files.List(pattern, with_folders, &names);
  return names;
}

// The first match of a new search, "" when there is none or the search fails.
std::string FirstMatch(Files& files, const std::string& pattern, bool with_folders) {
  const std::vector<std::string> names = Matches(files, pattern, with_folders);
  return names.empty() ? "" : names.front();
}

// True unless a search proves that nothing matches: a search that fails
// counts as a match, so the action it guards is attempted.
bool MayExist(Files& files, const std::string& pattern, bool with_folders) {
  std::vector<std::string> names;
  return files.List(pattern, with_folders, &names) || !names.empty();
}

bool HasZipInName(const std::string& name) { return Upper(name).find(".ZIP") != std::string::npos; }

// Phase 1: an entry beginning with a digit whose name holds no ".ZIP" is a
// stray folder. Its files are deleted, then the folder is removed. One
// counter serves the whole phase, so once a folder has taken five removal
// attempts no further numbered folder is handled in this run.
void RemoveNumberedFolders(const Platform& platform, const std::string& target, int* counter) {
  Files& files = *platform.files;
  StatusWindow& window = *platform.window;
  Clock& clock = *platform.clock;
  for (int digit = 1; digit <= 9; ++digit) {
    window.YieldToUi();
    const std::string digit_pattern = files.Join(target, std::to_string(digit) + "*");
    std::vector<std::string> names = Matches(files, digit_pattern, true);
    std::size_t next = 0;
    while (next < names.size() && *counter < kTries) {
      const std::string name = names[next++];
      // A link may lead to a folder that is no part of the target folder;
      // deleting through it would destroy what it leads to.
      FileInfo info;
      if (HasZipInName(name) || files.Stat(files.Join(target, name), &info) || info.link) continue;
      const std::string folder = files.Join(target, name);
      const std::string all_files = files.Join(folder, "*.*");
      *counter = 0;
      std::string file = FirstMatch(files, all_files, false);
      while (!file.empty() && *counter < kFileTries) {
        files.KillFiles(
            files.Join(folder, file));  // Passed over on failure; tried again next pass.
        window.YieldToUi();
        clock.Sleep(kPauseMs);
        ++*counter;
        file = FirstMatch(files, all_files, false);
      }
      *counter = 0;
      std::string found = FirstMatch(files, folder, true);
      while (!found.empty() && *counter < kTries) {
        files.RemoveDir(files.Join(target, found));  // Fails while the folder is not empty.
        window.YieldToUi();
        clock.Sleep(kPauseMs);
        ++*counter;
        found = FirstMatch(files, folder, true);
      }
      // Every removal changes the folder: the search of this digit starts over.
      names = Matches(files, digit_pattern, true);
      next = 0;
    }
  }
}

// Phase 3: deletes up to five files whose names begin with 9.
void DeleteSlotNine(const Platform& platform, const std::string& target,
                    const RotationWarning& warn) {
  Files& files = *platform.files;
  const std::string slot_nine = files.Join(target, "9*.*");
  int counter = 0;
  std::string name = FirstMatch(files, slot_nine, false);
  while (!name.empty() && counter < kTries) {
    if (MayExist(files, files.Join(target, name), false)) {
      files.KillFiles(files.Join(target, name));  // A locked file stays; the next pass tries again.
      platform.window->YieldToUi();
    }
    platform.clock->Sleep(kPauseMs);
    name = FirstMatch(files, slot_nine, false);
    ++counter;
  }
  if (counter >= kTries && !name.empty()) warn("Can not delete " + name);
}

// Phase 4: raises the first digit of every file of slots 8 down to 1.
void MoveSlotsUp(const Platform& platform, const std::string& target, const RotationWarning& warn) {
  Files& files = *platform.files;
  for (int slot = 8; slot >= 1; --slot) {
    const std::string pattern = files.Join(target, std::to_string(slot) + "*.*");
    const std::string up = std::to_string(slot + 1);
    int counter = 0;
    std::string name = FirstMatch(files, pattern, false);
    while (!name.empty() && counter < kTries) {
      files.RenamePath(files.Join(target, name),
                       files.Join(target, up + name.substr(1)));  // Retried next pass.
      platform.clock->Sleep(kPauseMs);
      name = FirstMatch(files, pattern, false);
      ++counter;
    }
    if (counter >= kTries && !name.empty()) warn("Can not copy " + name);
  }
  platform.window->YieldToUi();
}

}  // namespace

std::string MakeArchiveName(const LocalTime& time) {
  char name[32];
  std::snprintf(name, sizeof(name), "1-%02d.%02d.%02d-%02d.%02d.%02d.Zip", time.month % 100,
                time.day % 100, time.year % 100, time.hour % 100, time.minute % 100,
                time.second % 100);
  return name;
}

std::string PrepareTarget(const Platform& platform, const std::string& target_path) {
  int counter = 0;
  RemoveNumberedFolders(platform, target_path, &counter);

  // A failed test counts as "missing"; a missing parent makes MakeDir fail quietly.
  if (FirstMatch(*platform.files, target_path, true).empty()) platform.files->MakeDir(target_path);
  platform.window->YieldToUi();
  // A run killed while it packed leaves its unfinished archive, and the
  // packer's own temporary file; its collected files are still staged and
  // go into this run's archive.
  const std::string packing = platform.files->Join(target_path, kPackingName);
  for (const std::string& leftover : {packing, packing + ".tmp"})
    platform.files->DeleteFile(leftover);
  return MakeArchiveName(platform.clock->Now());
}

void RotateArchives(const Platform& platform, const std::string& target_path,
                    const RotationWarning& warn) {
  DeleteSlotNine(platform, target_path, warn);
  MoveSlotsUp(platform, target_path, warn);
}

}  // namespace quillet
