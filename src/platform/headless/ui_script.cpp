#include "platform/headless/ui_script.h"

#include <string>

#include "core/text.h"

namespace corabind {

namespace {

using nlohmann::json;

[[noreturn]] void Bad(const std::string& where, const std::string& what) {
  throw std::invalid_argument("ui" + where + ": " + what);
}

std::u16string Text(const json& value, const std::string& where, const char* key) {
  if (!value.is_string()) Bad(where, std::string("\"") + key + "\" must be a string");
  return FromUtf8(value.get<std::string>());
}

std::int64_t Integer(const json& value, const std::string& where, const char* key) {
  if (!value.is_number_integer()) Bad(where, std::string("\"") + key + "\" must be an integer");
  return value.get<std::int64_t>();
}

UiStep ParseStep(const json& step, const std::string& where) {
  if (!step.is_object()) Bad(where, "a step must be an object");
  using K = UiStep::Kind;
  auto one = [&](const char* key, K kind) -> std::optional<UiStep> {
    auto it = step.find(key);
    if (it == step.end()) return std::nullopt;
    return UiStep{kind, Text(*it, where, key), {}, 0};
  };
  if (auto s = one("type", K::kType)) {
    if (!step.contains("text")) Bad(where, "\"type\" needs \"text\"");
    s->text = Text(step["text"], where, "text");
    return *s;
  }
  if (auto s = one("choose", K::kChoose)) return *s;
  if (auto s = one("check", K::kCheck)) {
    if (!step.contains("value")) Bad(where, "\"check\" needs \"value\" (0 or 1)");
    s->value = Integer(step["value"], where, "value");
    if (s->value != 0 && s->value != 1) Bad(where, "\"value\" of a check box is 0 or 1");
    return *s;
  }
  if (auto s = one("select", K::kSelect)) {
    if (!step.contains("index")) Bad(where, "\"select\" needs \"index\"");
    s->value = Integer(step["index"], where, "index");
    return *s;
  }
  if (auto s = one("click", K::kClick)) return *s;
  if (auto it = step.find("close"); it != step.end()) {
    if (*it != true) Bad(where, "\"close\" must be true");
    return UiStep{K::kClose, {}, {}, 0};
  }
  Bad(where, "a step is one of type, choose, check, select, click, close");
}

FileScript ParseFile(const json& entry, const std::string& where) {
  FileScript file;
  const json& kind = entry["file"];
  if (kind == "open") {
    file.kind = FileScript::Kind::kOpen;
  } else if (kind == "save") {
    file.kind = FileScript::Kind::kSave;
  } else {
    Bad(where, "\"file\" is \"open\" or \"save\"");
  }
  if (auto it = entry.find("cancel"); it != entry.end()) {
    if (!it->is_boolean()) Bad(where, "\"cancel\" must be true or false");
    file.cancel = it->get<bool>();
  }
  if (auto it = entry.find("close"); it != entry.end()) {
    if (*it != true) Bad(where, "\"close\" must be true");
    file.close = true;
  }
  if (auto it = entry.find("overwrite"); it != entry.end()) {
    if (!it->is_boolean()) Bad(where, "\"overwrite\" must be true or false");
    file.overwrite = it->get<bool>();
  }
  if (auto it = entry.find("path"); it != entry.end()) {
    if (!it->is_string() || it->get<std::string>().empty())
      Bad(where, "\"path\" must be a non-empty string");
    file.host_path = it->get<std::string>();
  } else if (!file.cancel && !file.close) {
    Bad(where, "a file dialog entry needs \"path\", \"cancel\":true or \"close\":true");
  }
  return file;
}

}  // namespace

std::vector<UiEntry> ParseUiScript(const json& ui) {
  if (!ui.is_array()) Bad("", "must be a list");
  std::vector<UiEntry> out;
  for (std::size_t i = 0; i < ui.size(); ++i) {
    const json& entry = ui[i];
    const std::string where = "[" + std::to_string(i) + "]";
    if (!entry.is_object()) Bad(where, "an entry must be an object");
    if (entry.contains("form")) {
      FormScript form;
      form.form = Text(entry["form"], where, "form");
      if (auto it = entry.find("steps"); it != entry.end()) {
        if (!it->is_array()) Bad(where, "\"steps\" must be a list");
        for (std::size_t j = 0; j < it->size(); ++j)
          form.steps.push_back(ParseStep((*it)[j], where + ".steps[" + std::to_string(j) + "]"));
      }
      out.emplace_back(std::move(form));
    } else if (entry.contains("file")) {
      out.emplace_back(ParseFile(entry, where));
    } else {
      Bad(where, "an entry has \"form\" or \"file\"");
    }
  }
  return out;
}

nlohmann::ordered_json EventsToJson(const std::vector<UiEvent>& events) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const auto& event : events) {
    if (const auto* m = std::get_if<MessageBoxEvent>(&event)) {
      out.push_back({{"messagebox", ToUtf8(m->text)}});
    } else if (const auto* f = std::get_if<FormEvent>(&event)) {
      nlohmann::ordered_json loaded = nlohmann::ordered_json::object();
      for (const auto& control : f->loaded) {
        const std::string name = ToUtf8(control.name);
        std::visit(
            [&](const auto& v) {
              using V = std::decay_t<decltype(v)>;
              if constexpr (std::is_same_v<V, std::u16string>) {
                loaded[name] = ToUtf8(v);
              } else if constexpr (std::is_same_v<V, std::vector<std::u16string>>) {
                nlohmann::ordered_json lines = nlohmann::ordered_json::array();
                for (const auto& line : v) lines.push_back(ToUtf8(line));
                loaded[name] = {{"lines", lines}, {"selected", control.selected}};
              } else {
                loaded[name] = v;
              }
            },
            control.value);
      }
      out.push_back({{"form", ToUtf8(f->form)}, {"loaded", loaded}});
    } else {
      const auto& d = std::get<FileDialogEvent>(event);
      out.push_back({{"file", d.kind == FileScript::Kind::kOpen ? "open" : "save"},
                     {"title", ToUtf8(d.title)},
                     {"filter", ToUtf8(d.filter)},
                     {"flags", d.flags},
                     {"filename", ToUtf8(d.file_name)}});
    }
  }
  return out;
}

}  // namespace corabind
