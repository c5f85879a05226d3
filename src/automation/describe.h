// What a driver of `corabind automate` needs to know to script the control
// without probing it: every dialog with its controls, read from the dialogs'
// own layout data, and every member with its parameters, read from the type
// description. The `describe` request answers with it, and the reference
// part of docs/automation.md is rendered from it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace corabind::automation {

nlohmann::ordered_json DescribeControl();

// The description as the Markdown of the protocol document's reference part.
std::string DescribeMarkdown(const nlohmann::ordered_json& description);

}  // namespace corabind::automation
