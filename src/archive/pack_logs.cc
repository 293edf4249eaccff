#include "archive/pack_logs.h"

#include <algorithm>
#include <map>
#include <memory>

#include "core/run_and_wait.h"

namespace quillet {
namespace {

constexpr int kRenameTries = 5;
constexpr int kRenamePauseMs = 100;

// The first of the `staged` files that the archive does not hold as it is on
// disk, "" when it holds them all.
std::string FirstNotArchived(Files& files, const Staging& staging,
                             const std::vector<std::string>& staged_files,
                             const std::vector<ZipEntryInfo>& entries) {
  std::map<std::string, const ZipEntryInfo*> by_name;
  for (const ZipEntryInfo& entry : entries) by_name[entry.name] = &entry;
  for (const std::string& staged : staged_files) {
    const auto found = by_name.find(staged);
    const ZipEntryInfo* entry = found == by_name.end() ? nullptr : found->second;
    std::unique_ptr<InputFile> file;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    if (entry == nullptr || files.OpenRead(staging.PathOf(staged), &file) ||
        FileDigest(*file, &size, &crc) || size != entry->size || crc != entry->crc) {
      return staged;
    }
  }
  return "";
}

// The first entry whose data does not give back what the central directory
// says of it, "" when all do.
std::string FirstDamaged(InputFile& archive, const std::vector<ZipEntryInfo>& entries) {
  for (const ZipEntryInfo& entry : entries) {
    if (ExtractEntry(archive, entry, [](const char*, std::size_t) {})) return entry.name;
  }
  return "";
}

// Reads the archive at `packing` back and fails unless it holds every staged
// file. The failures name the archive by the name it is to have.
Error Prove(Files& files, const Staging& staging, const std::string& packing,
            PackOutcome* outcome) {
  std::unique_ptr<InputFile> archive;
  if (std::error_code error = files.OpenRead(packing, &archive)) {
    return Error{error, "the packer made no archive " + outcome->archive_path + " (" +
                            error.message() + ")"};
  }
  if (Error error = ReadCentralDirectory(*archive, &outcome->entries)) {
    error.what = "the archive " + outcome->archive_path + " is not readable: " + error.what;
    return error;
  }
  const std::string damaged = FirstDamaged(*archive, outcome->entries);
  if (!damaged.empty()) {
    return Error{Errc::kDamagedArchive,
                 "the archive " + outcome->archive_path + " is damaged at " + damaged};
  }
  // Without the staging folder's list, nothing shows that the archive holds
  // every collected file, and the logs it would replace must stay.
  std::vector<std::string> staged;
  if (std::error_code error = files.List(staging.PathOf("*.*"), false, &staged)) {
    return Error{error, "the staging folder " + staging.path() +
                            " could not be listed to check the archive against it (" +
                            error.message() + ")"};
  }
  const std::string missing = FirstNotArchived(files, staging, staged, outcome->entries);
  if (!missing.empty()) {
    return Error{Errc::kNotArchived, "the archive " + outcome->archive_path + " does not hold " +
                                         missing + " as it was collected"};
  }
  return {};
}

// Gives the proven archive at `packing` its place in slot 1 for good: its
// data reaches the disk, the earlier archives move up, and its name reaches
// the disk. After a failure, `*named` tells whether the archive has its name
// all the same.
Error Settle(const Platform& platform, const std::string& target_path, const std::string& packing,
             const std::string& archive_path, const RotationWarning& warn, bool* named) {
  Files& files = *platform.files;
  if (std::error_code error = files.SyncFile(packing)) {
    return Error{error, "the archive " + archive_path + " could not be written to the disk (" +
                            error.message() + ")"};
  }
  RotateArchives(platform, target_path, warn);
  // A virus scanner may hold the new archive for a moment after it was
  // written. The slots have moved already, so a rename given up at once
  // would cost the oldest archive for nothing: it is tried again, as the
  // rotation tries its renames.
  std::error_code failure = files.RenamePath(packing, archive_path);
  for (int tries = 1; failure && tries < kRenameTries; ++tries) {
    platform.clock->Sleep(kRenamePauseMs);
    failure = files.RenamePath(packing, archive_path);
  }
  if (failure) {
    return Error{failure, "the archive " + packing + " could not be renamed to " + archive_path +
                              " (" + failure.message() + ")"};
  }
  *named = true;
  if (std::error_code error = files.SyncFolder(target_path)) {
    // The archive is there, but its name may not survive a power cut; the
    // files it holds stay until a run whose archive is safe.
    return Error{error, "its name could not be written to the disk (" + error.message() + ")"};
  }
  return {};
}

// Deletes each file of the staging folder that the archive holds with the
// same size and CRC-32, then the folder if that left it empty; returns the
// names of what stays. An entry whose name leads out of the folder deletes
// nothing.
std::vector<std::string> ClearStaging(Files& files, const Staging& staging,
                                      const std::vector<ZipEntryInfo>& entries) {
  for (const ZipEntryInfo& entry : entries) {
    if (entry.name.find_first_of("\\/:") != std::string::npos || entry.name == "." ||
        entry.name == "..") {
      continue;
    }
    // A copy keeps the read-only attribute of its log, and goes all the same.
    files.DeleteVerified(
        staging.PathOf(entry.name),
        [&entry](InputFile& file) {
          std::uint64_t size = 0;
          std::uint32_t crc = 0;
          return !FileDigest(file, &size, &crc) && size == entry.size && crc == entry.crc;
        },
        true);
  }
  std::vector<std::string> kept;
  if (files.RemoveDir(staging.path()) && files.ListFolder(staging.path(), &kept)) {
    kept = {"(its contents cannot be listed)"};
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}

}  // namespace

std::string PackCommandLine(const std::string& packer, const std::string& archive_path,
                            const std::string& pattern) {
  std::string line;
  for (const std::string& word : {packer, std::string("-j"), archive_path, pattern}) {
    if (!line.empty()) line += ' ';
    // A folder with a blank would split the word in two; quoting keeps it
    // whole, and words without blanks stay exactly as they are.
    line += word.find(' ') == std::string::npos ? word : "\"" + word + "\"";
  }
  return line;
}

PackOutcome PackLogs(const Platform& platform, const DirVariables& variables,
                     const Staging& staging, Journal& journal, const std::string& target_path,
                     const std::string& archive_name, long long timeout_s,
                     const RotationWarning& warn) {
  Files& files = *platform.files;
  platform.window->SetLabel("Zipping Logs");
  PackOutcome outcome;
  outcome.archive_path = files.Join(target_path, archive_name);
  const std::string packing = files.Join(target_path, kPackingName);
  std::string packer;
  if (Error error = ExpandVariables(variables, "$MorvaToolsDir$\\Quillet\\Zip.exe", &packer)) {
    outcome.failure = error;
    return outcome;
  }
  outcome.packer = files.Native(packer);
  const LaunchOutcome run =
      RunAndWait(*platform.processes, *platform.window,
                 PackCommandLine(outcome.packer, packing, staging.PathOf("*.*")), timeout_s);
  platform.window->YieldToUi();
  FileInfo info;
  if (!run.started) {
    outcome.failure =
        files.Stat(outcome.packer, &info)
            ? Error{std::make_error_code(std::errc::no_such_file_or_directory),
                    "the packer " + outcome.packer + " is missing"}
            : Error{Errc::kNotStarted, "the packer " + outcome.packer + " could not be started"};
  } else if (run.timed_out) {
    // Our packer writes under the archive's name with ".tmp" added until it
    // is done; a packer ended at the time limit leaves that file behind.
    files.DeleteFile(packing + ".tmp");
    outcome.failure = Error{std::make_error_code(std::errc::timed_out),
                            "the packer " + outcome.packer + " was ended at the time limit"};
  } else if (!run.exit_code_known || run.exit_code != 0) {
    outcome.failure = Error{Errc::kFailedProgram,
                            "the packer " + outcome.packer + " ended with exit code " +
                                (run.exit_code_known ? std::to_string(run.exit_code) : "unknown")};
  } else {
    outcome.failure = Prove(files, staging, packing, &outcome);
    if (!outcome.failure) {
      outcome.failure =
          Settle(platform, target_path, packing, outcome.archive_path, warn, &outcome.named);
    }
  }
  outcome.archived = !outcome.failure;
  if (!outcome.archived) {
    // No archive moved; what the packer made is no archive of any slot.
    files.DeleteFile(packing);
    outcome.entries.clear();
    return outcome;
  }
  outcome.kept = ClearStaging(files, staging, outcome.entries);
  if (!outcome.kept.empty()) {
    journal.Open();
    for (const std::string& name : outcome.kept) {
      journal.Write("Kept:" + staging.PathOf(name) + " (the archive does not hold it)");
    }
    journal.Close();
  }
  return outcome;
}

}  // namespace quillet
