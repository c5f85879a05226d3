#include "automation/automation_session.h"

#include <filesystem>
#include <sstream>

#include "automation/describe.h"
#include "automation/mail_composer.h"
#include "control/type_library.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/printable.h"
#include "core/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/headless/ui_script.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/posix_file_system.h"
#include "server/component_server.h"
#include "server/dispatch_object.h"

namespace corabind::automation {

using nlohmann::json;

// The library keeps one desktop for its life; each call picks which one
// answers: the scripted one when the call carries a ui script (or there is
// no screen), the real screen otherwise.
class AutomationSession::Routing : public Desktop {
 public:
  Desktop* target = nullptr;
  bool live = false;  // the target shows its dialogs to a person
  // Told true when a dialog a person sees opens while none is, false when
  // the last closes. A scripted dialog ends by itself, so calls after it
  // just wait their turn.
  std::function<void(bool)> on_dialog;
  void ShowModal(Form& form) override {
    Open open(*this);
    target->ShowModal(form);
  }
  void MessageBox(const std::u16string& text) override {
    Open open(*this);
    target->MessageBox(text);
  }
  void ShowOpen(FileDialog& dialog) override {
    Open open(*this);
    target->ShowOpen(dialog);
  }
  void ShowSave(FileDialog& dialog) override {
    Open open(*this);
    target->ShowSave(dialog);
  }

 private:
  // One dialog showing, however it ends.
  class Open {
   public:
    explicit Open(Routing& r) : r_(r), counts_(r.live) {
      if (counts_ && r_.open_++ == 0 && r_.on_dialog) r_.on_dialog(true);
    }
    ~Open() {
      if (counts_ && --r_.open_ == 0 && r_.on_dialog) r_.on_dialog(false);
    }
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;

   private:
    Routing& r_;
    const bool counts_;
  };
  int open_ = 0;
};

namespace {

const char* EndName(DialogEnd end) {
  switch (end) {
    case DialogEnd::kAccepted:
      return "accepted";
    case DialogEnd::kCancelled:
      return "cancelled";
    case DialogEnd::kClosed:
      break;
  }
  return "closed";
}

}  // namespace

Response ProtocolErrorResponse(const json& id, const std::string& what) {
  return Response{{"id", id}, {"ok", false}, {"protocol_error", what}};
}

AutomationSession::AutomationSession(const std::vector<std::string>& drives,
                                     const LiveDesktopMaker& live)
    : paths_(std::make_shared<PathMap>()) {
  for (const auto& mapping : drives) paths_->MapDriveSpec(mapping);
  headless_ = std::make_shared<HeadlessDesktop>(*paths_);
  if (live) live_ = live(*paths_);
  routing_ = std::make_shared<Routing>();
  routing_->target = headless_.get();

  // The same road a script host takes: the class factory of the loaded
  // library, then late-bound calls.
  void* factory = nullptr;
  const std::string clsid = ToUtf8(kClassId);
  if (DllGetClassObject(clsid.c_str(), &factory) != kS_OK || !factory) {
    throw Failure(err::kCannotCreateObject, u"The library does not serve its own class");
  }
  factory_ = static_cast<ClassFactory*>(factory);
  factory_->library().set_services(
      Services{routing_, std::make_shared<PosixFileSystem>(paths_),
               std::make_shared<PosixBase64FileEncoderFactory>(ResolveThrough(paths_))});
}

AutomationSession::~AutomationSession() {
  // The library outlives the session: it must not keep our desktops.
  controls_.clear();
  factory_->library().set_services(Services{});
}

Response AutomationSession::AnswerLine(std::string_view line) {
  json request;
  try {
    request = ParseRequest(line);
  } catch (const json::exception& e) {
    return ProtocolErrorResponse(nullptr, "invalid request: " + Printable(e.what(), 200));
  } catch (const ProtocolError& e) {
    return ProtocolErrorResponse(nullptr, e.what());
  }
  return Answer(request);
}

Response AutomationSession::Answer(const json& request) {
  const json id = request.is_object() && request.contains("id") ? request["id"] : json(nullptr);
  try {
    return Handle(request);
  } catch (const json::exception& e) {
    return ProtocolErrorResponse(id, "invalid request: " + Printable(e.what(), 200));
  } catch (const ProtocolError& e) {
    return ProtocolErrorResponse(id, e.what());
  } catch (const std::invalid_argument& e) {  // a malformed ui script
    return ProtocolErrorResponse(id, e.what());
  } catch (const Failure& f) {
    // A failure outside a member call (for instance a document that cannot
    // be parsed) is the request's fault.
    return ProtocolErrorResponse(id, ToUtf8(FormatUnexpectedError(f)));
  }
}

Response AutomationSession::Handle(const json& request) {
  if (!request.is_object()) throw ProtocolError("a request is a JSON object");
  const json id = request.contains("id") ? request["id"] : json(nullptr);
  if (!request.contains("op") || !request["op"].is_string())
    throw ProtocolError("a request needs \"op\"");
  const std::string op = request["op"];
  Response response{{"id", id}, {"ok", true}};
  if (op == "create") {
    const std::string handle = "c" + std::to_string(next_control_++);
    controls_.emplace(handle, factory_->CreateInstance());
    response["control"] = handle;
  } else if (op == "release") {
    // A long-running host lets go of what it no longer needs: a document
    // by its handle, a control with the documents its results handed out.
    if (request.contains("document")) {
      if (!request["document"].is_string() ||
          !documents_.Release(request["document"].get<std::string>()))
        throw ProtocolError("unknown document handle");
    } else {
      const std::string handle = ControlHandle(request);
      if (controls_.erase(handle) == 0) throw ProtocolError("unknown control handle");
      documents_.ReleaseOwnedBy(handle);
    }
  } else if (op == "document") {
    if (!request.contains("html") || !request["html"].is_string())
      throw ProtocolError("\"document\" needs \"html\"");
    response["document"] =
        documents_.Add(html::ParseHtml(request["html"].get_ref<const std::string&>()));
  } else if (op == "call" || op == "get" || op == "put") {
    return Invoke(op, request, response);
  } else if (op == "state") {
    response["state"] = State();
  } else if (op == "describe") {
    response["describe"] = DescribeControl();
  } else if (op == "compose" && compose_) {
    return Compose(request, response);
  } else {
    throw ProtocolError("unknown op " + Quoted(op) +
                        "; the ops are create, release, document, call, get, put, state, "
                        "describe" + (compose_ ? ", compose" : ""));
  }
  return response;
}

std::string AutomationSession::ControlHandle(const json& request) const {
  if (!request.contains("control") || !request["control"].is_string())
    throw ProtocolError("\"control\" is missing");
  return request["control"];
}

DispatchObject& AutomationSession::Control(const json& request) {
  const auto it = controls_.find(ControlHandle(request));
  if (it == controls_.end()) {
    std::string known;
    for (const auto& [name, object] : controls_) known += (known.empty() ? "" : ", ") + name;
    throw ProtocolError(
        "unknown control handle \"" + ControlHandle(request) + "\"; " +
        (known.empty() ? "no control was created (op create)" : "the controls are " + known));
  }
  return *it->second;
}

Response AutomationSession::Invoke(const std::string& op, const json& request, Response& response) {
  DispatchObject& control = Control(request);
  std::vector<Variant> args;
  std::u16string member;
  InvokeKind kind = InvokeKind::kMethod;
  if (op == "call") {
    if (!request.contains("method") || !request["method"].is_string())
      throw ProtocolError("\"call\" needs \"method\"");
    member = FromUtf8(request["method"].get<std::string>());
    if (request.contains("args")) {
      if (!request["args"].is_array()) throw ProtocolError("\"args\" takes an array");
      for (const auto& a : request["args"]) args.push_back(ToVariant(a, documents_));
    }
  } else {
    if (!request.contains("property") || !request["property"].is_string())
      throw ProtocolError("\"" + op + "\" needs \"property\"");
    member = FromUtf8(request["property"].get<std::string>());
    kind = op == "get" ? InvokeKind::kPropertyGet : InvokeKind::kPropertyPutRef;
    if (op == "put") {
      if (!request.contains("value")) throw ProtocolError("\"put\" needs \"value\"");
      args.push_back(ToVariant(request["value"], documents_));
    }
  }
  const bool scripted = request.contains("ui") || !live_;
  headless_->ClearScript();
  headless_->ClearEvents();
  headless_->ClearScriptError();
  if (request.contains("ui")) headless_->Push(ParseUiScript(request["ui"]));
  routing_->target = scripted ? static_cast<Desktop*>(headless_.get()) : live_.get();
  routing_->live = !scripted;
  routing_->target->ForgetEnd();

  bool failed = false;
  try {
    response["result"] =
        ToJson(control.Invoke(member, kind, args), documents_, ControlHandle(request));
  } catch (const Failure& failure) {
    failed = true;
    response["ok"] = false;
    response["error"] = {{"number", failure.number()},
                         {"description", ToUtf8(failure.description())}};
    if (failure.number() == err::kNotSupported) response["hint"] = MemberNames();
  }
  // Beside the member's value, which the dialog's frame close leaves as the
  // control defines it: whether the person meant it.
  if (const auto end = routing_->target->last_end()) response["ended"] = EndName(*end);
  routing_->target = headless_.get();
  routing_->live = false;
  if (!scripted) return response;
  response["events"] = EventsToJson(headless_->events());
  // The user's script must be used up exactly by what opened. When the
  // member failed on its own (a missing or wrong argument, say) before the
  // script could be used, that failure is the answer.
  std::string mismatch;
  if (headless_->script_error()) {
    mismatch = "ui script: " + ToUtf8(*headless_->script_error());
    if (!request.contains("ui")) {
      mismatch =
          "this call opens a dialog, there is no display to show it on and the call "
          "carries no ui script (" +
          mismatch + ")";
    }
  } else if (!headless_->ScriptDone()) {
    const std::string unused =
        std::to_string(headless_->Remaining()) + " entry(ies) of the ui script were not used";
    if (failed) {
      response["ui_unused"] = unused;
    } else {
      mismatch = "ui script: " + unused;
    }
  }
  headless_->ClearScript();
  if (!mismatch.empty()) {
    Response error{{"id", response["id"]}, {"ok", false}, {"protocol_error", mismatch}};
    error["events"] = response["events"];
    return error;
  }
  return response;
}

Response AutomationSession::Compose(const json& request, Response& response) {
  std::ostringstream warnings;
  try {
    const mail::Mail message = ComposeJson(request, std::filesystem::current_path().string(),
                                           {"op", "id", "html", "folder"}, {}, {warnings, false});
    std::string bytes;
    WriteMessage(message, [&](std::string_view piece) { bytes.append(piece); });
    const std::size_t files = message.embedded().size();
    response["message"] = std::move(bytes);
    response["parts"] = 1 + files + (message.has_text() ? 1 : 0) + message.attachments();
    response["files"] = files;
    response["text"] = message.has_text();
    response["attachments"] = message.attachments();
    response["bytes"] = response["message"].get_ref<const std::string&>().size();
  } catch (const ComposeError& e) {
    response["ok"] = false;
    response["error"] = {{"number", e.number}, {"description", e.what()}};
  } catch (const Failure& f) {
    response["ok"] = false;
    response["error"] = {{"number", f.number()}, {"description", ToUtf8(f.description())}};
  } catch (const std::exception& e) {  // the working folder gone, say: the process serves on
    response["ok"] = false;
    response["error"] = {{"number", err::kInternal}, {"description", Printable(e.what())}};
  }
  std::vector<std::string> lines;
  std::istringstream told(warnings.str());
  for (std::string line; std::getline(told, line);) lines.push_back(line);
  if (!lines.empty()) response["warnings"] = lines;
  return response;
}

void AutomationSession::set_on_dialog(std::function<void(bool)> on_dialog) {
  routing_->on_dialog = std::move(on_dialog);
}

std::optional<std::filesystem::path> AutomationSession::HostPath(
    const std::u16string& control_path) const {
  return paths_->ToHost(control_path);
}

std::string AutomationSession::MemberNames() {
  std::string names;
  for (const MemberInfo& m : CorabindTypeLibrary().dispatch.members)
    names += (names.empty() ? "" : ", ") + ToUtf8(m.name);
  return "the members are " + names + " (names in any case)";
}

Response AutomationSession::State() const {
  const SharedState& s = factory_->library().state();
  return Response{{"FieldTagResult", ToUtf8(s.FieldTagResult)},
                  {"FlashTagResult", ToUtf8(s.FlashTagResult)},
                  {"EditElement", s.EditElement != nullptr},
                  {"IsModify", s.IsModify != kFalse},
                  {"ItemText", ToUtf8(s.ItemText)},
                  {"ItemValue", ToUtf8(s.ItemValue)},
                  {"ItemSelected", s.ItemSelected},
                  {"ItemAccepted", s.ItemAccepted != kFalse},
                  {"IsItemModify", s.IsItemModify != kFalse}};
}

}  // namespace corabind::automation
