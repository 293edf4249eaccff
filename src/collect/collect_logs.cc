#include "collect/collect_logs.h"

#include <memory>

#include "core/patterns.h"
#include "platform/errors.h"
#include "platform/wildcard.h"
#include "zip/zip_reader.h"

namespace quillet {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// False when copying `size` bytes would leave less than the reserve on the
// staging folder's drive once the archive is made too. The archive lands on
// that drive beside the staged files while the oldest archive still takes
// its room (it goes only once the new one is proven), and it may take as much
// room as the files it packs: so this copy counts twice, and what is staged
// already once more. Without a reserve nothing is checked; free space that
// cannot be read lets the copy try.
bool LeavesReserve(Files& files, const Staging& staging, std::uint64_t size,
                   std::uint64_t staged_bytes, long long min_free_mb) {
  if (min_free_mb <= 0) return true;
  std::uint64_t free = 0;
  if (files.FreeSpace(staging.path(), &free)) return true;
  return free >= 2 * size + staged_bytes + static_cast<std::uint64_t>(min_free_mb) * kMiB;
}

// Copies one log to `destination`. A log that its program holds open for
// writing is copied again through a reading handle that shares it. A file
// already there is never written over: the staging folder has moved an
// earlier run's file of that name aside, so one still there is a file that
// only a case-sensitive file system tells from another of the same name.
std::error_code CopyLog(Files& files, const std::string& source, const std::string& destination) {
  std::error_code error = files.CopyFile(source, destination, false);
  if (IsInUse(error)) error = files.CopyOpenFile(source, destination);
  return error;
}

// The record of a copy: what the staged file holds now.
std::error_code Describe(Files& files, const std::string& path, StagedFile* staged) {
  std::unique_ptr<InputFile> file;
  if (std::error_code error = files.OpenRead(path, &file)) return error;
  return FileDigest(*file, &staged->size, &staged->crc);
}

class Collector {
 public:
  Collector(const Platform& platform, Staging& staging, Journal& journal, long long min_free_mb,
            CollectOutcome* outcome)
      : files_(*platform.files),
        staging_(staging),
        journal_(journal),
        min_free_mb_(min_free_mb),
        outcome_(outcome) {}

  // Copies one match; on failure writes its "Fehler:" line.
  void Copy(const std::string& source, const std::string& name, PatternRecord* record) {
    FileInfo info;
    std::error_code error = files_.Stat(source, &info);
    const bool known = !error;
    // A file that two entries name is staged once.
    if (known && outcome_->collected.count(info.id) != 0) return;
    if (!error && staging_.IsOwn(info.id)) {
      error = make_error_code(Errc::kSameFile);  // A copy that this run made itself.
    } else if (!error &&
               !LeavesReserve(files_, staging_, info.size, outcome_->staged_bytes, min_free_mb_)) {
      error = std::make_error_code(std::errc::no_space_on_device);
    }
    StagedFile staged;
    if (!error) {
      staged.source = source;
      staged.name = staging_.Claim(name);
      staged.modified = info.modified;
      if (staged.name != name) staged.renamed = "a file named " + name + " was collected before";
      const std::string destination = staging_.PathOf(staged.name);
      error = CopyLog(files_, source, destination);
      if (!error) error = Describe(files_, destination, &staged);
    }
    if (error) {
      journal_.Write("Fehler:" + name);
      record->failures.push_back({source, error.message()});
      if (known) outcome_->failed.insert(info.id);
      return;
    }
    staging_.Written(staged.name);
    outcome_->collected[info.id] = staged.name;
    outcome_->staged.push_back(staged);
    outcome_->staged_bytes += staged.size;
  }

  Files& files_;
  Staging& staging_;
  Journal& journal_;
  long long min_free_mb_;
  CollectOutcome* outcome_;
};

}  // namespace

Error CollectLogFiles(const Platform& platform, const ListSection& list,
                      const DirVariables& variables, Staging& staging, Journal& journal,
                      long long min_free_mb, CollectOutcome* outcome) {
  Files& files = *platform.files;
  platform.window->SetLabel("Copying Logs " + list.section);
  if (std::error_code error = staging.Ensure()) {
    return Error{error,
                 "Cannot create the staging folder " + staging.path() + ": " + error.message()};
  }
  std::string value = list.Entry(1);
  if (std::error_code error = journal.Open()) {
    return Error{error, "Cannot open the copy journal " + journal.path() + ": " + error.message()};
  }
  Collector collector(platform, staging, journal, min_free_mb, outcome);
  for (int n = 1; !value.empty(); value = list.Entry(++n)) {
    std::string expanded;
    const Error expand_error = ExpandVariables(variables, value, &expanded);
    const std::string pattern = files.Native(expanded);
    PatternRecord& record = outcome->patterns.emplace_back();
    record.section = list.section;
    record.value = value;
    record.pattern = expand_error ? expand_error.what : pattern;
    // The matches are listed before copying, so that copies made into a
    // folder the pattern names are not matched in turn.
    std::vector<std::string> names, passed_over;
    std::error_code error = expand_error.code;
    if (!error) error = ListMatches(files, pattern, &names, &passed_over);
    if (error) {  // A failed listing gives no names.
      journal.Write("Fehler:");
      record.failures.push_back({"", expand_error ? expand_error.what : error.message()});
    } else if (names.empty() && passed_over.empty() && !PatternFolderExists(files, pattern)) {
      record.failures.push_back({pattern, "folder not found"});
    }
    journal.Write(names.empty() ? "" : names.front());
    for (const std::string& path : passed_over) journal.Write(PassedOverLine(path));
    for (const std::string& match : names) {
      ++record.matches;
      collector.Copy(PathOfMatch(pattern, match, files.Separator()), match, &record);
    }
  }
  journal.Close();
  return {};
}

}  // namespace quillet
