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
#include "platform/headless/ui_script.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/html/html_document.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"
#ifdef CORABIND_HAVE_QT
#include "platform/qt/qt_desktop.h"
#endif

namespace corabind::cli {

namespace {

struct DesktopOptions {
  std::string ui_script;
  std::vector<std::string> drives;
};

void AddDesktopOptions(CLI::App& command, DesktopOptions& options) {
  command.add_option("--ui-script", options.ui_script,
                     "Run without a screen: a JSON list of what the user does, in the "
                     "automation protocol's \"ui\" form (docs/automation.md)");
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

int RunCall(const char* command, const DesktopOptions& options, const Call& call) {
  auto paths = std::make_shared<PathMap>();
  for (const auto& mapping : options.drives) paths->MapDriveSpec(mapping);
  Services services;
  services.files = std::make_shared<PosixFileSystem>(paths);

  std::shared_ptr<HeadlessDesktop> headless;
#ifdef CORABIND_HAVE_QT
  std::unique_ptr<qt::QtSession> session;  // outlives the library and its desktop
#endif
  if (!options.ui_script.empty()) {
    nlohmann::json ui;
    try {
      ui = nlohmann::json::parse(ReadFileOrStdin(options.ui_script));
    } catch (const nlohmann::json::exception& e) {
      throw std::invalid_argument(options.ui_script + ": not JSON: " + e.what());
    }
    headless = std::make_shared<HeadlessDesktop>(*paths);
    headless->Push(ParseUiScript(ui));
    services.desktop = headless;
  } else {
#ifdef CORABIND_HAVE_QT
    if (!qt::QtSession::DisplayAvailable()) {
      std::cerr << "corabind " << command
                << ": this command shows a dialog and needs a display (DISPLAY or "
                   "WAYLAND_DISPLAY, or a Qt platform in QT_QPA_PLATFORM); without one, "
                   "give --ui-script FILE\n";
      return kExitFailure;
    }
    session = std::make_unique<qt::QtSession>();
    services.desktop = std::make_shared<qt::QtDesktop>(*paths);
#else
    std::cerr << "corabind " << command
              << ": this build has no Qt desktop; give --ui-script FILE to run without one\n";
    return kExitFailure;
#endif
  }

  Library library(services);
  OrvaneControl control(library);
  const Variant result = call(control);
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
    cmd->add_option("KIND", *kind, "TEXT, PASSWORD, RADIO, CHECK, TEXTAREA or LIST")
        ->required()
        ->check(CLI::IsMember({"TEXT", "PASSWORD", "RADIO", "CHECK", "TEXTAREA", "LIST"}));
    AddDesktopOptions(*cmd, *opts);
    cmd->callback([&exit_status, opts, kind, store] {
      exit_status = Guarded("field", [&] {
        return RunCall("field", *opts, [&](OrvaneControl& c) {
          return InvokeByName(c, u"SetFormField", {Variant(FromUtf8(*kind))});
        });
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
        return RunCall("edit-field", *opts, [&](OrvaneControl& c) {
          return InvokeByName(c, u"ModifyFormField", {Variant(std::shared_ptr<Element>(element))});
        });
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
        return RunCall("flash", *opts,
                       [](OrvaneControl& c) { return InvokeByName(c, u"LoadFlashTag", {}); });
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
        return RunCall("save", *opts, [&](OrvaneControl& c) {
          return InvokeByName(c, u"SaveToLocal",
                              {Variant(text), Variant(u""), Variant::Boolean(false)});
        });
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
        return RunCall("open", *opts,
                       [](OrvaneControl& c) { return InvokeByName(c, u"GetLocalHTMLFile", {}); });
      });
    });
  }
  AddScreenshotsCommand(app, exit_status);
}

}  // namespace corabind::cli
