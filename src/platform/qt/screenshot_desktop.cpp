#include "platform/qt/screenshot_desktop.h"

#include <QApplication>
#include <QPixmap>
#include <algorithm>

#include "core/failure.h"
#include "core/form.h"
#include "core/text.h"
#include "platform/qt/form_window.h"

namespace corabind::qt {

ScreenshotDesktop::ScreenshotDesktop(std::filesystem::path folder,
                                     std::map<std::u16string, std::vector<FormSample>> samples)
    : folder_(std::move(folder)), samples_(std::move(samples)) {}

void ScreenshotDesktop::ShowModal(Form& form) {
  const ModalShowing showing(form);
  const FormSample* sample = nullptr;
  if (const auto it = samples_.find(form.name()); it != samples_.end() && !it->second.empty())
    sample = &it->second[std::min(showings_[form.name()]++, it->second.size() - 1)];
  if (sample) {
    for (const auto& step : sample->fill) ApplyStep(form, step);
  }
  const auto file = folder_ / (ToUtf8(form.name()) + ".png");
  if (form.is_open() && std::find(written_.begin(), written_.end(), file) == written_.end()) {
    FormWindow window(form);
    QDialog& dialog = window.dialog();
    dialog.show();
    QApplication::processEvents();
    if (!dialog.grab().save(QString::fromStdString(file.string()), "PNG"))
      throw Failure(err::kDeviceIo, u"Cannot write " + FromUtf8(file.string()));
    dialog.hide();
    written_.push_back(file);
  }
  if (sample) {
    for (const auto& step : sample->close) {
      if (!form.is_open()) break;
      ApplyStep(form, step);
    }
  }
}

}  // namespace corabind::qt
