#include "serve/serve_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <thread>

#include "automation/automation_session.h"
#include "automation/exit_status.h"
#include "automation/mail_composer.h"
#include "control/type_library.h"
#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/mail_writer.h"
#include "mail/smtp_sender.h"
#include "modules/screen.h"
#include "serve/bridge.h"
#include "serve/launch_page.h"
#include "serve/mail_folder.h"

namespace corabind::serve {

namespace {

using nlohmann::json;

struct ServeOptions {
  int port = 0;
  bool open = false;
  bool no_display = false;
  bool allow_ui_scripts = false;
  std::string folder;
  std::vector<std::string> allow_roots;
  std::vector<std::string> drives;
  std::size_t max_body = std::size_t{32} << 20;
  int busy_wait_ms = 10000;
};

constexpr std::string_view kOpenMember = "GetLocalHTMLFile";
constexpr int kSecretWords = 8;  // 256 bits
constexpr int kTokenWords = 4;   // 128 bits

// `words` times 32 bits from the system's entropy source, as hex.
std::string NewSecret(int words) {
  std::random_device entropy;
  std::string out;
  for (int i = 0; i < words; ++i) {
    char word[9];
    std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(entropy()));
    out += word;
  }
  return out;
}

// The names of the control's properties: corabind.js reads them as
// properties and calls every other name as a method.
json PropertyNames() {
  json names = json::array();
  for (const auto& member : CorabindTypeLibrary().dispatch.members) {
    if (member.kind == MemberKind::kProperty) names.push_back(ToUtf8(member.name));
  }
  return names;
}

std::string Refusal(const std::string& why) {
  return json{{"refused", why}}.dump();
}

json ParseBody(const std::string& body, int& status) {
  json request;
  try {
    request = automation::ParseRequest(body);
  } catch (const std::exception&) {  // not JSON, or nested too deep
    status = 400;
    return request;
  }
  if (!request.is_object()) status = 400;
  return request;
}

// Composes the editor's mail from {"html", "folder"} and the mail
// request's keys ("from", "to", "cc", "bcc", "reply-to", "subject",
// "list-unsubscribe", "no-text", "dkim-key"...), and hands it to `use`.
// Nothing that names a file to put into the message is taken: a page could
// name any file of the user's. Returns the refusal to answer with, or "" when
// all went well.
std::string WithMail(const std::string& body, const MailFolder& folder, int& status,
                     std::initializer_list<std::string_view> others,
                     const std::function<void(mail::Mail&)>& use) {
  const json request = ParseBody(body, status);
  if (status != 200) {
    status = 400;
    return Refusal("takes {\"html\":\"...\",\"folder\":\"...\",\"from\",\"to\",\"subject\"}");
  }
  std::ostringstream problems;
  try {
    std::vector<std::string> roots;
    for (const auto& root : folder.allow_roots()) roots.push_back(root.string());
    mail::Mail message = automation::ComposeJson(
        request, folder.folder().string(), others,
        {"attach", "text", "allow-root", "drive", "allow-hard-links"}, {problems, true}, roots);
    use(message);
    return {};
  } catch (const automation::ComposeError& e) {
    problems << e.what();
  } catch (const Failure& f) {
    problems << ToUtf8(f.description());
  } catch (const std::exception& e) {  // nothing may end the server
    problems << Printable(e.what());
  }
  status = 422;
  return Refusal(problems.str());
}

// After the person opened a mail file, its folder is the mail's: where its
// relative references are shown from, composed from, and new images go.
// The answer tells the page which folder that is.
void FollowOpenedFile(automation::AutomationSession& session, const json& request, automation::Response& response,
                      MailFolder& folder) {
  const std::string method = request.value("method", "");
  const auto same = [](unsigned char a, unsigned char b) {
    return std::tolower(a) == std::tolower(b);
  };
  if (request.value("op", "") != "call" || !response.value("ok", false) ||
      response.value("ended", "") != "accepted" ||
      !std::equal(method.begin(), method.end(), kOpenMember.begin(), kOpenMember.end(), same))
    return;
  const automation::Response base =
      session.Answer({{"op", "call"}, {"control", request["control"]}, {"method", "getBaseURL"}});
  if (!base.value("ok", false) || !base["result"].is_string()) return;
  const auto host = session.HostPath(FromUtf8(base["result"].get<std::string>()));
  if (!host) return;
  try {
    folder.set_folder(*host);
  } catch (const Failure&) {
    return;  // no longer a folder: the mail's stays where it was
  }
  response["folder"] = folder.folder().string();
}

// The opener gets a page that leads to `url`, never `url` itself: a
// command line is readable by every local user.
std::unique_ptr<LaunchPage> OpenInBrowser(const std::string& url) {
  std::unique_ptr<LaunchPage> page;
  try {
    page = std::make_unique<LaunchPage>(url);
  } catch (const Failure& f) {
    std::cerr << "corabind serve: " << ToUtf8(f.description())
              << "; open the address above yourself\n";
    return page;
  }
  if (!StartOpener(page->file_url()))
    std::cerr << "corabind serve: cannot start the browser ($BROWSER or xdg-open); open "
              << page->file_url() << " or the address above yourself\n";
  return page;
}

int Serve(const ServeOptions& options) {
  // Signals are taken by one thread of our own, never by whichever thread
  // the kernel picks (the server's threads inherit this mask).
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR2}) sigaddset(&stop_signals, s);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  auto mail_folder = std::make_shared<MailFolder>(
      options.folder.empty() ? std::filesystem::current_path()
                             : std::filesystem::path(options.folder),
      std::vector<std::filesystem::path>(options.allow_roots.begin(), options.allow_roots.end()),
      false);
  automation::AutomationSession::LiveDesktopMaker live;
  std::unique_ptr<modules::Screen> screen;
  if (!options.no_display) {
    try {
      screen = modules::Load<modules::Screen>();
    } catch (const Failure& f) {
      throw Failure(f.number(), f.description() + u"; give --no-display to serve without dialogs");
    }
    // Only a display that reaches a user: a dialog nobody can see would hold
    // every call after it.
    if (screen->WhyNoDisplay()) {
      screen.reset();
    } else {
      screen->Start();
      live = [&screen](const PathMap& paths) { return screen->NewDesktop(paths); };
    }
  }
  automation::AutomationSession session(options.drives, live);
  const json properties = PropertyNames();

  BridgeOptions bridge_options;
  bridge_options.secret = NewSecret(kSecretWords);
  bridge_options.folder = mail_folder;
  bridge_options.files_token = NewSecret(kTokenWords);
  bridge_options.max_body = options.max_body;
  bridge_options.busy_wait = std::chrono::milliseconds(options.busy_wait_ms);
  // A page that answers the dialogs itself could write a file the person
  // never chose; it may only where the person asked for that.
  const bool ui_scripts = options.no_display || options.allow_ui_scripts;
  bridge_options.call = [&](const std::string& body, int& status) {
    const json request = ParseBody(body, status);
    if (status != 200) return Refusal("a call is one JSON object");
    if (request.contains("ui") && !ui_scripts) {
      status = 400;
      return Refusal(
          "this server shows its dialogs to the person; a call carries a ui script only when "
          "serve runs with --no-display or --allow-ui-scripts");
    }
    automation::Response response = session.Answer(request);
    if (response.contains("protocol_error")) status = 400;
    FollowOpenedFile(session, request, response, *mail_folder);
    if (response.contains("control") && request.value("op", "") == "create")
      response["properties"] = properties;
    return response.dump(-1, ' ', false, json::error_handler_t::replace);
  };
  bridge_options.compose = [&](const std::string& body, int& status) {
    std::string message;
    const std::string refused =
        WithMail(body, *mail_folder, status, {"html", "folder"}, [&](mail::Mail& m) {
          automation::WriteMessage(m, [&](std::string_view bytes) { message.append(bytes); });
        });
    return refused.empty() ? message : refused;
  };
  bridge_options.send = [&](const std::string& body, int& status) {
    const json request = ParseBody(body, status);
    const std::string server = request.is_object() ? request.value("server", "") : "";
    if (server.empty()) {
      status = 400;
      return Refusal("send needs \"server\": host:port of the SMTP server");
    }
    std::size_t recipients = 0;
    const auto others = {std::string_view("html"), std::string_view("folder"), std::string_view("server")};
    const std::string refused = WithMail(body, *mail_folder, status, others, [&](mail::Mail& m) {
      std::string bytes;
      automation::WriteMessage(m, [&](std::string_view piece) { bytes.append(piece); });
      mail::SmtpOptions smtp;
      smtp.url = server.find("://") == std::string::npos ? "smtp://" + server : server;
      smtp.from = m.envelope_from();
      smtp.recipients = m.recipients();
      recipients = smtp.recipients.size();
      std::size_t at = 0;
      mail::SendMail(
          smtp,
          [&](char* buffer, std::size_t size) {
            const std::size_t n = std::min(size, bytes.size() - at);
            bytes.copy(buffer, n, at);
            at += n;
            return n;
          },
          bytes.size());
    });
    return refused.empty() ? json{{"sent", true}, {"recipients", recipients}}.dump() : refused;
  };
  Bridge bridge(bridge_options);
  session.set_on_dialog([&bridge](bool open) { bridge.SetDialogOpen(open); });
  const int port = bridge.Bind(options.port);
  if (port <= 0) {
    std::cerr << "corabind serve: cannot listen on 127.0.0.1:" << options.port << '\n';
    return automation::kExitFailure;
  }
  // Ends whatever the running call has open on the screen, and whatever it
  // opens after, so the call returns and the server can stop.
  if (screen) bridge.set_interrupt([&screen] { screen->CloseEveryWindowFromNowOn(); });

  std::thread signal_thread([&] {
    int received = 0;
    sigwait(&stop_signals, &received);
    bridge.Stop();
  });
  bridge.Start();
  // The secret travels after '#': browsers never send that part, so it
  // reaches no server log and no Referer.
  const std::string url =
      "http://127.0.0.1:" + std::to_string(port) + "/#secret=" + bridge_options.secret;
  std::cout << "corabind serve: " << url << std::endl;
  std::unique_ptr<LaunchPage> launch_page;
  if (options.open) launch_page = OpenInBrowser(url);

  bridge.ServeCalls();
  pthread_kill(signal_thread.native_handle(), SIGUSR2);
  signal_thread.join();
  std::cout << "corabind serve: stopped" << std::endl;
  return automation::kExitOk;
}

}  // namespace

void AddServeCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ServeOptions>();
  auto* cmd = app.add_subcommand(
      "serve",
      "Serve the control to browser pages on 127.0.0.1, with a mail editor at / (prints the "
      "address with its secret)");
  cmd->add_option("--port", options->port, "Port to listen on (0: any free port)")
      ->capture_default_str();
  cmd->add_flag("--open", options->open,
                "Open the editor in the desktop's browser ($BROWSER or xdg-open), through a "
                "page only you can read");
  cmd->add_flag("--no-display", options->no_display,
                "Show no dialogs even where a display is; calls must carry a ui script");
  cmd->add_flag("--allow-ui-scripts", options->allow_ui_scripts,
                "Let calls carry a ui script that answers the dialogs in the person's place "
                "(implied by --no-display)");
  cmd->add_option("--folder", options->folder,
                  "The mail's folder: where its relative references are read and shown "
                  "from and the page's new images are written (default: the current "
                  "folder; it follows the file the person opens)");
  cmd->add_option("--allow-root", options->allow_roots,
                  "Also show and embed files from this folder and below (repeatable)");
  cmd->add_option("--drive", options->drives,
                  "Map a drive letter to a host folder, e.g. C=/srv/mail (repeatable)");
  cmd->add_option("--max-body", options->max_body, "Largest request body taken, in bytes")
      ->capture_default_str();
  cmd->add_option("--busy-wait", options->busy_wait_ms,
                  "How long a call waits for the one before it, in ms, before it is answered "
                  "busy (503)")
      ->capture_default_str();
  cmd->callback([options, &exit_status] {
    try {
      exit_status = Serve(*options);
    } catch (const Failure& f) {
      std::cerr << "corabind serve: " << ToUtf8(f.description()) << '\n';
      // A --folder or --allow-root that is no folder.
      exit_status = f.number() == err::kPathNotFound ? automation::kExitUsage : automation::kExitFailure;
    }
  });
}

}  // namespace corabind::serve
