// The entry point of corabind-qt.so: the Qt desktop behind the commands'
// screen interface.
#include <memory>

#include "modules/screen.h"
#include "platform/qt/display_probe.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/screenshot_desktop.h"

namespace corabind::qt {
namespace {

class QtScreen : public modules::Screen {
 public:
  std::optional<std::string> WhyNoDisplay() const override { return qt::WhyNoDisplay(); }
  void Start() override {
    if (!session_) session_ = std::make_unique<QtSession>();
  }
  std::shared_ptr<Desktop> NewDesktop(const PathMap& paths) override {
    return std::make_shared<QtDesktop>(paths);
  }
  std::shared_ptr<modules::PictureDesktop> NewPictureDesktop(
      std::filesystem::path folder,
      std::map<std::u16string, std::vector<modules::FormSample>> samples) override {
    return std::make_shared<ScreenshotDesktop>(std::move(folder), std::move(samples));
  }
  void CloseEveryWindowFromNowOn() override {
    if (session_) QtSession::CloseEveryWindowFromNowOn();
  }

 private:
  std::unique_ptr<QtSession> session_;
};

}  // namespace
}  // namespace corabind::qt

extern "C" __attribute__((visibility("default"))) unsigned corabind_screen_module(unsigned wanted,
                                                                                  void** made) {
  return corabind::modules::Make<corabind::modules::Screen, corabind::qt::QtScreen>(wanted, made);
}
