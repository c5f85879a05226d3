#include "automation/describe.h"

#include "control/type_library.h"
#include "core/form.h"
#include "core/library.h"
#include "core/text.h"
#include "fields/check_box_f.h"
#include "fields/list_box_f.h"
#include "fields/list_box_sub.h"
#include "fields/multi_text_box_f.h"
#include "fields/radio_box_f.h"
#include "fields/text_box_f.h"
#include "flash/flash_dialog.h"

namespace corabind::automation {

using nlohmann::ordered_json;

namespace {

struct KindInfo {
  const char* name;
  const char* step;  // the ui step that acts on it, "" for none
};

KindInfo Info(WidgetKind kind) {
  switch (kind) {
    case WidgetKind::kLabel:
      return {"label", ""};
    case WidgetKind::kFrame:
      return {"frame", ""};
    case WidgetKind::kTextBox:
      return {"text box", "type"};
    case WidgetKind::kOptionButton:
      return {"option button", "choose"};
    case WidgetKind::kCheckBox:
      return {"check box", "check"};
    case WidgetKind::kComboBox:
      return {"drop-down", "type"};
    case WidgetKind::kListBox:
      return {"list box", "select"};
    case WidgetKind::kCommandButton:
      return {"button", "click"};
  }
  return {"", ""};
}

const char* TypeName(ParamType type) {
  switch (type) {
    case ParamType::kString:
      return "text";
    case ParamType::kBool:
      return "boolean";
    case ParamType::kVariant:
      return "any";
    case ParamType::kElement:
      return "element";
    case ParamType::kDocument:
      return "document";
    case ParamType::kCollection:
      return "collection";
  }
  return "";
}

ordered_json DescribeForm(const Form& form, const char* opened_by) {
  ordered_json controls = ordered_json::array();
  for (const auto& w : form.widgets()) {
    const KindInfo info = Info(w->kind());
    ordered_json control{
        {"name", ToUtf8(w->name())}, {"kind", info.name}, {"caption", ToUtf8(w->design().caption)}};
    if (*info.step) control["step"] = info.step;
    if (!w->design().container.empty()) control["in"] = ToUtf8(w->design().container);
    controls.push_back(std::move(control));
  }
  return {{"form", ToUtf8(form.name())},
          {"caption", ToUtf8(form.caption())},
          {"opened_by", opened_by},
          {"controls", std::move(controls)}};
}

std::string Cell(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
  return out;
}

}  // namespace

ordered_json DescribeControl() {
  // The dialogs are made as the library makes them, and only read.
  Library library;
  ordered_json forms = ordered_json::array();
  forms.push_back(DescribeForm(library.Dialog<TextBoxF>(),
                               "SetFormField(\"TEXT\" or \"PASSWORD\"); ModifyFormField of an "
                               "input of type text or password"));
  forms.push_back(DescribeForm(library.Dialog<MultiTextBoxF>(),
                               "SetFormField(\"TEXTAREA\"); ModifyFormField of a textarea"));
  forms.push_back(DescribeForm(library.Dialog<CheckBoxF>(),
                               "SetFormField(\"CHECK\"); ModifyFormField of a checkbox input"));
  forms.push_back(DescribeForm(library.Dialog<RadioBoxF>(),
                               "SetFormField(\"RADIO\"); ModifyFormField of a radio input"));
  forms.push_back(DescribeForm(library.Dialog<ListBoxF>(),
                               "SetFormField(\"LIST\"); ModifyFormField of a select"));
  forms.push_back(DescribeForm(library.Dialog<ListBoxSub>(),
                               "the Add and Update buttons of ListBoxF (the next ui entry)"));
  forms.push_back(DescribeForm(library.Dialog<Form1>(), "LoadFlashTag()"));

  ordered_json members = ordered_json::array();
  for (const MemberInfo& m : CorabindTypeLibrary().dispatch.members) {
    ordered_json member{{"name", ToUtf8(m.name)},
                        {"kind", m.kind == MemberKind::kMethod ? "method" : "property"}};
    if (m.kind == MemberKind::kMethod) {
      ordered_json params = ordered_json::array();
      for (const ParamInfo& p : m.params) {
        params.push_back(
            {{"name", ToUtf8(p.name)}, {"type", TypeName(p.type)}, {"optional", p.optional}});
      }
      member["params"] = std::move(params);
    }
    member["type"] = TypeName(m.result);
    members.push_back(std::move(member));
  }
  return {{"members", std::move(members)}, {"forms", std::move(forms)}};
}

std::string DescribeMarkdown(const ordered_json& description) {
  std::string md;
  md += "### Members\n\n";
  md +=
      "Call a method with `call` and `args` in this order; `[name]` may be left out. Get a\n"
      "property with `get` and set it with `put`.\n\n";
  md += "| Member | Kind | Arguments | Result |\n|---|---|---|---|\n";
  for (const auto& m : description["members"]) {
    std::string args;
    if (m.contains("params")) {
      for (const auto& p : m["params"]) {
        if (!args.empty()) args += ", ";
        const std::string one =
            p["name"].get<std::string>() + " (" + p["type"].get<std::string>() + ")";
        args += p["optional"].get<bool>() ? "[" + one + "]" : one;
      }
    } else {
      args = "`put` takes the value (" + m["type"].get<std::string>() + ")";
    }
    md += "| `" + m["name"].get<std::string>() + "` | " + m["kind"].get<std::string>() + " | " +
          (args.empty() ? "none" : args) + " | " + m["type"].get<std::string>() + " |\n";
  }
  md += "\n### Dialogs\n";
  for (const auto& f : description["forms"]) {
    md += "\n#### " + f["form"].get<std::string>() + ": \"" + f["caption"].get<std::string>() +
          "\"\n\nOpened by " + f["opened_by"].get<std::string>() + ".\n\n";
    md += "| Control | Kind | Caption | Step |\n|---|---|---|---|\n";
    for (const auto& c : f["controls"]) {
      std::string caption = c["caption"].get<std::string>();
      md += "| `" + c["name"].get<std::string>() + "` | " + c["kind"].get<std::string>();
      if (c.contains("in")) md += " in " + c["in"].get<std::string>();
      md += " | " + (caption.empty() ? "" : "`" + Cell(caption) + "`") + " | " +
            (c.contains("step") ? "`" + c["step"].get<std::string>() + "`" : "") + " |\n";
    }
  }
  return md;
}

}  // namespace corabind::automation
