// Parses the input as a settings file and reads every key of every section,
// as a run and the settings check do.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini_text.h"

// Everything a reader can see of a settings file, in one text.
static std::string Dump(const quillet::IniText& ini) {
  std::string dump;
  for (const std::string& section : ini.Sections()) {
    dump += "[" + section + "]\n";
    for (const std::string& key : ini.Keys(section)) {
      const std::string value = ini.Read(section, key);
      if (value.size() > quillet::kMaxIniValue) std::abort();
      dump += key + "=" + value + "\n";
    }
  }
  return dump;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string dump = Dump(quillet::IniText(bytes));
  // A UTF-8 byte-order mark in front changes nothing.
  const std::string bom = "\xEF\xBB\xBF";
  if (bytes.compare(0, 3, bom) != 0 && Dump(quillet::IniText(bom + bytes)) != dump) std::abort();
  return 0;
}
