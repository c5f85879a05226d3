#include "fields/list_box_sub.h"

#include "fields/dialog_support.h"

namespace corabind {

ListBoxSub::ListBoxSub(Library& library)
    : Form(u"ListBoxSub", u"ListBox Item Setting", {365, 129}), library_(library) {
  Add<Label>(Design(u"Label1", {4, 20, 60, 27}, u"Text : ", kDotum975));
  Add<TextBox>(Design(u"Text1", {64, 16, 283, 25}, u"", kDotum975, 0));
  Add<Label>(Design(u"Label2", {4, 56, 60, 27}, u"Value : ", kDotum975));
  Add<TextBox>(Design(u"Text2", {64, 52, 283, 25}, u"", kDotum975, 1));
  Add<CheckBox>(Design(u"Check1", {64, 88, 89, 25}, u"Selected", kDotum9, 4), 0);
  Add<CommandButton>(Design(u"Command1", {184, 88, 80, 27}, u"OK", kDotum975, 2)).on_click =
      [this] { Ok(); };
  Add<CommandButton>(Design(u"Command2", {272, 88, 80, 27}, u"Cancel", kDotum975, 3)).on_click =
      [this] { Cancel(); };
  set_initial_focus(u"Text1");
}

void ListBoxSub::Load() {
  const SharedState& s = library_.state();
  if (s.IsItemModify == kFalse) return;
  Get<TextBox>(u"Text1").SetText(s.ItemText);
  Get<TextBox>(u"Text2").SetText(s.ItemValue);
  Get<CheckBox>(u"Check1").SetValue(s.ItemSelected == 1 ? 1 : 0);
}

void ListBoxSub::Ok() {
  SharedState& s = library_.state();
  s.ItemText = Get<TextBox>(u"Text1").text();
  s.ItemValue = Get<TextBox>(u"Text2").text();
  s.ItemSelected = static_cast<std::int16_t>(Get<CheckBox>(u"Check1").value());
  s.ItemAccepted = kTrue;
  Unload();
}

void ListBoxSub::Cancel() {
  library_.state().ItemAccepted = kFalse;
  Dismiss();
}

}  // namespace corabind
