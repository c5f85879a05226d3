#include "localfile/base_folder.h"
#include "localfile/localfile.h"

namespace corabind {

namespace {

constexpr char16_t kHtmlFilter[] = u"HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";

}  // namespace

Variant localfile::SaveToLocal(ControlData& control, const std::u16string& Source,
                               const std::u16string& filename, VariantBool saveas) {
  // The page's name and flag have never chosen anything: the user always
  // picks the file.
  static_cast<void>(filename);
  static_cast<void>(saveas);

  FileDialog& dialog = control.file_dialog();
  dialog.file_name.clear();
  dialog.title = u"Save As";
  dialog.filter = kHtmlFilter;
  dialog.flags = FileDialog::kOverwritePrompt;
  control.library().desktop().ShowSave(dialog);
  if (dialog.file_name.empty()) return {};

  // The file layer replaces the file whole or not at all, so a failed write
  // reaches the page as this method's error with the old file intact.
  control.library().files().WriteTextFile(dialog.file_name, Source);
  return {};
}

std::u16string localfile::GetLocalHTMLFile(ControlData& control) {
  try {
    // The name is kept from this control's previous save or open, so a
    // cancelled dialog reads that file again.
    FileDialog& dialog = control.file_dialog();
    dialog.title = u"Open file";
    dialog.filter = kHtmlFilter;
    dialog.flags = 0;
    control.library().desktop().ShowOpen(dialog);
    const std::u16string name = dialog.file_name;
    if (name.empty()) return {};

    FileSystem& files = control.library().files();
    if (files.Dir(name).empty()) {
      // Spelled as users have always seen it; deliberate, and callers match it.
      control.library().desktop().MessageBox(u"File doesnot exit.");
      return {};
    }

    std::u16string text;
    {
      const auto reader = files.OpenTextFile(name);
      while (!reader->AtEnd()) {
        text += reader->ReadLine();
        text += u"\r\n";
      }
    }
    control.set_baseURL(FolderWithTrailingBackslash(name));
    return text;
  } catch (...) {
    // Whatever went wrong, the page gets no text and no message.
    return {};
  }
}

}  // namespace corabind
