// The user, scripted: the automation protocol's "ui" list and "events" list
// over the headless desktop. Shared by `corabind automate` and the
// --ui-script option of the interactive commands.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "platform/headless/headless_desktop.h"

namespace corabind::cli {

// Throws ProtocolError (cli/json_values.h) for a malformed entry.
std::vector<UiEntry> ParseUiScript(const nlohmann::json& ui);
nlohmann::json EventsToJson(const std::vector<UiEvent>& events);

}  // namespace corabind::cli
