#include "control/orvane_control.h"
#include "localfile/base_folder.h"

namespace corabind {

namespace {

constexpr char16_t kHtmlFilter[] = u"HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";

}  // namespace

Variant OrvaneControl::SaveToLocal(const std::u16string& Source, const std::u16string& filename,
                                   VariantBool saveas) {
  // The page's name and flag have never chosen anything: the user always
  // picks the file.
  static_cast<void>(filename);
  static_cast<void>(saveas);

  FileDialog& dialog = file_dialog();
  dialog.file_name.clear();
  dialog.title = u"Save As";
  dialog.filter = kHtmlFilter;
  dialog.flags = FileDialog::kOverwritePrompt;
  library().desktop().ShowSave(dialog);
  if (dialog.file_name.empty()) return {};

  // The file layer replaces the file whole or not at all, so a failed write
  // reaches the page as this method's error with the old file intact.
  library().files().WriteTextFile(dialog.file_name, Source);
  return {};
}

std::u16string OrvaneControl::GetLocalHTMLFile() {
  try {
    // The name is kept from this control's previous save or open, so a
    // cancelled dialog reads that file again.
    FileDialog& dialog = file_dialog();
    dialog.title = u"Open file";
    dialog.filter = kHtmlFilter;
    dialog.flags = 0;
    library().desktop().ShowOpen(dialog);
    const std::u16string name = dialog.file_name;
    if (name.empty()) return {};

    FileSystem& files = library().files();
    if (files.Dir(name).empty()) {
      library().desktop().MessageBox(u"File doesnot exit.");
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
    set_baseURL(FolderWithTrailingBackslash(name));
    return text;
  } catch (...) {
    // Whatever went wrong, the page gets no text and no message.
    return {};
  }
}

}  // namespace corabind
