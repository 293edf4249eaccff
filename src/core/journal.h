// The copy journal "test.log" beside the program.
#ifndef QUILLET_CORE_JOURNAL_H_
#define QUILLET_CORE_JOURNAL_H_

#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"

namespace quillet {

// The journal is appended to on every run and never emptied. It is opened
// and closed by each step that writes to it; it keeps this run's lines, so
// that they can travel in the archive as well.
class Journal {
 public:
  Journal(Files& files, const std::string& path) : files_(files), path_(path) {}

  const std::string& path() const { return path_; }
  std::error_code Open() { return files_.OpenText(path_, OpenMode::kAppend, &file_); }
  void Close() { file_.reset(); }
  // Lines are best effort: a journal that stops taking lines must not stop
  // the step that writes them.
  void Write(const std::string& line) {
    lines_.push_back(line);
    if (file_ != nullptr) file_->AppendLine(line);
  }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  Files& files_;
  std::string path_;
  std::unique_ptr<TextFile> file_;
  std::vector<std::string> lines_;
};

}  // namespace quillet

#endif  // QUILLET_CORE_JOURNAL_H_
