// Expands the placeholders of a settings value. The input is the text, then,
// after each NUL byte, the value of the next built-in directory variable,
// so that values that lead back to their own placeholders are reachable.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/dir_variables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  quillet::DirVariables variables;
  quillet::FillDirVariables(&variables);
  std::size_t end = input.find('\0');
  const std::string text = input.substr(0, end);
  for (int i = 1; i <= quillet::kBuiltInDirVariables && end != std::string::npos; ++i) {
    const std::size_t next = input.find('\0', end + 1);
    variables.Entry(i).value = input.substr(end + 1, next - end - 1);
    end = next;
  }
  const quillet::ExpandResult result = quillet::ExpandVariables(variables, text);
  // A failure leaves the text as it was and says which variable is at fault.
  if (result.error && (result.text != text || result.what.empty())) std::abort();
  if (!result.error && text.find('$') == std::string::npos && result.text != text) std::abort();
  quillet::UnknownPlaceholders(variables, result.text);
  return 0;
}
