// SetFormField and ModifyFormField: pick a field dialog, run it modally and
// return what it left in FieldTagResult. Neither clears that result first,
// so a dialog closed from its frame (or no dialog at all) returns the text
// the previous dialog left.
#include <string_view>

#include "core/document.h"
#include "core/failure.h"
#include "core/text.h"
#include "fields/check_box_f.h"
#include "fields/fields.h"
#include "fields/list_box_f.h"
#include "fields/multi_text_box_f.h"
#include "fields/radio_box_f.h"
#include "fields/text_box_f.h"

namespace corabind {

namespace {

using OpenDialog = void (*)(Library&);

template <class F>
void Open(Library& library) {
  library.RunModal(library.Dialog<F>());
}

struct Route {
  std::u16string_view key;
  OpenDialog open;
};

// New fields, by the page's flag (exact, case-sensitive).
constexpr Route kNewFieldDialogs[] = {
    {u"TEXT", &Open<TextBoxF>},   {u"PASSWORD", &Open<TextBoxF>},      {u"RADIO", &Open<RadioBoxF>},
    {u"CHECK", &Open<CheckBoxF>}, {u"TEXTAREA", &Open<MultiTextBoxF>}, {u"LIST", &Open<ListBoxF>},
};

// Existing INPUT elements, by their upper-cased type.
constexpr Route kInputDialogs[] = {
    {u"TEXT", &Open<TextBoxF>},
    {u"PASSWORD", &Open<TextBoxF>},
    {u"CHECKBOX", &Open<CheckBoxF>},
    {u"RADIO", &Open<RadioBoxF>},
};

// Other existing elements, by their tag name (exact).
constexpr Route kElementDialogs[] = {
    {u"TEXTAREA", &Open<MultiTextBoxF>},
    {u"SELECT", &Open<ListBoxF>},
};

template <std::size_t N>
OpenDialog Find(const Route (&routes)[N], std::u16string_view key) {
  for (const Route& r : routes) {
    if (r.key == key) return r.open;
  }
  return nullptr;
}

// IsModify is true exactly while ModifyFormField runs, however it ends.
class ModifyingScope {
 public:
  ModifyingScope(SharedState& state, const std::shared_ptr<Element>& element) : state_(state) {
    state_.EditElement = element;
    state_.IsModify = kTrue;
  }
  ~ModifyingScope() { state_.IsModify = kFalse; }
  ModifyingScope(const ModifyingScope&) = delete;
  ModifyingScope& operator=(const ModifyingScope&) = delete;

 private:
  SharedState& state_;
};

}  // namespace

std::u16string fields::SetFormField(Library& library, const std::u16string& flag) {
  if (const OpenDialog open = Find(kNewFieldDialogs, flag)) open(library);
  return library.state().FieldTagResult;
}

std::u16string fields::ModifyFormField(Library& library, const std::shared_ptr<Element>& htmlsrc,
                                       VariantBool debugging) {
  if (debugging != kFalse) library.desktop().MessageBox(u"Into ModifyFormField");
  if (!htmlsrc) throw ObjectNotSet();
  const std::u16string tag = htmlsrc->tagName();
  const ModifyingScope scope(library.state(), htmlsrc);

  OpenDialog open = nullptr;
  if (tag == u"INPUT") {
    // An input without a type is a text field (WHATWG HTML, "the type
    // attribute ... missing value default is the Text state").
    const Variant type = htmlsrc->getAttribute(u"TYPE", 0);
    const std::u16string upper = type.IsNull() ? u"TEXT" : AsciiUpper(type.ToText());
    open = Find(kInputDialogs, upper);
    if (debugging != kFalse && (upper == u"TEXT" || upper == u"PASSWORD")) {
      library.desktop().MessageBox(u"It is Text or Password");
    }
  } else {
    open = Find(kElementDialogs, tag);
  }
  if (open) open(library);
  return library.state().FieldTagResult;
}

}  // namespace corabind
