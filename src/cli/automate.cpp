#include "cli/automate.h"

#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/command.h"
#include "cli/describe.h"
#include "cli/json_values.h"
#include "control/type_library.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/headless/ui_script.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"
#include "server/component_server.h"
#include "server/dispatch_object.h"

namespace corabind::cli {

using nlohmann::json;
// Responses keep their keys in the order written: id and ok first.
using Response = nlohmann::ordered_json;

namespace {

// Reads one line of at most `max` bytes. A longer line is consumed to its
// end and reported, so one bad request cannot exhaust memory or stall.
enum class LineRead { kLine, kTooLong, kEnd };
LineRead ReadLine(std::istream& in, std::string& line, std::size_t max) {
  line.clear();
  bool any = false, too_long = false;
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    any = true;
    if (c == '\n') break;
    if (line.size() < max) {
      line.push_back(static_cast<char>(c));
    } else {
      too_long = true;
    }
  }
  if (!any) return LineRead::kEnd;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return too_long ? LineRead::kTooLong : LineRead::kLine;
}

class Session {
 public:
  explicit Session(const AutomateOptions& options) {
    auto paths = std::make_shared<PathMap>();
    for (const auto& mapping : options.drives) paths->MapDriveSpec(mapping);
    paths_ = paths;
    desktop_ = std::make_shared<HeadlessDesktop>(*paths_);

    // The same road a script host takes: the class factory of the loaded
    // library, then late-bound calls.
    void* factory = nullptr;
    const std::string clsid = ToUtf8(kClassId);
    if (DllGetClassObject(clsid.c_str(), &factory) != kS_OK || !factory) {
      throw Failure(err::kCannotCreateObject, u"The library does not serve its own class");
    }
    factory_ = static_cast<ClassFactory*>(factory);
    factory_->library().set_services(
        Services{desktop_, std::make_shared<PosixFileSystem>(paths_),
                 std::make_shared<PosixBase64FileEncoderFactory>(ResolveThrough(paths_))});
  }

  Response Handle(const json& request) {
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
    } else {
      throw ProtocolError("unknown op " + Quoted(op) +
                          "; the ops are create, release, document, call, get, put, state, "
                          "describe");
    }
    return response;
  }

 private:
  std::string ControlHandle(const json& request) const {
    if (!request.contains("control") || !request["control"].is_string())
      throw ProtocolError("\"control\" is missing");
    return request["control"];
  }

  DispatchObject& Control(const json& request) {
    const auto it = controls_.find(ControlHandle(request));
    if (it == controls_.end()) {
      std::string known;
      for (const auto& [name, object] : controls_) known += (known.empty() ? "" : ", ") + name;
      throw ProtocolError("unknown control handle " + Quoted(ControlHandle(request)) + "; " +
                          (known.empty() ? "no control was created (op create)"
                                         : "the controls are " + DiagnosticText(known)));
    }
    return *it->second;
  }

  Response Invoke(const std::string& op, const json& request, Response& response) {
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
    desktop_->ClearScript();
    desktop_->ClearEvents();
    desktop_->ClearScriptError();
    if (request.contains("ui")) desktop_->Push(ParseUiScript(request["ui"]));

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
    response["events"] = EventsToJson(desktop_->events());
    // The user's script must be used up exactly by what opened. When the
    // member failed on its own (a missing or wrong argument, say) before
    // the script could be used, that failure is the answer.
    std::string mismatch;
    if (desktop_->script_error()) {
      mismatch = ToUtf8(*desktop_->script_error());
    } else if (!desktop_->ScriptDone()) {
      const std::string unused =
          std::to_string(desktop_->Remaining()) + " entry(ies) of the ui script were not used";
      if (failed) {
        response["ui_unused"] = unused;
      } else {
        mismatch = unused;
      }
    }
    desktop_->ClearScript();
    if (!mismatch.empty()) {
      Response error{
          {"id", response["id"]}, {"ok", false}, {"protocol_error", "ui script: " + mismatch}};
      error["events"] = response["events"];
      return error;
    }
    return response;
  }

  static std::string MemberNames() {
    std::string names;
    for (const MemberInfo& m : CorabindTypeLibrary().dispatch.members)
      names += (names.empty() ? "" : ", ") + ToUtf8(m.name);
    return "the members are " + names + " (names in any case)";
  }

  Response State() const {
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

  std::shared_ptr<const PathMap> paths_;
  std::shared_ptr<HeadlessDesktop> desktop_;
  ClassFactory* factory_ = nullptr;
  std::map<std::string, std::shared_ptr<DispatchObject>> controls_;
  DocumentTable documents_;
  int next_control_ = 1;
};

// Nesting deeper than this is refused while parsing: the JSON library copies,
// prints and compares values recursively, and a request 100,000 levels deep
// would overflow the stack. No request of the protocol needs more than a few.
constexpr int kMaxJsonDepth = 64;

json ParseRequest(const std::string& line) {
  return json::parse(line, [](int depth, json::parse_event_t event, json&) {
    if (depth >= kMaxJsonDepth &&
        (event == json::parse_event_t::object_start || event == json::parse_event_t::array_start)) {
      throw ProtocolError("request nested deeper than " + std::to_string(kMaxJsonDepth) +
                          " levels");
    }
    return true;
  });
}

Response ProtocolErrorResponse(const json& id, const std::string& what) {
  return Response{{"id", id}, {"ok", false}, {"protocol_error", what}};
}

}  // namespace

int RunAutomate(std::istream& in, std::ostream& out, const AutomateOptions& options) {
  Session session(options);
  std::string line;
  for (;;) {
    const LineRead read = ReadLine(in, line, options.max_line_bytes);
    if (read == LineRead::kEnd) break;
    Response response;
    if (read == LineRead::kTooLong) {
      response = ProtocolErrorResponse(
          nullptr, "request line longer than " + std::to_string(options.max_line_bytes) + " bytes");
    } else if (line.find_first_not_of(" \t") == std::string::npos) {
      continue;
    } else {
      json request;
      json id = nullptr;
      try {
        request = ParseRequest(line);
        if (request.is_object() && request.contains("id")) id = request["id"];
        response = session.Handle(request);
      } catch (const json::exception& e) {
        response = ProtocolErrorResponse(id, "invalid request: " + DiagnosticText(e.what()));
      } catch (const ProtocolError& e) {
        response = ProtocolErrorResponse(id, e.what());
      } catch (const std::invalid_argument& e) {  // a malformed ui script
        response = ProtocolErrorResponse(id, e.what());
      } catch (const Failure& f) {
        // A failure outside a member call (for instance a document that
        // cannot be parsed) is the request's fault.
        response = ProtocolErrorResponse(id, ToUtf8(FormatUnexpectedError(f)));
      }
    }
    out << response.dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
  }
  return kExitOk;
}

void AddAutomateCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("automate",
                                 "Call the control by name through JSON Lines on stdin/stdout (one "
                                 "process is one loaded library). "
                                 "The protocol is described in docs/automation.md.");
  auto options = std::make_shared<AutomateOptions>();
  cmd->add_option("--drive", options->drives,
                  "Map a drive letter to a host folder, e.g. C=/srv/mail (repeatable)");
  cmd->add_option("--max-line", options->max_line_bytes, "Longest request line taken, in bytes")
      ->capture_default_str();
  auto reference = std::make_shared<bool>(false);
  cmd->add_flag("--reference", *reference,
                "Print the members and dialogs, as the describe request gives them, in Markdown "
                "(the reference part of docs/automation.md) and exit");
  cmd->callback([options, reference, &exit_status] {
    if (*reference) {
      std::cout << DescribeMarkdown(DescribeControl());
      exit_status = kExitOk;
      return;
    }
    try {
      exit_status = RunAutomate(std::cin, std::cout, *options);
    } catch (const Failure& f) {
      std::cerr << "corabind automate: " << ToUtf8(f.description()) << '\n';
      exit_status = kExitFailure;
    }
  });
}

}  // namespace corabind::cli
