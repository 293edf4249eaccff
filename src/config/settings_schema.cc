#include "config/settings_schema.h"

#include "platform/text.h"

namespace quillet {

std::vector<std::string> TagValues(TagKind kind) {
  switch (kind) {
    case TagKind::kOs:
      return {kOsTagXp, kOsTagNt};
    case TagKind::kHmi:
      return {kHmiTagVw, kHmiTagVws};
  }
  return {};
}

std::string ListSectionName(const ListSchema& list, const std::string& os_tag,
                            const std::string& hmi_tag) {
  return list.word + (list.tag == TagKind::kOs ? os_tag : hmi_tag);
}

std::vector<std::string> KnownSections() {
  std::vector<std::string> sections = {kProjectSection};
  for (const ListSchema& list : kListSections) {
    for (const std::string& tag : TagValues(list.tag)) sections.push_back(list.word + tag);
  }
  return sections;
}

bool IsListSection(const std::string& section) {
  for (const ListSchema& list : kListSections) {
    if (Upper(section).rfind(Upper(list.word), 0) == 0) return true;
  }
  return false;
}

}  // namespace quillet
