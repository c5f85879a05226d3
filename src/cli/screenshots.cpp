#include "cli/screenshots.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "cli/command.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#ifdef CORABIND_HAVE_QT
#include "platform/qt/qt_desktop.h"
#include "platform/qt/screenshot_desktop.h"
#endif

namespace corabind::cli {

#ifdef CORABIND_HAVE_QT
namespace {

UiStep Type(std::u16string control, std::u16string text) {
  return UiStep::Type(std::move(control), std::move(text));
}

// What a user might have typed into each dialog.
std::map<std::u16string, qt::FormSample> Samples() {
  std::map<std::u16string, qt::FormSample> s;
  s[u"TextBoxF"].fill = {Type(u"Text1", u"user"), Type(u"Text2", u"guest"), Type(u"Text3", u"20"),
                         Type(u"Text4", u"16")};
  s[u"MultiTextBoxF"].fill = {Type(u"Text1", u"comment"),
                              Type(u"Text2", u"Write your comment here."), Type(u"Text3", u"40"),
                              Type(u"Text4", u"5")};
  s[u"CheckBoxF"].fill = {Type(u"Text1", u"agree"), Type(u"Text2", u"yes"),
                          UiStep::Choose(u"Option1")};
  s[u"RadioBoxF"].fill = {Type(u"Text1", u"size"), Type(u"Text2", u"L"),
                          UiStep::Choose(u"Option1")};
  // Two items through the item dialog (drawn on its first showing), the
  // first one chosen.
  s[u"ListBoxF"].fill = {Type(u"Text1", u"size"), UiStep::Click(u"Command1"),
                         UiStep::Click(u"Command1"), Type(u"Text2", u"3"),
                         UiStep::Select(u"List1", 0)};
  s[u"ListBoxSub"].fill = {Type(u"Text1", u"Large"), Type(u"Text2", u"L"),
                           UiStep::Check(u"Check1", 1)};
  s[u"ListBoxSub"].close = {UiStep::Click(u"Command1")};
  s[u"Form1"].fill = {Type(u"Text1", u"Z:\\home\\user\\movies\\intro.swf"), Type(u"Cwidth", u"320"),
                      Type(u"Cheight", u"240"), UiStep::Check(u"Cloop", 0)};
  return s;
}

int Run(const std::string& folder) {
  // Pictures look the same everywhere: no display, Qt's own style.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::cerr << "corabind screenshots: cannot create " << folder << ": " << ec.message() << '\n';
    return kExitFailure;
  }
  qt::QtSession session;
  auto desktop = std::make_shared<qt::ScreenshotDesktop>(folder, Samples());
  Services services;
  services.desktop = desktop;
  Library library(services);
  OrvaneControl control(library);
  for (const char16_t* kind : {u"TEXT", u"TEXTAREA", u"CHECK", u"RADIO", u"LIST"}) {
    std::vector<Variant> args{Variant(kind)};
    Invoke(control, u"SetFormField", InvokeKind::kMethod, args);
  }
  Invoke(control, u"LoadFlashTag", InvokeKind::kMethod, {});
  for (const auto& file : desktop->written()) std::cout << file.string() << '\n';
  return kExitOk;
}

}  // namespace
#endif

void AddScreenshotsCommand(CLI::App& app, int& exit_status) {
  auto folder = std::make_shared<std::string>();
  auto* cmd = app.add_subcommand(
      "screenshots", "Draw every dialog, filled with sample values, into DIR as PNG files");
  cmd->add_option("DIR", *folder, "Folder for the pictures (created when missing)")->required();
  cmd->callback([&exit_status, folder] {
#ifdef CORABIND_HAVE_QT
    try {
      exit_status = Run(*folder);
    } catch (const Failure& f) {
      std::cerr << "corabind screenshots: error " << f.number() << ": " << f.what() << '\n';
      exit_status = kExitFailure;
    }
#else
    std::cerr << "corabind screenshots: this build has no Qt desktop\n";
    exit_status = kExitFailure;
#endif
  });
}

}  // namespace corabind::cli
