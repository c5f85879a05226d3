#include "cli/ui_script.h"

#include <limits>

#include "cli/json_values.h"
#include "control/text.h"

namespace corabind::cli {

using nlohmann::json;

namespace {

std::u16string Text(const json& step, const char* key) {
  if (!step.contains(key) || !step[key].is_string())
    throw ProtocolError(std::string("a step needs a string \"") + key + "\"");
  return FromUtf8(step[key].get<std::string>());
}

std::int64_t Integer(const json& step, const char* key) {
  if (!step.contains(key) || !step[key].is_number_integer()) {
    throw ProtocolError(std::string("a step needs an integer \"") + key + "\"");
  }
  return step[key].get<std::int64_t>();
}

UiStep ParseStep(const json& step) {
  if (!step.is_object()) throw ProtocolError("a step is an object");
  if (step.contains("type")) return {UiStep::Kind::kType, Text(step, "type"), Text(step, "text")};
  if (step.contains("choose")) return {UiStep::Kind::kChoose, Text(step, "choose")};
  if (step.contains("check"))
    return {UiStep::Kind::kCheck, Text(step, "check"), u"", Integer(step, "value")};
  if (step.contains("select"))
    return {UiStep::Kind::kSelect, Text(step, "select"), u"", Integer(step, "index")};
  if (step.contains("click")) return {UiStep::Kind::kClick, Text(step, "click")};
  if (step.contains("close") && step["close"] == true) return {UiStep::Kind::kClose, u""};
  throw ProtocolError("unknown step: " + step.dump());
}

}  // namespace

std::vector<UiEntry> ParseUiScript(const json& ui) {
  if (!ui.is_array()) throw ProtocolError("\"ui\" takes an array");
  std::vector<UiEntry> entries;
  for (const auto& entry : ui) {
    if (!entry.is_object()) throw ProtocolError("a ui entry is an object");
    if (entry.contains("form")) {
      if (!entry["form"].is_string()) throw ProtocolError("\"form\" takes a name");
      FormScript form{FromUtf8(entry["form"].get<std::string>()), {}};
      if (entry.contains("steps")) {
        if (!entry["steps"].is_array()) throw ProtocolError("\"steps\" takes an array");
        for (const auto& step : entry["steps"]) form.steps.push_back(ParseStep(step));
      }
      entries.emplace_back(std::move(form));
    } else if (entry.contains("file")) {
      FileScript file;
      if (entry["file"] == "open") {
        file.kind = FileScript::Kind::kOpen;
      } else if (entry["file"] == "save") {
        file.kind = FileScript::Kind::kSave;
      } else {
        throw ProtocolError("\"file\" is \"open\" or \"save\"");
      }
      file.cancel = entry.value("cancel", false);
      if (!file.cancel) {
        if (!entry.contains("path") || !entry["path"].is_string() ||
            entry["path"].get<std::string>().empty()) {
          throw ProtocolError("a file entry needs \"path\" or \"cancel\":true");
        }
        file.host_path = entry["path"].get<std::string>();
      }
      if (entry.contains("overwrite")) {
        if (!entry["overwrite"].is_boolean())
          throw ProtocolError("\"overwrite\" takes true or false");
        file.overwrite = entry["overwrite"].get<bool>();
      }
      entries.emplace_back(std::move(file));
    } else {
      throw ProtocolError("a ui entry names a \"form\" or a \"file\" dialog");
    }
  }
  return entries;
}

json EventsToJson(const std::vector<UiEvent>& events) {
  json out = json::array();
  for (const auto& event : events) {
    if (const auto* m = std::get_if<MessageBoxEvent>(&event)) {
      out.push_back({{"messagebox", ToUtf8(m->text)}});
    } else if (const auto* f = std::get_if<FormEvent>(&event)) {
      json loaded = json::object();
      for (const auto& control : f->loaded) {
        const std::string name = ToUtf8(control.name);
        std::visit(
            [&](const auto& v) {
              using V = std::decay_t<decltype(v)>;
              if constexpr (std::is_same_v<V, std::u16string>) {
                loaded[name] = ToUtf8(v);
              } else if constexpr (std::is_same_v<V, std::vector<std::u16string>>) {
                json lines = json::array();
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

}  // namespace corabind::cli
