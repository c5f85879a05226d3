// One loaded library called by name in the automation protocol's request
// and value forms (docs/automation.md). Shared by `corabind automate`, which
// reads requests as JSON Lines, and `corabind serve`, which takes them from a
// browser page.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "automation/json_values.h"
#include "core/desktop.h"
#include "platform/posix/path_map.h"

namespace corabind {
class ClassFactory;
class DispatchObject;
class HeadlessDesktop;
}  // namespace corabind

namespace corabind::automation {

// Responses keep their keys in the order written: id and ok first.
using Response = nlohmann::ordered_json;

Response ProtocolErrorResponse(const nlohmann::json& id, const std::string& what);

class AutomationSession {
 public:
  // Makes the desktop of a real screen over the session's paths.
  using LiveDesktopMaker = std::function<std::shared_ptr<Desktop>(const PathMap&)>;

  // `drives` as "X=/host/folder". With `live`, calls that carry no ui script
  // show their dialogs on that desktop; without it such a call fails as soon
  // as a dialog would open.
  explicit AutomationSession(const std::vector<std::string>& drives,
                             const LiveDesktopMaker& live = nullptr);
  ~AutomationSession();

  // Answers one request; a request the protocol cannot take is answered
  // with a protocol error, never thrown.
  Response Answer(const nlohmann::json& request);
  // The same for one request line, parsed with its nesting bounded so that
  // no request can exhaust the stack.
  Response AnswerLine(std::string_view line);

  // Takes the `compose` request: a mail made from the files the request
  // names (automate's, not a browser page's).
  void set_compose(bool on) { compose_ = on; }
  // Told, on the calling thread, true when a call's dialog opens and false
  // when it has closed, so that a server can refuse other calls meanwhile.
  void set_on_dialog(std::function<void(bool)> on_dialog);
  // The host path a control path of this session's drives stands for.
  std::optional<std::filesystem::path> HostPath(const std::u16string& control_path) const;

 private:
  class Routing;
  Response Handle(const nlohmann::json& request);
  Response Invoke(const std::string& op, const nlohmann::json& request, Response& response);
  std::string ControlHandle(const nlohmann::json& request) const;
  DispatchObject& Control(const nlohmann::json& request);
  Response State() const;
  static std::string MemberNames();
  static Response Compose(const nlohmann::json& request, Response& response);

  std::shared_ptr<PathMap> paths_;
  std::shared_ptr<HeadlessDesktop> headless_;
  std::shared_ptr<Desktop> live_;
  std::shared_ptr<Routing> routing_;
  ClassFactory* factory_ = nullptr;
  std::map<std::string, std::shared_ptr<DispatchObject>> controls_;
  DocumentTable documents_;
  int next_control_ = 1;
  bool compose_ = false;
};

}  // namespace corabind::automation
