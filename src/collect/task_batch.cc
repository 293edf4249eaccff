#include "collect/task_batch.h"

#include <memory>

namespace quillet {

RunError WriteTaskBatch(const Platform& platform, const DirVariables& variables,
                        const std::string& os_tag) {
  platform.window->SetLabel("Taskmanager");
  const ExpandResult path = ExpandVariables(variables, "$VisuDir$\\Task.bat");
  if (path.error) return RunError{path.error, path.what};
  const std::string batch_path = platform.files->Native(path.text);
  std::unique_ptr<TextFile> batch;
  std::error_code error = platform.files->OpenText(batch_path, OpenMode::kOutput, &batch);
  if (!error) {
    const ExpandResult line = ExpandVariables(
        variables, "$MorvaToolsDir$\\Quillet\\PStat" + os_tag + ".exe > $VisuDir$\\Task.log");
    if (line.error) return RunError{line.error, line.what};
    error = batch->AppendLine(platform.files->Native(line.text));
  }
  if (error)
    return RunError{error, "Cannot write the batch file " + batch_path + ": " + error.message()};
  return {};
}

}  // namespace quillet
