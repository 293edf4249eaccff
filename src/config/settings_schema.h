// The layout of the settings file: its sections, the tags that select the
// lists of a PC, and the keys of section Project. Every part of the program
// that reads, checks, reports or explains the settings takes the names from
// here, so that a name is written once.
#ifndef QUILLET_CONFIG_SETTINGS_SCHEMA_H_
#define QUILLET_CONFIG_SETTINGS_SCHEMA_H_

#include <string>
#include <vector>

namespace quillet {

// The section of the program's own keys.
inline constexpr char kProjectSection[] = "Project";

// The Windows generation tag: "NT" for Windows NT 4.0, "XP" for every other
// version.
inline constexpr char kOsTagNt[] = "NT";
inline constexpr char kOsTagXp[] = "XP";
// The HMI edition tag: "VWS" for a project made with the studio edition.
inline constexpr char kHmiTagVw[] = "VW";
inline constexpr char kHmiTagVws[] = "VWS";

// Where the HMI says which edition made its project: a flag in its project
// file, below the HMI's folder.
struct HmiEditionFlag {
  const char* file;  // Relative to the HMI's folder.
  const char* section;
  const char* key;
};
inline constexpr HmiEditionFlag kHmiEditionFlag = {"Parameter\\Program.ini", "Project", "VWStudio"};

enum class TagKind { kOs, kHmi };

// The values a tag of `kind` can take, in the order the settings check
// offers them as hints.
std::vector<std::string> TagValues(TagKind kind);

// What a numbered list holds.
enum class ListKind { kStartPrograms, kLogFiles, kDeleteFiles };

// A numbered list section: its name is the word followed by the value of
// the tag it is read with ("LogFilesVWS").
struct ListSchema {
  ListKind kind;
  const char* word;
  TagKind tag;
};

// The list sections, in the order a run reads them: the start list, the
// log lists of the Windows generation and of the HMI edition, the deletion
// list.
inline constexpr ListSchema kListSections[] = {
    {ListKind::kStartPrograms, "StartExeFiles", TagKind::kOs},
    {ListKind::kLogFiles, "LogFiles", TagKind::kOs},
    {ListKind::kLogFiles, "LogFiles", TagKind::kHmi},
    {ListKind::kDeleteFiles, "DeleteFiles", TagKind::kOs},
};

// The name of `list`'s section on a PC with these tags.
std::string ListSectionName(const ListSchema& list, const std::string& os_tag,
                            const std::string& hmi_tag);

// Every section name that some PC reads: Project, then each list with each
// value of its tag.
std::vector<std::string> KnownSections();

// True when `section` starts with the word of a list (without regard to
// case), whatever tag follows.
bool IsListSection(const std::string& section);

enum class KeyType {
  kPath,   // Expanded for directory variables.
  kCount,  // A whole number of at least 0; anything else counts as 0.
  kFlag,   // On exactly for "true" in any case.
};

// A key of section Project.
struct ProjectKey {
  const char* name;
  KeyType type;
  const char* off;  // What the default (empty, 0 or false) means.
  // What a value that is not the default means: for a count, the unit
  // written after the number.
  const char* on;
};

inline constexpr ProjectKey kTargetPathKey = {"TargetPath", KeyType::kPath,
                                              "nothing would be collected", ""};
inline constexpr ProjectKey kProgramTimeoutKey = {
    "ProgramTimeout", KeyType::kCount, "no time limit", " seconds for each program and the packer"};
inline constexpr ProjectKey kMinFreeMbKey = {"MinFreeMB", KeyType::kCount, "no free space is kept",
                                             " MiB kept free on the staging folder's drive"};
inline constexpr ProjectKey kReportKey = {"Report", KeyType::kFlag, "no report in the archive",
                                          "the archive holds a report of the run"};

// The keys of section Project, required one first.
inline constexpr const ProjectKey* kProjectKeys[] = {&kTargetPathKey, &kProgramTimeoutKey,
                                                     &kMinFreeMbKey, &kReportKey};

}  // namespace quillet

#endif  // QUILLET_CONFIG_SETTINGS_SCHEMA_H_
