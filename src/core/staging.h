// The staging folder, TargetPath\Log, where a run gathers what it packs.
#ifndef QUILLET_CORE_STAGING_H_
#define QUILLET_CORE_STAGING_H_

#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"

namespace quillet {

// The staging folder and the names that this run has put into it. Files that
// an earlier run left there (a run that made no archive, so nothing was
// deleted) stay and are packed; one whose name a file of this run needs moves
// aside to a free name, so that its content is never written over. Names
// compare without regard to case, as they would in the archive on Windows.
class Staging {
 public:
  Staging(Files& files, const std::string& target_path);

  const std::string& path() const { return path_; }
  std::string PathOf(const std::string& name) const { return files_.Join(path_, name); }

  // Creates the folder when it is missing.
  std::error_code Ensure();
  // Notes the files the folder holds before this run puts anything into it.
  void NoteLeftovers();
  // The name under which a file called `name` is staged: its own, unless
  // this run has staged a file of that name already; then the next free name
  // (see FreeName). An earlier run's file of the chosen name is moved aside
  // to a free name first; if it cannot be moved, the file of this run gets
  // the next free name instead.
  std::string Claim(const std::string& name);
  // Notes that this run has written the file `name` into the folder.
  void Written(const std::string& name);
  // True for a file that this run has written into the folder, whatever
  // path it is reached by.
  bool IsOwn(const FileId& id) const { return own_.count(id) != 0; }
  // The files of an earlier run still in the folder, under their names.
  std::vector<std::string> Leftovers() const;

 private:
  Files& files_;
  std::string path_;
  // The first name in the form Windows Explorer gives copies ("app (2).log",
  // "app (3).log") that neither this run nor an earlier one uses.
  std::string FreeName(const std::string& name) const;

  std::set<std::string> taken_;                   // Upper case.
  std::map<std::string, std::string> leftovers_;  // Upper case to name.
  std::set<FileId> own_;
};

}  // namespace quillet

#endif  // QUILLET_CORE_STAGING_H_
