// POSIX INI reader: the file's text, parsed by the rules of the Windows
// profile functions. The file is read again on every call, as Windows does.
#include <fstream>
#include <iterator>

#include "platform/ini_text.h"
#include "platform/platform.h"
#include "platform/posix_path.h"
#include "platform/settings_reader.h"

namespace quillet {
namespace {

IniText Load(const std::string& file) {
  std::ifstream in(ToPosixPath(file), std::ios::binary);
  return IniText(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

class PosixSettingsReader : public SettingsReader {
 public:
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& file) override {
    return Load(file).Read(section, key);
  }
  std::vector<std::string> Sections(const std::string& file) override {
    return Load(file).Sections();
  }
  std::vector<std::string> Keys(const std::string& section, const std::string& file) override {
    return Load(file).Keys(section);
  }
};

}  // namespace

std::unique_ptr<SettingsReader> CreateSettingsReader() {
  return std::make_unique<PosixSettingsReader>();
}

}  // namespace quillet
