// The dialogs' design data: captions, sizes, keyboard order and focus, and
// option buttons that sit inside their frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "control/library.h"
#include "control/text.h"
#include "fields/check_box_f.h"
#include "fields/list_box_f.h"
#include "fields/list_box_sub.h"
#include "fields/multi_text_box_f.h"
#include "fields/radio_box_f.h"
#include "fields/text_box_f.h"

namespace corabind {
namespace {

std::vector<std::u16string> KeyboardOrder(const Form& form) {
  std::vector<const Widget*> focusable;
  for (const auto& w : form.widgets()) {
    if (w->design().tab_index >= 0) focusable.push_back(w.get());
  }
  std::sort(focusable.begin(), focusable.end(), [](const Widget* a, const Widget* b) {
    return a->design().tab_index < b->design().tab_index;
  });
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i < focusable.size(); ++i) {
    EXPECT_EQ(focusable[i]->design().tab_index, static_cast<int>(i)) << ToUtf8(form.name());
    names.push_back(focusable[i]->name());
  }
  return names;
}

TEST(DialogLayoutTest, CaptionsSizesKeyboardOrderAndFrames) {
  Library library;
  struct Case {
    std::function<Form&()> dialog;
    std::u16string name, caption;
    Size client;
    std::vector<std::u16string> order;
  } const cases[] = {
      {[&]() -> Form& { return library.Dialog<TextBoxF>(); },
       u"TextBoxF",
       u"Text Box Setting",
       {365, 173},
       {u"Text1", u"Text2", u"Text3", u"Text4", u"Option1", u"Option2", u"Command1", u"Command2"}},
      {[&]() -> Form& { return library.Dialog<MultiTextBoxF>(); },
       u"MultiTextBoxF",
       u"TextArea Setting",
       {476, 236},
       {u"Text1", u"Text3", u"Text4", u"Command1", u"Command2", u"Text2"}},
      {[&]() -> Form& { return library.Dialog<CheckBoxF>(); },
       u"CheckBoxF",
       u"CheckBox Setting",
       {365, 173},
       {u"Text1", u"Text2", u"Command1", u"Command2", u"Option1", u"Option2"}},
      {[&]() -> Form& { return library.Dialog<RadioBoxF>(); },
       u"RadioBoxF",
       u"Radio Box Setting",
       {365, 173},
       {u"Command2", u"Command1", u"Option1", u"Option2", u"Text2", u"Text1"}},
      {[&]() -> Form& { return library.Dialog<ListBoxF>(); },
       u"ListBoxF",
       u"ListBox Setting",
       {497, 291},
       {u"List1", u"Command2", u"Command1", u"Text1", u"Option1", u"Option2", u"Text2", u"Command3",
        u"Command4", u"Command5", u"Command6", u"Command7"}},
      {[&]() -> Form& { return library.Dialog<ListBoxSub>(); },
       u"ListBoxSub",
       u"ListBox Item Setting",
       {365, 129},
       {u"Text1", u"Text2", u"Command1", u"Command2", u"Check1"}},
  };
  for (const Case& c : cases) {
    const Form& form = c.dialog();
    SCOPED_TRACE(ToUtf8(c.name));
    EXPECT_EQ(&form, &c.dialog());  // one instance per kind
    EXPECT_EQ(form.name(), c.name);
    EXPECT_EQ(form.caption(), c.caption);
    EXPECT_EQ(form.client_size(), c.client);
    EXPECT_EQ(KeyboardOrder(form), c.order);
    EXPECT_EQ(form.initial_focus(), c.order.front());
    for (const auto& w : form.widgets()) {
      const Box& b = w->design().box;
      EXPECT_LE(b.left + b.width, form.client_size().width) << ToUtf8(w->name());
      EXPECT_LE(b.top + b.height, form.client_size().height) << ToUtf8(w->name());
      if (w->design().container.empty()) continue;
      const Box& frame = form.Find(w->design().container).design().box;
      EXPECT_LE(b.left + b.width, frame.width) << ToUtf8(w->name());
      EXPECT_LE(b.top + b.height, frame.height) << ToUtf8(w->name());
    }
  }
}

TEST(DialogLayoutTest, TextsWithBlanksThatMatter) {
  Library library;
  EXPECT_EQ(library.Dialog<TextBoxF>().Find(u"Label4").design().caption, u"Max     Length : ");
  const std::u16string header = library.Dialog<ListBoxF>().Find(u"Label2").design().caption;
  EXPECT_EQ(header.size(), 54u);
  EXPECT_EQ(header, u"    Selected Item" + std::u16string(32, u' ') + u"Value");
}

}  // namespace
}  // namespace corabind
