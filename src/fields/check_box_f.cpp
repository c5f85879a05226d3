#include "fields/check_box_f.h"

#include "fields/dialog_support.h"

namespace corabind {

CheckBoxF::CheckBoxF(Library& library)
    : CheckedFieldDialog(library, u"CheckBoxF", u"CheckBox Setting", u"<input type=\"checkbox\" ") {
  Add<Label>(Design(u"Label1", {4, 20, 60, 27}, u"Name : ", kDotum975));
  Add<TextBox>(Design(u"Text1", {68, 16, 281, 25}, u"", kGulim975, 0));
  Add<Label>(Design(u"Label2", {4, 56, 60, 27}, u"Value : ", kDotum975));
  Add<TextBox>(Design(u"Text2", {68, 52, 281, 25}, u"", kGulim975, 1));
  Add<Frame>(Design(u"Frame1", {68, 88, 133, 73}, u"Default", kDotum975));
  Add<OptionButton>(Design(u"Option1", {24, 24, 81, 17}, u"Checked", kDotum975, 4, u"Frame1"),
                    false);
  Add<OptionButton>(Design(u"Option2", {24, 40, 89, 25}, u"Unchecked", kDotum975, 5, u"Frame1"),
                    true);
  Add<CommandButton>(Design(u"Command1", {268, 96, 80, 27}, u"OK", kDotum975, 2));
  Add<CommandButton>(Design(u"Command2", {268, 132, 80, 27}, u"Cancel", kDotum975, 3));
  BindButtons();
  set_initial_focus(u"Text1");
}

}  // namespace corabind
