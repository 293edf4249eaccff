#include "platform/errors.h"

namespace quillet {
namespace {

class Category : public std::error_category {
 public:
  const char* name() const noexcept override { return "quillet"; }
  std::string message(int code) const override {
    switch (static_cast<Errc>(code)) {
      case Errc::kBounds:
        return "index out of range";
      case Errc::kPlaceholderCycle:
        return "placeholder refers to itself";
      case Errc::kTextTooLong:
        return "text longer than 32767 characters";
      case Errc::kSameFile:
        return "source and destination are the same file";
      case Errc::kChanged:
        return "the file changed after it was collected";
      case Errc::kDamagedArchive:
        return "the file is no readable zip archive";
      case Errc::kNotArchived:
        return "the archive does not hold every collected file";
      case Errc::kNotStarted:
        return "the program could not be started";
      case Errc::kFailedProgram:
        return "the program ended with an error";
    }
    return "unknown error";
  }
};

}  // namespace

const std::error_category& QuilletCategory() {
  static const Category category;
  return category;
}

}  // namespace quillet
