// The text of an INI file, read by the rules of the Windows profile functions.
#ifndef QUILLET_PLATFORM_INI_TEXT_H_
#define QUILLET_PLATFORM_INI_TEXT_H_

#include <string>
#include <vector>

namespace quillet {

// The longest value that a read returns; longer values are cut.
inline constexpr int kMaxIniValue = 254;

// An INI file's content, parsed once. Section and key names match without
// regard to case; blanks around names and values are dropped, and so is one
// matching pair of double or single quotes around a value. Where a section
// or a key appears twice, the first counts. A UTF-8 byte-order mark at the
// start is skipped, as Windows does.
class IniText {
 public:
  explicit IniText(const std::string& bytes);

  // The value, at most kMaxIniValue characters; "" when the section or key
  // is missing or the line has no "=".
  std::string Read(const std::string& section, const std::string& key) const;
  // The names of the section headers in the order of the file, a name that
  // appears twice listed twice, as Windows lists them.
  std::vector<std::string> Sections() const;
  // The keys with a value of the first section of that name, in the order
  // of the file, a key that appears twice listed twice, as Windows lists them.
  std::vector<std::string> Keys(const std::string& section) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
    bool has_value = false;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* Find(const std::string& section) const;

  std::vector<Section> sections_;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_INI_TEXT_H_
