#include "platform/ini_text.h"

#include <cctype>

#include "platform/text.h"

namespace quillet {
namespace {

// The Windows reader treats the end-of-file character like a blank.
bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\x1a'; }

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

IniText::IniText(const std::string& bytes) {
  static const std::string kUtf8Mark = "\xEF\xBB\xBF";
  const std::size_t start = bytes.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0 ? 3 : 0;
  Section* current = nullptr;  // Lines before the first section belong to none.
  for (std::size_t at = start; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = Trim(bytes.substr(at, end - at));
    at = end + 1;
    if (!line.empty() && line[0] == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string::npos || close == 0) continue;
      sections_.push_back(Section{Trim(line.substr(1, close - 1)), {}});
      current = &sections_.back();
      continue;
    }
    if (current == nullptr || line.empty()) continue;
    const std::size_t equals = line.find('=');
    Entry entry;
    entry.key = Trim(line.substr(0, equals));
    if (equals != std::string::npos) {
      entry.value = Unquote(Trim(line.substr(equals + 1))).substr(0, kMaxIniValue);
      entry.has_value = true;
    }
    current->entries.push_back(entry);
  }
}

const IniText::Section* IniText::Find(const std::string& section) const {
  const std::string wanted = Trim(section);
  for (const Section& s : sections_) {
    if (SameNoCase(s.name, wanted)) return &s;
  }
  return nullptr;
}

std::string IniText::Read(const std::string& section, const std::string& key) const {
  const Section* s = Find(section);
  if (s == nullptr) return "";
  const std::string wanted = Trim(key);
  for (const Entry& entry : s->entries) {
    if (SameNoCase(entry.key, wanted)) return entry.value;
  }
  return "";
}

std::vector<std::string> IniText::Sections() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> IniText::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = Find(section)) {
    for (const Entry& entry : s->entries) {
      if (entry.has_value) keys.push_back(entry.key);
    }
  }
  return keys;
}

}  // namespace quillet
