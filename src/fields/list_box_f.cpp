#include "fields/list_box_f.h"

#include "core/attribute_text.h"
#include "fields/dialog_support.h"
#include "fields/item_line.h"
#include "fields/list_box_sub.h"
#include "fields/numeric_field.h"

namespace corabind {

namespace {

// The heading over the list as the dialog gives it, word for word and blank
// for blank (it is not laid out over the item columns): four blanks,
// "Selected Item", 32 blanks, "Value".
std::u16string ColumnHeader() {
  return u"    Selected Item" + std::u16string(32, u' ') + u"Value";
}

}  // namespace

ListBoxF::ListBoxF(Library& library)
    : Form(u"ListBoxF", u"ListBox Setting", {497, 291}), library_(library) {
  Add<Label>(Design(u"Label1", {4, 20, 60, 27}, u"Name : ", kDotum975));
  Add<TextBox>(Design(u"Text1", {68, 16, 349, 25}, u"", kGulim975, 3));
  Add<Label>(Design(u"Label2", {68, 56, 345, 25}, ColumnHeader(), kGulimChe9));
  Add<ListBox>(Design(u"List1", {68, 76, 345, 124}, u"", kGulimChe9, 0));
  const struct {
    const char16_t* name;
    Box box;
    const char16_t* caption;
    int tab_index;
    void (ListBoxF::*handler)();
  } kButtons[] = {
      {u"Command1", {424, 80, 60, 23}, u"Add", 2, &ListBoxF::AddItem},
      {u"Command2", {424, 104, 60, 23}, u"Update", 1, &ListBoxF::UpdateItem},
      {u"Command3", {424, 128, 60, 23}, u"Delete", 7, &ListBoxF::DeleteItem},
      {u"Command4", {424, 152, 60, 23}, u"Up", 8, &ListBoxF::MoveUp},
      {u"Command5", {424, 176, 60, 23}, u"Down", 9, &ListBoxF::MoveDown},
      {u"Command6", {316, 252, 80, 27}, u"OK", 10, &ListBoxF::Ok},
      {u"Command7", {404, 252, 80, 27}, u"Cancel", 11, &ListBoxF::Cancel},
  };
  for (const auto& b : kButtons) {
    Add<CommandButton>(Design(b.name, b.box, b.caption, kDotum975, b.tab_index)).on_click =
        [this, handler = b.handler] { (this->*handler)(); };
  }
  Add<Label>(Design(u"Label3", {0, 216, 60, 25}, u"Height : ", kDotum975));
  Add<TextBox>(Design(u"Text2", {64, 212, 65, 25}, u"", kDotum975, 6), u"1");
  Add<Label>(Design(u"Label4", {208, 216, 89, 27}, u"Multi Selected : ", kDotum975));
  Add<OptionButton>(Design(u"Option1", {304, 212, 57, 25}, u"Yes", kDotum975, 4), false);
  Add<OptionButton>(Design(u"Option2", {364, 212, 57, 25}, u"No", kDotum975, 5), true);
  AttachNumericFieldRule(Get<TextBox>(u"Text2"));
  Get<ListBox>(u"List1").set_heading(u"Label2");
  set_initial_focus(u"List1");
}

std::u16string ListBoxF::FormatItemLine() const {
  const SharedState& s = library_.state();
  return corabind::FormatItemLine(s.ItemSelected, s.ItemText, s.ItemValue);
}

void ListBoxF::Load() {
  if (!Editing(library_)) return;
  const Element& element = EditedElement(library_);
  FillFromAttribute(Get<TextBox>(u"Text1"), element, u"NAME");
  FillFromAttribute(Get<TextBox>(u"Text2"), element, u"SIZE");
  Choose(ReadAttribute(element, u"MULTIPLE").EqualsTrue() ? u"Option1" : u"Option2");
  auto& list = Get<ListBox>(u"List1");
  SharedState& s = library_.state();
  for (const auto& child : element.children()) {
    // An option without a value attribute is written back without one.
    const Variant value = ReadAttribute(*child, u"VALUE");
    s.ItemValue = value.IsNull() ? std::u16string() : value.ToText();
    s.ItemText = child->innerHTML();
    s.ItemSelected = ReadAttribute(*child, u"SELECTED").EqualsTrue() ? 1 : 0;
    list.Append(FormatItemLine());
  }
}

void ListBoxF::AddItem() {
  library_.RunModal(library_.Dialog<ListBoxSub>());
  if (library_.state().ItemAccepted != kFalse) Get<ListBox>(u"List1").Append(FormatItemLine());
}

void ListBoxF::UpdateItem() {
  SharedState& s = library_.state();
  s.IsItemModify = kTrue;
  // Back to false however the update ends, so a later Add opens empty.
  struct Reset {
    SharedState& s;
    ~Reset() { s.IsItemModify = kFalse; }
  } reset{s};
  auto& list = Get<ListBox>(u"List1");
  const std::ptrdiff_t p = list.Selected();
  if (p < 0) return;
  ItemLine item = ReadItemLine(list.Line(p));
  s.ItemSelected = item.selected;
  s.ItemText = std::move(item.text);
  s.ItemValue = std::move(item.value);
  library_.RunModal(library_.Dialog<ListBoxSub>());
  if (s.ItemAccepted == kFalse) return;
  list.Remove(p);
  list.Insert(p, FormatItemLine());
}

void ListBoxF::DeleteItem() {
  auto& list = Get<ListBox>(u"List1");
  if (const std::ptrdiff_t p = list.Selected(); p >= 0) list.Remove(p);
}

void ListBoxF::MoveUp() {
  auto& list = Get<ListBox>(u"List1");
  const std::ptrdiff_t p = list.Selected();
  if (p <= 0) return;
  std::u16string line = list.Line(p);
  list.Remove(p);
  list.Insert(p - 1, std::move(line));
}

void ListBoxF::MoveDown() {
  auto& list = Get<ListBox>(u"List1");
  const std::ptrdiff_t p = list.Selected();
  const auto n = static_cast<std::ptrdiff_t>(list.Count());
  if (p < 0 || p + 1 >= n) return;
  std::u16string line = list.Line(p);
  list.Remove(p);
  list.Insert(p + 1, std::move(line));
}

void ListBoxF::Ok() {
  std::u16string markup = u"<select ";
  if (const auto& name = Get<TextBox>(u"Text1").text(); !name.empty()) {
    markup += u"name=\"" + AttributeText(name) + u"\" ";
  }
  if (const auto& height = Get<TextBox>(u"Text2").text(); !height.empty()) {
    markup += u"size=\"" + AttributeText(NumericFieldText(height)) + u"\" ";
  }
  if (Get<OptionButton>(u"Option1").value()) markup += u"multiple";
  markup += u">";
  for (const auto& line : Get<ListBox>(u"List1").lines()) {
    const ItemLine item = ReadItemLine(line);
    markup += u"<option ";
    if (!item.value.empty()) markup += u"value=\"" + AttributeText(item.value) + u"\"";
    if (item.selected == 1) markup += u" selected ";
    markup += u">" + item.text + u"</option>";
  }
  markup += u"</select>";
  library_.state().FieldTagResult = std::move(markup);
  Unload();
}

void ListBoxF::Cancel() {
  library_.state().FieldTagResult.clear();
  Dismiss();
}

}  // namespace corabind
