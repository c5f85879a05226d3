// The desktop on a real screen, as the commands see it: the Qt desktop lives
// in the module corabind-qt.so (src/platform/qt), opened only by a command
// that shows or draws windows. No Qt type crosses this interface.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/desktop.h"
#include "core/ui_step.h"
#include "modules/module_loader.h"

namespace corabind {
class PathMap;
}  // namespace corabind

namespace corabind::modules {

// Input for one showing of a form that is photographed.
struct FormSample {
  std::vector<UiStep> fill;   // before the picture
  std::vector<UiStep> close;  // after it; none closes from the frame
};

// A desktop that photographs forms instead of waiting for a user.
class PictureDesktop : public Desktop {
 public:
  // The pictures written so far, in order.
  virtual const std::vector<std::filesystem::path>& written() const = 0;
};

class Screen {
 public:
  static constexpr ModuleName kModule = {"corabind-qt.so", "CORABIND_QT_MODULE",
                                         "corabind_screen_module", 1};

  virtual ~Screen() = default;  // ends the session Start() began

  // Why no dialog shown here would reach a user; nullopt when one would.
  // Asked before Start(): the toolkit aborts on a display it cannot open.
  virtual std::optional<std::string> WhyNoDisplay() const = 0;
  // Starts the toolkit for this process, on the thread that will show every
  // window. Before any desktop is made; once.
  virtual void Start() = 0;
  // Dialogs on the screen; file dialogs translate paths through `paths`,
  // which must outlive the desktop.
  virtual std::shared_ptr<Desktop> NewDesktop(const PathMap& paths) = 0;
  // Draws each form, filled from its samples, as <form name>.png in
  // `folder` (which must exist) on its first showing. The n-th showing of a
  // form takes its n-th sample, later ones the last. File dialogs are
  // cancelled and message boxes dismissed.
  virtual std::shared_ptr<PictureDesktop> NewPictureDesktop(
      std::filesystem::path folder, std::map<std::u16string, std::vector<FormSample>> samples) = 0;
  // From any thread: closes (cancels) every window open now and any opened
  // later, so that a running call returns.
  virtual void CloseEveryWindowFromNowOn() = 0;
};

}  // namespace corabind::modules
