// The user's part of a run without a screen: the automation protocol's "ui"
// list (docs/automation.md) turned into the headless desktop's script.
//
//   [{"form":"TextBoxF","steps":[{"type":"Text1","text":"user"},{"choose":"Option2"},
//     {"check":"Cloop","value":0},{"select":"List1","index":1},{"click":"Command1"},
//     {"close":true}]},
//    {"file":"save","path":"/tmp/a.htm","overwrite":true},
//    {"file":"open","cancel":true}]
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

#include "platform/headless/headless_desktop.h"

namespace corabind {

// std::invalid_argument naming the entry and what is wrong with it.
std::vector<UiEntry> ParseUiScript(const nlohmann::json& ui);

// What the user saw, in the automation protocol's "events" form.
nlohmann::ordered_json EventsToJson(const std::vector<UiEvent>& events);

}  // namespace corabind
