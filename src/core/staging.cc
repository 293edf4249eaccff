#include "core/staging.h"

#include "platform/text.h"

namespace quillet {

Staging::Staging(Files& files, const std::string& target_path)
    : files_(files), path_(files.Join(target_path, "Log")) {}

std::error_code Staging::Ensure() {
  std::string found;
  // A failed test counts as "missing": the creation is attempted, and an
  // existing folder only makes it fail harmlessly.
  if (!files_.DirFirst(path_, true, &found) && !found.empty()) return {};
  const std::error_code error = files_.MakeDir(path_);
  return error == std::errc::file_exists ? std::error_code() : error;
}

void Staging::NoteLeftovers() {
  std::string name;
  for (files_.DirFirst(PathOf("*.*"), false, &name); !name.empty(); files_.DirNext(&name)) {
    leftovers_[Upper(name)] = name;
  }
}

std::string Staging::Claim(const std::string& name) {
  std::string chosen = name;
  if (taken_.count(Upper(name)) != 0) {
    const std::size_t dot = name.rfind('.');
    const bool has_extension = dot != std::string::npos && dot > 0;
    const std::string base = has_extension ? name.substr(0, dot) : name;
    const std::string extension = has_extension ? name.substr(dot) : "";
    for (int copy = 2;; ++copy) {
      chosen = base + " (" + std::to_string(copy) + ")" + extension;
      const std::string key = Upper(chosen);
      if (taken_.count(key) == 0 && leftovers_.count(key) == 0) break;
    }
  }
  taken_.insert(Upper(chosen));
  leftovers_.erase(Upper(chosen));
  return chosen;
}

std::vector<std::string> Staging::Leftovers() const {
  std::vector<std::string> names;
  for (const auto& entry : leftovers_) names.push_back(entry.second);
  return names;
}

void Staging::Written(const std::string& name) {
  FileInfo info;
  if (!files_.Stat(PathOf(name), &info)) own_.insert(info.id);
}

}  // namespace quillet
