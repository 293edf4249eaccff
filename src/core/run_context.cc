#include "core/run_context.h"

#include "config/platform_tags.h"
#include "platform/text.h"

namespace quillet {
namespace {

// True when `path` names an existing folder. A drive ("D:") and a share
// ("\\server\share") are asked for with a trailing separator.
bool FolderExists(Files& files, const std::string& path) {
  FileInfo info;
  if (!files.Stat(path, &info)) return info.folder;
  return !path.empty() && !files.Stat(path + files.Separator(), &info) && info.folder;
}

}  // namespace

void SetProgramLocation(const std::string& program_path, RunContext* context) {
  const std::size_t cut = program_path.find_last_of("\\/");
  context->program_dir = cut == std::string::npos ? "." : program_path.substr(0, cut);
  context->program_name = BaseName(program_path);
}

Error Configure(RunContext& context) {
  Platform& platform = context.platform;
  FillDirVariables(&context.variables);
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    ResolveDirVariable(i, *platform.environment, &context.variables);
  }
  std::string visu;
  if (Error error = ExpandVariables(context.variables, "$VisuDir$", &visu)) return error;
  const PlatformTags tags =
      DetectPlatformTags(platform.environment->GetVersion(), *platform.settings,
                         platform.files->Native(visu + "\\" + kHmiEditionFlag.file));
  context.state.os_tag = tags.os_tag;
  context.state.hmi_tag = tags.hmi_tag;
  context.state.ini_path = platform.files->Join(context.program_dir, context.program_name + ".ini");
  return {};
}

RunOptions ReadRunOptions(SettingsReader& reader, const std::string& ini_path) {
  RunOptions options;
  std::string warning;
  options.program_timeout_s =
      ReadIniCount(reader, kProjectSection, kProgramTimeoutKey.name, ini_path, &warning);
  if (!warning.empty()) options.warnings.push_back(warning);
  warning.clear();
  options.min_free_mb =
      ReadIniCount(reader, kProjectSection, kMinFreeMbKey.name, ini_path, &warning);
  if (!warning.empty()) options.warnings.push_back(warning);
  options.report = ReadIniFlag(reader, kProjectSection, kReportKey.name, ini_path);
  return options;
}

std::vector<ListSection> ListSections(const RunContext& context, ListKind kind) {
  std::vector<ListSection> sections;
  for (const ListSchema& list : kListSections) {
    if (list.kind != kind) continue;
    sections.push_back({*context.platform.settings, context.state.ini_path,
                        ListSectionName(list, context.state.os_tag, context.state.hmi_tag)});
  }
  return sections;
}

std::string ReadTargetPath(const RunContext& context) {
  return ReadIniString(*context.platform.settings, kProjectSection, kTargetPathKey.name,
                       context.state.ini_path);
}

Error ExpandTargetPath(const RunContext& context, const std::string& value, std::string* target) {
  target->clear();
  const std::string key = std::string("The key ") + kTargetPathKey.name + " in section [" +
                          kProjectSection + "] of the settings file " + context.state.ini_path;
  std::string expanded;
  if (Error error = ExpandVariables(context.variables, value, &expanded)) {
    error.what = key + " cannot be expanded: " + error.what;
    return error;
  }
  // An empty folder would put the numbered folders, the archives and the
  // staging folder at the root of the drive.
  if (expanded.empty()) {
    return Error{std::make_error_code(std::errc::invalid_argument),
                 key + " expands to nothing, so it names no folder."};
  }
  *target = context.platform.files->Native(expanded);
  return {};
}

Error CheckTargetFolder(Files& files, const std::string& target) {
  FileInfo info;
  if (!files.Stat(target, &info)) {
    if (info.folder) return {};
    return Error{std::make_error_code(std::errc::not_a_directory), "it is a file, not a folder"};
  }
  const std::size_t cut = target.find_last_of("\\/");
  const std::string parent = cut == std::string::npos ? "" : target.substr(0, cut);
  if (parent.empty() || FolderExists(files, parent)) return {};
  return Error{std::make_error_code(std::errc::no_such_file_or_directory),
               "neither the folder nor its parent " + parent + " exists"};
}

}  // namespace quillet
