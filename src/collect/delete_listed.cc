#include "collect/delete_listed.h"

#include <map>

#include "core/patterns.h"
#include "platform/errors.h"
#include "platform/wildcard.h"

namespace quillet {
namespace {

using ArchiveIndex = std::map<std::string, const ZipEntryInfo*>;

// Deletes one match; fails, saying why, when it is kept.
Error DeleteOne(Files& files, const std::string& path, const CollectOutcome& collected,
                const ArchiveIndex& archived) {
  FileInfo info;
  if (std::error_code error = files.Stat(path, &info)) return Error{error, error.message()};
  if (collected.failed.count(info.id) != 0) {
    return Error{Errc::kNotArchived, "it could not be collected"};
  }
  const auto staged = collected.collected.find(info.id);
  std::error_code error;
  if (staged == collected.collected.end()) {
    error = files.DeleteFile(path);
  } else {
    const auto found = archived.find(staged->second);
    if (found == archived.end()) return Error{Errc::kNotArchived, "the archive does not hold it"};
    const ZipEntryInfo* entry = found->second;
    error = files.DeleteVerified(
        path,
        [entry](InputFile& file) {
          std::uint64_t size = 0;
          std::uint32_t crc = 0;
          return !FileDigest(file, &size, &crc) && size == entry->size && crc == entry->crc;
        },
        false);
    if (error == Errc::kChanged) return Error{error, "it changed after it was collected"};
  }
  if (error) return Error{error, error.message()};
  return {};
}

}  // namespace

DeleteOutcome DeleteListedFiles(const Platform& platform, const ListSection& list,
                                const DirVariables& variables, const CollectOutcome& collected,
                                const std::vector<ZipEntryInfo>& archived, Journal& journal) {
  Files& files = *platform.files;
  platform.window->SetLabel("Deleting Logs");
  DeleteOutcome outcome;
  ArchiveIndex index;
  for (const ZipEntryInfo& entry : archived) index[entry.name] = &entry;
  journal.Open();  // Without the journal the reasons still reach the report.
  for (int n = 1;; ++n) {
    const std::string value = list.Entry(n);
    if (value.empty()) break;
    std::string expanded;
    const Error expand_error = ExpandVariables(variables, value, &expanded);
    const std::string pattern = files.Native(expanded);
    PatternRecord& record = outcome.patterns.emplace_back();
    record.section = list.section;
    record.value = value;
    record.pattern = expand_error ? expand_error.what : pattern;
    if (expand_error) continue;
    std::vector<std::string> names, passed_over;
    if (std::error_code error = ListMatches(files, pattern, &names, &passed_over)) {
      record.failures.push_back({"", error.message()});
      if (names.empty()) continue;
    }
    for (const std::string& path : passed_over) journal.Write(PassedOverLine(path));
    for (const std::string& name : names) {
      ++record.matches;
      const std::string path = PathOfMatch(pattern, name, files.Separator());
      if (Error kept = DeleteOne(files, path, collected, index)) {
        record.failures.push_back({path, "kept: " + kept.what});
        journal.Write("Kept:" + path + " (" + kept.what + ")");
      } else {
        ++outcome.deleted;
      }
    }
  }
  journal.Close();
  return outcome;
}

}  // namespace quillet
