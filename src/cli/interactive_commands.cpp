#include "cli/interactive_commands.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/command.h"
#include "cli/screenshots.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#include "modules/screen.h"
#include "platform/headless/headless_desktop.h"
#include "platform/headless/ui_script.h"
#include "platform/html/html_document.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"

namespace corabind::cli {

namespace {

struct DesktopOptions {
  std::string ui_script;
  std::vector<std::string> drives;
};

void AddDesktopOptions(CLI::App& command, DesktopOptions& options) {
  command.add_option("--ui-script", options.ui_script,
                     "Run without a screen: FILE (or - for standard input) holds a JSON list of "
                     "what the user does, in the automation protocol's \"ui\" form "
                     "(docs/automation.md)");
  command.add_option("--drive", options.drives,
                     "Map a drive letter of the control's paths to a host folder, as X=/folder "
                     "(repeatable; Z: is / unless mapped)");
}

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ReadFileOrStdin(const std::string& name) {
  if (name == "-") return ReadAll(std::cin);
  std::ifstream in(name, std::ios::binary);
  if (!in) throw std::invalid_argument("cannot read " + name);
  return ReadAll(in);
}

// The result as the page would receive it; a line end is added unless the
// text is empty or already ends with one.
void PrintResult(const Variant& result) {
  const std::string text = ToUtf8(result.ToText());
  std::cout << text;
  if (!text.empty() && text.back() != '\n') std::cout << '\n';
  std::cout.flush();
}

using Call = std::function<Variant(OrvaneControl&)>;

// Passes everything to the real desktop and notes what the user chose in a
// file dialog and which messages were shown, so a cancel can be told from
// an empty result and a control path in an error can be named as the host
// path it stands for.
class WatchedDesktop : public Desktop {
 public:
  explicit WatchedDesktop(std::shared_ptr<Desktop> inner) : inner_(std::move(inner)) {}
  void ShowModal(Form& form) override { inner_->ShowModal(form); }
  void MessageBox(const std::u16string& text) override {
    ++message_boxes;
    inner_->MessageBox(text);
  }
  void ShowOpen(FileDialog& dialog) override {
    inner_->ShowOpen(dialog);
    Note(dialog);
  }
  void ShowSave(FileDialog& dialog) override {
    inner_->ShowSave(dialog);
    Note(dialog);
  }

  bool file_cancelled = false;
  std::u16string chosen;  // the control path of the last file chosen
  int message_boxes = 0;

 private:
  void Note(const FileDialog& dialog) {
    file_cancelled = dialog.file_name.empty();
    if (!file_cancelled) chosen = dialog.file_name;
  }
  std::shared_ptr<Desktop> inner_;
};

// Control paths in `text` written as the host paths they stand for.
std::string WithHostPaths(const std::u16string& text, const std::u16string& control_path,
                          const PathMap& paths) {
  std::u16string out = text;
  const auto host = control_path.empty() ? std::nullopt : paths.ToHost(control_path);
  if (!host) return ToUtf8(out);
  const std::u16string replacement = FromUtf8(host->string());
  for (std::size_t at = 0; (at = out.find(control_path, at)) != std::u16string::npos;) {
    out.replace(at, control_path.size(), replacement);
    at += replacement.size();
  }
  return ToUtf8(out);
}

// What the user did, beyond the result: how the command should end.
enum class Ending { kResult, kCancelled };
using Judge = std::function<Ending(const Variant& result, const WatchedDesktop& desktop)>;

// The dialogs' own commands: an empty result means Cancel or a closed window,
// as no accepted dialog returns empty markup.
Ending EmptyIsCancel(const Variant& result, const WatchedDesktop&) {
  return result.ToText().empty() ? Ending::kCancelled : Ending::kResult;
}
Ending FileCancel(const Variant&, const WatchedDesktop& desktop) {
  return desktop.file_cancelled ? Ending::kCancelled : Ending::kResult;
}

int RunCall(const char* command, const DesktopOptions& options, const Call& call,
            const Judge& judge) {
  auto paths = std::make_shared<PathMap>();
  for (const auto& mapping : options.drives) paths->MapDriveSpec(mapping);
  Services services;
  services.files = std::make_shared<PosixFileSystem>(paths);

  std::shared_ptr<HeadlessDesktop> headless;
  std::shared_ptr<Desktop> desktop;
  std::unique_ptr<modules::Screen> screen;  // outlives the library and its desktop
  if (!options.ui_script.empty()) {
    nlohmann::json ui;
    try {
      ui = nlohmann::json::parse(ReadFileOrStdin(options.ui_script));
    } catch (const nlohmann::json::exception& e) {
      throw std::invalid_argument(options.ui_script + ": not JSON: " + e.what());
    }
    headless = std::make_shared<HeadlessDesktop>(*paths);
    headless->Push(ParseUiScript(ui));
    desktop = headless;
  } else {
    try {
      screen = modules::Load<modules::Screen>();
    } catch (const Failure& f) {
      std::cerr << "corabind " << command << ": " << f.what()
                << "; give --ui-script FILE to run without a screen\n";
      return kExitFailure;
    }
    // Asked before the toolkit starts: it aborts on a display it cannot
    // open, and waits for ever on a platform that shows nothing.
    if (const auto why = screen->WhyNoDisplay()) {
      std::cerr << "corabind " << command << ": this command shows a dialog, and " << *why
                << "; give --ui-script FILE (or - for standard input) to run without a screen\n";
      return kExitFailure;
    }
    screen->Start();
    desktop = screen->NewDesktop(*paths);
  }

  const auto watched = std::make_shared<WatchedDesktop>(desktop);
  services.desktop = watched;
  Library library(services);
  OrvaneControl control(library);
  Variant result;
  try {
    result = call(control);
  } catch (const Failure& f) {
    std::cerr << "corabind " << command << ": error " << f.number() << ": "
              << WithHostPaths(f.description(), watched->chosen, *paths) << '\n';
    return kExitFailure;
  }
  if (headless) {
    for (const auto& text : headless->MessageBoxes())
      std::cerr << "message box: " << ToUtf8(text) << '\n';
    if (!headless->ScriptDone()) {
      std::cerr << "corabind " << command << ": the UI script has " << headless->Remaining()
                << " entr" << (headless->Remaining() == 1 ? "y" : "ies")
                << " left that nothing opened\n";
      return kExitFailure;
    }
  }
  if (judge(result, *watched) == Ending::kCancelled) {
    std::cerr << "corabind " << command << ": cancelled; nothing done\n";
    return kExitFailure;
  }
  // A file that could not be opened is told in a message box, and the
  // method returns no text.
  if (watched->message_boxes > 0 && result.ToText().empty()) return kExitFailure;
  PrintResult(result);
  return kExitOk;
}

// Runs a command body, turning failures into a message and an exit status.
int Guarded(const char* command, const std::function<int()>& body) {
  try {
    return body();
  } catch (const Failure& f) {
    std::cerr << "corabind " << command << ": error " << f.number() << ": " << f.what() << '\n';
  } catch (const std::invalid_argument& e) {
    std::cerr << "corabind " << command << ": " << e.what() << '\n';
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "corabind " << command << ": " << e.what() << '\n';
  }
  return kExitFailure;
}

Variant InvokeByName(OrvaneControl& control, std::u16string_view name, std::vector<Variant> args) {
  return Invoke(control, name, InvokeKind::kMethod, args);
}

}  // namespace

void AddInteractiveCommands(CLI::App& app, int& exit_status) {
  // Options live as long as the app's callbacks may run.
  auto store = std::make_shared<std::vector<std::shared_ptr<void>>>();
  auto keep = [store](auto value) {
    store->push_back(value);
    return value.get();
  };

  {
    auto* opts = keep(std::make_shared<DesktopOptions>());
    auto* kind = keep(std::make_shared<std::string>());
    auto* cmd = app.add_subcommand(
        "field", "Describe a new form field in its dialog and print the markup (SetFormField)");
    cmd->add_option("KIND", *kind, "TEXT, PASSWORD, RADIO, CHECK, TEXTAREA or LIST, in any case")
        ->required()
        ->check(CLI::IsMember({"TEXT", "PASSWORD", "RADIO", "CHECK", "TEXTAREA", "LIST"},
                              CLI::ignore_case));
    AddDesktopOptions(*cmd, *opts);
    cmd->callback([&exit_status, opts, kind, store] {
      exit_status = Guarded("field", [&] {
        return RunCall(
            "field", *opts,
            [&](OrvaneControl& c) {
              return InvokeByName(c, u"SetFormField", {Variant(AsciiUpper(FromUtf8(*kind)))});
            },
            EmptyIsCancel);
      });
    });
  }
  {
    auto* opts = keep(std::make_shared<DesktopOptions>());
    auto* markup = keep(std::make_shared<std::string>());
    auto* cmd = app.add_subcommand(
        "edit-field",
        "Edit the first element of an HTML fragment in its dialog and print the new markup "
        "(ModifyFormField)");
    cmd->add_option("HTML", *markup, "The field's markup, e.g. '<input type=password name=pw>'")
        ->required();
    AddDesktopOptions(*cmd, *opts);
    cmd->callback([&exit_status, opts, markup, store] {
      exit_status = Guarded("edit-field", [&] {
        // Parsed before any window opens, so bad markup fails at once.
        auto element = html::ParseElement(std::string_view(*markup));
        return RunCall(
            "edit-field", *opts,
            [&](OrvaneControl& c) {
              return InvokeByName(c, u"ModifyFormField",
                                  {Variant(std::shared_ptr<Element>(element))});
            },
            EmptyIsCancel);
      });
    });
  }
  {
    auto* opts = keep(std::make_shared<DesktopOptions>());
    auto* cmd = app.add_subcommand(
        "flash", "Choose a Flash movie and its options and print the markup (LoadFlashTag)");
    AddDesktopOptions(*cmd, *opts);
    cmd->callback([&exit_status, opts, store] {
      exit_status = Guarded("flash", [&] {
        return RunCall(
            "flash", *opts, [](OrvaneControl& c) { return InvokeByName(c, u"LoadFlashTag", {}); },
            EmptyIsCancel);
      });
    });
  }
  {
    auto* opts = keep(std::make_shared<DesktopOptions>());
    auto* source = keep(std::make_shared<std::string>("-"));
    auto* cmd = app.add_subcommand(
        "save", "Save HTML source to a file chosen in a save dialog (SaveToLocal)");
    cmd->add_option("FILE", *source, "Where the source text comes from; - (the default) is stdin");
    AddDesktopOptions(*cmd, *opts);
    cmd->callback([&exit_status, opts, source, store] {
      exit_status = Guarded("save", [&] {
        const std::u16string text = FromUtf8(ReadFileOrStdin(*source));
        return RunCall(
            "save", *opts,
            [&](OrvaneControl& c) {
              return InvokeByName(c, u"SaveToLocal",
                                  {Variant(text), Variant(u""), Variant::Boolean(false)});
            },
            FileCancel);
      });
    });
  }
  {
    auto* opts = keep(std::make_shared<DesktopOptions>());
    auto* cmd = app.add_subcommand(
        "open", "Print the text of a file chosen in an open dialog (GetLocalHTMLFile)");
    AddDesktopOptions(*cmd, *opts);
    cmd->callback([&exit_status, opts, store] {
      exit_status = Guarded("open", [&] {
        return RunCall(
            "open", *opts,
            [](OrvaneControl& c) { return InvokeByName(c, u"GetLocalHTMLFile", {}); }, FileCancel);
      });
    });
  }
  AddScreenshotsCommand(app, exit_status);
}

}  // namespace corabind::cli
