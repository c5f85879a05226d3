#include "fields/radio_box_f.h"

#include "fields/dialog_support.h"

namespace corabind {

RadioBoxF::RadioBoxF(Library& library)
    : CheckedFieldDialog(library, u"RadioBoxF", u"Radio Box Setting", u"<input type=\"radio\" ",
                         kDotum975) {
  Add<Label>(Design(u"Label1", {4, 20, 60, 27}, u"Name : ", kDotum975));
  Add<TextBox>(Design(u"Text1", {68, 16, 281, 25}, u"", kGulim975, 5));
  Add<Label>(Design(u"Label2", {4, 56, 60, 27}, u"Value : ", kDotum975));
  Add<TextBox>(Design(u"Text2", {68, 52, 281, 25}, u"", kGulim975, 4));
  Add<Frame>(Design(u"Frame1", {64, 88, 145, 73}, u"Visible", kDotum975));
  Add<OptionButton>(Design(u"Option1", {24, 24, 73, 17}, u"Selected", kDotum975, 2, u"Frame1"),
                    false);
  Add<OptionButton>(Design(u"Option2", {24, 40, 97, 25}, u"Not selected", kDotum975, 3, u"Frame1"),
                    true);
  Add<CommandButton>(Design(u"Command1", {268, 92, 80, 27}, u"OK", kDotum975, 1));
  Add<CommandButton>(Design(u"Command2", {268, 132, 80, 27}, u"Cancel", kDotum975, 0));
  BindButtons();
  set_initial_focus(u"Command2");
}

}  // namespace corabind
