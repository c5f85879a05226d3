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
#include "modules/screen.h"

namespace corabind::cli {

namespace {

using modules::FormSample;

UiStep Type(std::u16string control, std::u16string text) {
  return UiStep::Type(std::move(control), std::move(text));
}

// What a user of a Korean shop's page might have typed into each dialog:
// field names in ASCII, the text people read partly in Korean.
std::map<std::u16string, std::vector<FormSample>> Samples() {
  std::map<std::u16string, std::vector<FormSample>> s;
  s[u"TextBoxF"] = {{{Type(u"Text1", u"customer_name"), Type(u"Text2", u"홍길동"),
                      Type(u"Text3", u"20"), Type(u"Text4", u"40")}}};
  s[u"MultiTextBoxF"] = {
      {{Type(u"Text1", u"delivery_note"),
        Type(u"Text2", u"부재 시 경비실에 맡겨 주세요.\r\nPlease leave it at the front desk."),
        Type(u"Text3", u"48"), Type(u"Text4", u"4")}}};
  s[u"CheckBoxF"] = {
      {{Type(u"Text1", u"agree_terms"), Type(u"Text2", u"동의"), UiStep::Choose(u"Option2")}}};
  s[u"RadioBoxF"] = {
      {{Type(u"Text1", u"shipping"), Type(u"Text2", u"express"), UiStep::Choose(u"Option1")}}};
  // Three items through the item dialog (drawn on its first showing), the
  // second one chosen.
  s[u"ListBoxF"] = {
      {{Type(u"Text1", u"size"), UiStep::Click(u"Command1"), UiStep::Click(u"Command1"),
        UiStep::Click(u"Command1"), Type(u"Text2", u"3"), UiStep::Select(u"List1", 1)}}};
  const auto item = [](std::u16string text, std::u16string value, int selected) {
    return FormSample{{Type(u"Text1", std::move(text)), Type(u"Text2", std::move(value)),
                       UiStep::Check(u"Check1", selected)},
                      {UiStep::Click(u"Command1")}};
  };
  s[u"ListBoxSub"] = {item(u"Medium (95)", u"M", 1), item(u"Small (90)", u"S", 0),
                      item(u"Large (100)", u"L", 0)};
  s[u"Form1"] = {{{Type(u"Text1", u"Z:\\home\\minji\\영상\\intro.swf"), Type(u"Cwidth", u"640"),
                   Type(u"Cheight", u"360"), UiStep::Check(u"Cloop", 0)}}};
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
  const auto screen = modules::Load<modules::Screen>();
  screen->Start();
  const auto desktop = screen->NewPictureDesktop(folder, Samples());
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

void AddScreenshotsCommand(CLI::App& app, int& exit_status) {
  auto folder = std::make_shared<std::string>();
  auto* cmd = app.add_subcommand(
      "screenshots", "Draw every dialog, filled with sample values, into DIR as PNG files");
  cmd->add_option("DIR", *folder, "Folder for the pictures (created when missing)")->required();
  cmd->callback([&exit_status, folder] {
    try {
      exit_status = Run(*folder);
    } catch (const Failure& f) {
      std::cerr << "corabind screenshots: error " << f.number() << ": " << f.what() << '\n';
      exit_status = kExitFailure;
    }
  });
}

}  // namespace corabind::cli
