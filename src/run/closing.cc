#include "run/closing.h"

#include "platform/rounding.h"

namespace quillet {
namespace {

// The closing placement converts the window's size from twips at exactly 15
// twips per pixel, whatever the display's real density.
constexpr double kTwipsPerPixel = 15.0;

// Brings the hidden status window back as the run's last word on the screen.
void PlaceStatusWindow(StatusWindow& window, Clock& clock, bool archived) {
  window.BringToFront();
  window.Hide();
  // "OK" only ever stands for an archive that was made and checked.
  window.SetLabel(archived ? "OK" : "No archive was made");
  window.YieldToUi();
  clock.Sleep(100);
  int width_twips = 0, height_twips = 0;
  window.OuterSizeTwips(&width_twips, &height_twips);
  window.PlaceTopmost(0, 0, static_cast<int>(RoundHalfEven(width_twips / kTwipsPerPixel)),
                      static_cast<int>(RoundHalfEven(height_twips / kTwipsPerPixel)));
}

}  // namespace

int EndWith(RunContext& context, const std::string& what, int code) {
  context.platform.window->ReportError(what, context.interactive);
  return code;
}

int CloseRun(RunContext& context, const PackOutcome& packed, const Staging& staging) {
  StatusWindow& window = *context.platform.window;
  PlaceStatusWindow(window, *context.platform.clock, packed.archived);
  const std::size_t leftovers = staging.Leftovers().size();
  const std::string earlier =
      leftovers == 0
          ? ""
          : " " + std::to_string(leftovers) + (leftovers == 1 ? " file was" : " files were") +
                " left in " + staging.path() +
                " by an earlier run that made no archive; they are packed too.";
  if (!packed.archived) {
    return EndWith(context,
                   (packed.named ? "The archive " + packed.archive_path + " was made, but "
                                 : std::string("No archive was made: ")) +
                       packed.failure.what + ". The collected files are in " + staging.path() +
                       ", and nothing was deleted." + earlier,
                   kExitNoArchive);
  }
  std::string more = earlier;
  if (!packed.kept.empty()) {
    more += " The archive does not hold what stays in " + staging.path() + ":";
    for (std::size_t i = 0; i < packed.kept.size(); ++i) {
      more += (i == 0 ? " " : ", ") + packed.kept[i];
    }
    more += ".";
  }
  if (context.interactive) {
    window.MessageBox("File saved in " + packed.archive_path + (more.empty() ? "" : "." + more));
  } else if (!more.empty()) {
    window.ReportError(more.substr(1), false);
  }
  return kExitOk;
}

}  // namespace quillet
