// POSIX INI reader following the rules of the Windows profile functions.
// The file is read again on every call: the program keeps no copy of a
// settings file, so each key is taken as the file stands when it is asked for.
#include <cctype>
#include <fstream>

#include "platform/platform.h"
#include "platform/posix_path.h"
#include "platform/settings_reader.h"

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

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

class PosixSettingsReader : public SettingsReader {
 public:
  // Only the first section of a name is searched, and in it the first line
  // of the key, as the Windows reader does with duplicates.
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& file) override {
    std::ifstream in(ToPosixPath(file), std::ios::binary);
    if (!in) return "";
    const std::string wanted_section = Trim(section), wanted_key = Trim(key);
    bool seen_section = false, in_section = false;
    std::string line;
    while (std::getline(in, line)) {
      line = Trim(line);
      if (!line.empty() && line[0] == '[') {
        const std::size_t close = line.rfind(']');
        if (close == std::string::npos || close == 0) continue;
        if (in_section) return "";  // The first section of that name ended.
        in_section = !seen_section && SameName(Trim(line.substr(1, close - 1)), wanted_section);
        seen_section = seen_section || in_section;
        continue;
      }
      if (!in_section) continue;
      const std::size_t equals = line.find('=');
      const std::string name = Trim(line.substr(0, equals));
      if (!SameName(name, wanted_key)) continue;
      if (equals == std::string::npos) return "";
      return Unquote(Trim(line.substr(equals + 1))).substr(0, kMaxIniValue);
    }
    return "";
  }
};

}  // namespace

std::unique_ptr<SettingsReader> CreateSettingsReader() {
  return std::make_unique<PosixSettingsReader>();
}

}  // namespace quillet
