#include "collect/task_batch.h"

#include <memory>

namespace quillet {

Error WriteTaskBatch(const Platform& platform, const DirVariables& variables,
                     const std::string& os_tag) {
  platform.window->SetLabel("Taskmanager");
  std::string path;
  if (Error error = ExpandVariables(variables, "$VisuDir$\\Task.bat", &path)) return error;
  const std::string batch_path = platform.files->Native(path);
  std::unique_ptr<TextFile> batch;
  std::error_code error = platform.files->OpenText(batch_path, OpenMode::kOutput, &batch);
  if (!error) {
    std::string line;
    if (Error expand_error = ExpandVariables(
            variables, "$MorvaToolsDir$\\Quillet\\PStat" + os_tag + ".exe > $VisuDir$\\Task.log",
            &line)) {
      return expand_error;
    }
    error = batch->AppendLine(platform.files->Native(line));
  }
  if (error)
    return Error{error, "Cannot write the batch file " + batch_path + ": " + error.message()};
  return {};
}

}  // namespace quillet
