#include "core/staging.h"

#include "platform/text.h"

namespace quillet {

Staging::Staging(Files& files, const std::string& target_path)
    : files_(files), path_(files.Join(target_path, "Log")) {}

std::error_code Staging::Ensure() {
  std::vector<std::string> found;
  // A failed test counts as "missing": the creation is attempted, and an
  // existing folder only makes it fail harmlessly.
  if (!files_.List(path_, true, &found) && !found.empty()) return {};
  const std::error_code error = files_.MakeDir(path_);
  return error == std::errc::file_exists ? std::error_code() : error;
}

void Staging::NoteLeftovers() {
  std::vector<std::string> names;
  files_.List(PathOf("*.*"), false, &names);
  for (const std::string& name : names) leftovers_[Upper(name)] = name;
}

std::string Staging::FreeName(const std::string& name) const {
  const std::size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string::npos && dot > 0;
  const std::string base = has_extension ? name.substr(0, dot) : name;
  const std::string extension = has_extension ? name.substr(dot) : "";
  for (int copy = 2;; ++copy) {
    const std::string candidate = base + " (" + std::to_string(copy) + ")" + extension;
    const std::string key = Upper(candidate);
    if (taken_.count(key) == 0 && leftovers_.count(key) == 0) return candidate;
  }
}

std::string Staging::Claim(const std::string& name) {
  std::string chosen = taken_.count(Upper(name)) != 0 ? FreeName(name) : name;
  const auto leftover = leftovers_.find(Upper(chosen));
  if (leftover != leftovers_.end()) {
    // The earlier run's file may be the only copy of what it holds, so it is
    // never written over: it moves aside to a free name, and when it cannot
    // move, this run's file takes a free name instead.
    const std::string aside = FreeName(leftover->second);
    if (files_.RenamePath(PathOf(leftover->second), PathOf(aside))) {
      chosen = FreeName(name);
    } else {
      leftovers_.erase(leftover);
      leftovers_[Upper(aside)] = aside;
    }
  }
  taken_.insert(Upper(chosen));
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
