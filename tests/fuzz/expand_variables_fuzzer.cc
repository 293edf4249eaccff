// Expands the placeholders of a settings value. The input is the text, then,
// after each NUL byte, the value of the next built-in directory variable,
// so that values that lead back to their own placeholders are reachable.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "config/dir_variables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  std::string text;
  std::getline(input, text, '\0');
  quillet::DirVariables variables;
  quillet::FillDirVariables(&variables);
  for (int i = 1; i <= quillet::kBuiltInDirVariables && input; ++i)
    std::getline(input, variables.Entry(i).value, '\0');
  std::string expanded;
  const quillet::Error error = quillet::ExpandVariables(variables, text, &expanded);
  // A failure leaves the text as it was and says which variable is at fault.
  if (error && (expanded != text || error.what.empty())) std::abort();
  if (!error && text.find('$') == std::string::npos && expanded != text) std::abort();
  quillet::UnknownPlaceholders(variables, expanded);
  return 0;
}
