#include "flash/flash_dialog.h"

#include "core/library.h"
#include "flash/flash_markup.h"

namespace corabind {

namespace {

constexpr char16_t kMovieFilter[] = u"Flash Files(*.swf)|*.swf|All Files(*.*)|*.*";

WidgetDesign Design(std::u16string name, Box box, std::u16string caption = {}, int tab = -1,
                    std::u16string container = {}) {
  return WidgetDesign{std::move(name), box, std::move(caption), Font{}, tab, std::move(container)};
}

}  // namespace

Form1::Form1(Library& library)
    : Form(u"Form1", u"Flash", Size{360, 242}, Font{u"Dotum", 9.75}), library_(library) {
  Add<Label>(Design(u"Label1", {12, 15, 70, 18}, u"File Path : "));
  Add<TextBox>(Design(u"Text1", {84, 12, 186, 21}, {}, 0));
  Add<CommandButton>(Design(u"Command1", {276, 11, 72, 23}, u"Search", 1)).on_click = [this] {
    Search();
  };

  Add<Frame>(Design(u"Frame1", {12, 44, 336, 80}, u"Option"));
  Add<Label>(Design(u"Label2", {12, 23, 60, 18}, u"Quality : ", -1, u"Frame1"));
  // "Cqulity" (sic) is the control's name that scripts name; deliberate.
  Add<ComboBox>(Design(u"Cqulity", {76, 20, 120, 21}, {}, 2, u"Frame1"), u"high",
                std::vector<std::u16string>{u"high", u"low"});
  Add<CheckBox>(Design(u"Cloop", {12, 50, 100, 20}, u"Loop", 3, u"Frame1"), 1);
  Add<CheckBox>(Design(u"Cautoplay", {120, 50, 110, 20}, u"Auto Play", 4, u"Frame1"), 1);

  Add<Frame>(Design(u"Frame2", {12, 132, 336, 60}, u"Size"));
  Add<Label>(Design(u"Label3", {12, 25, 52, 18}, u"Width : ", -1, u"Frame2"));
  Add<TextBox>(Design(u"Cwidth", {66, 22, 90, 21}, {}, 5, u"Frame2"));
  Add<Label>(Design(u"Label4", {176, 25, 56, 18}, u"Height : ", -1, u"Frame2"));
  Add<TextBox>(Design(u"Cheight", {234, 22, 90, 21}, {}, 6, u"Frame2"));

  Add<CommandButton>(Design(u"Command2", {184, 204, 78, 26}, u"OK", 7)).on_click = [this] {
    Accept();
  };
  Add<CommandButton>(Design(u"Command3", {270, 204, 78, 26}, u"Cancel", 8)).on_click = [this] {
    Dismiss();
  };
  set_initial_focus(u"Text1");
}

void Form1::Load() {
  file_dialog_ = FileDialog{};
}

void Form1::Search() {
  // The name the user chose earlier in this showing stays offered.
  file_dialog_.title = u"File Open";
  file_dialog_.filter = kMovieFilter;
  file_dialog_.flags = 0;
  library_.desktop().ShowOpen(file_dialog_);
  if (!file_dialog_.file_name.empty()) Get<TextBox>(u"Text1").SetText(file_dialog_.file_name);
}

void Form1::Accept() {
  const std::u16string& path = Get<TextBox>(u"Text1").text();
  // A warning only: the markup is still built for a file that is not there
  // (yet) on this machine.
  if (path.empty() || !library_.files().FileExists(path))
    library_.desktop().MessageBox(u"Not found such file");

  std::u16string result;
  if (!path.empty()) {
    FlashMovie movie;
    movie.file = path;
    movie.quality = Get<ComboBox>(u"Cqulity").text();
    movie.width = Get<TextBox>(u"Cwidth").text();
    movie.height = Get<TextBox>(u"Cheight").text();
    // Only the checked state counts; a grayed box is not checked.
    movie.loop = Get<CheckBox>(u"Cloop").value() == 1;
    movie.play = Get<CheckBox>(u"Cautoplay").value() == 1;
    result = BuildFlashMarkup(movie);
  }
  library_.state().FlashTagResult = std::move(result);
  Unload();
}

}  // namespace corabind
