// A desktop that photographs forms instead of waiting for a user: each form
// is loaded, filled with sample input through its models, drawn by the
// generic renderer and saved as <form name>.png on its first showing; then
// the sample's closing
// steps run (an OK that hands an item back to the form that opened it) and
// the form is closed from its frame. File dialogs are cancelled and message
// boxes dismissed.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/desktop.h"
#include "core/ui_step.h"
#include "modules/screen.h"

namespace corabind::qt {

using modules::FormSample;

class ScreenshotDesktop : public modules::PictureDesktop {
 public:
  // Needs a QApplication. Pictures go into `folder`, which must exist. The
  // n-th showing of a form takes its n-th sample; later ones the last.
  ScreenshotDesktop(std::filesystem::path folder,
                    std::map<std::u16string, std::vector<FormSample>> samples);

  void ShowModal(Form& form) override;
  void MessageBox(const std::u16string&) override {}
  void ShowOpen(FileDialog&) override {}
  void ShowSave(FileDialog&) override {}

  // The pictures written so far, in order. A form shown twice is drawn once.
  const std::vector<std::filesystem::path>& written() const override { return written_; }

 private:
  std::filesystem::path folder_;
  std::map<std::u16string, std::vector<FormSample>> samples_;
  std::map<std::u16string, std::size_t> showings_;
  std::vector<std::filesystem::path> written_;
};

}  // namespace corabind::qt
