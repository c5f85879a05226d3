// What a person meets at the command line, as one table: the built binary
// run with arguments, standard input and environment, and the exit status
// and messages it must give.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/command_output.h"

namespace {

namespace fs = std::filesystem;
using corabind::testing::Slurp;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

struct Case {
  std::string args;  // after "corabind"; @DIR@ is the case's folder
  std::string stdin_text;
  std::string env;  // extra VAR=value settings; no display is set otherwise
  int status;
  std::vector<std::string> in_err;  // each must appear on standard error
  std::string in_out;               // must appear on standard output ("" for any)
  std::vector<std::string> not_in_err = {};
};

TEST(CommandLineTest, EachCommandTellsTheUserWhatHappenedAndExitsAccordingly) {
  std::string pattern = (fs::temp_directory_path() / "corabind-cli-XXXXXX").string();
  const fs::path dir = ::mkdtemp(pattern.data());
  const std::string d = dir.string();
  auto write = [&](const std::string& name, const std::string& bytes) {
    fs::create_directories((dir / name).parent_path());
    std::ofstream(dir / name, std::ios::binary) << bytes;
  };
  write("mail/ok.html", "<p>kept</p>");
  fs::create_hard_link(dir / "mail/ok.html", dir / "mail/link.html");
  write("mail/empty.html", "");
  write("mail/latin1.html", "<p>one</p>\n<p>Caf\xE9</p>");
  write("mail/pic.gif", "GIF89a");
  write("mail/pic.html", "<img src=\"pic.gif\">");
  write("mail/rooted.html", "<img src=\"" + d + "/shared.png\">");
  write("mail/drive.html", "<img src=\"C:\\mail\\inside.png\">");
  write("mail/escape.html", "<img src=\"bad\x1B[31m\nname.gif\">");
  write("mail/long.html", "<img src=\"" + std::string(1 << 20, 'x') + ".gif\">");
  ::mkfifo((dir / "mail/fifo").c_str(), 0600);
  { std::ofstream big(dir / "mail/big.html"); }
  fs::resize_file(dir / "mail/big.html", (std::uintmax_t{64} << 20) + 1);  // sparse
  write("cancel.json", R"([{"form":"TextBoxF","steps":[{"click":"Command2"}]}])");
  write("close.json", R"([{"form":"TextBoxF","steps":[{"close":true}]}])");
  write("save.json", R"([{"file":"save","path":")" + d + R"(/none/x.htm"}])");
  write("nosave.json", R"([{"file":"save","cancel":true}])");
  const std::string ok_ui =
      R"([{"form":"TextBoxF","steps":[{"type":"Text1","text":"user"},{"click":"Command1"}]}])";

  std::vector<Case> cases = {
      // compose: what it reads.
      {"compose mail/ok.html -o mail/ok.html", "", "", 2, {"is the mail mail/ok.html itself"}},
      {"compose mail/ok.html -o mail/link.html", "", "", 2, {"itself; nothing written"}},
      {"compose mail", "", "", 1, {"mail is a folder"}},
      {"compose mail/fifo", "", "", 1, {"not a regular file"}},
      {"compose /dev/zero", "", "", 1, {"not a regular file"}},
      {"compose mail/big.html", "", "", 1, {"larger than 67108864 bytes"}},
      {"compose mail/empty.html", "", "", 0, {"warning: mail/empty.html is empty"}},
      {"compose mail/latin1.html", "", "", 1, {"not valid UTF-8 at line 2", "--input-charset"}},
      {"compose --get-images-layout --input-charset latin1 --encoding utf-8 mail/latin1.html",
       "",
       "",
       0,
       {},
       "Caf\xC3\xA9"},
      {"compose --input-charset no-such mail/ok.html", "", "", 2, {"--input-charset no-such"}},
      {"compose - --get-images-layout --encoding utf-8",
       "<img src=\"mail/pic.gif\">",
       "",
       0,
       {},
       "Content-ID: <mail/pic.gif>"},
      // compose: files that cannot be embedded, named as the host sees them.
      {"compose mail/rooted.html",
       "",
       "",
       1,
       {"(tried " + d + "/mail" + d + "/shared.png)", "read from the mail's folder"}},
      {"compose mail/drive.html", "", "", 1, {"drive C: is not mapped", "--drive C=/host/folder"}},
      {"compose --drive C=@DIR@ mail/drive.html", "", "", 1, {"(tried " + d + "/mail/inside.png)"}},
      {"compose mail/escape.html",
       "",
       "",
       1,
       {"bad\\x1B[31m\\nname.gif: not found"},
       "",
       {"\x1B", "\r"}},
      {"compose mail/long.html",
       "",
       "",
       1,
       {"bytes in all): not found"},
       "",
       {std::string(1000, 'x')}},
      // compose: what it says on success.
      {"compose mail/pic.html -o out.eml",
       "",
       "",
       0,
       {"corabind: composed out.eml: 2 parts (the HTML and 1 file), "}},
      {"compose --list mail/pic.html -o out.eml",
       "",
       "",
       0,
       {"embeds pic.gif <- " + d + "/mail/pic.gif (6 bytes)"}},
      // Dialog commands.
      {"field TEXT", "", "QT_QPA_PLATFORM=offscreen", 1, {"shows no window", "--ui-script"}},
      {"field TEXT", "", "DISPLAY=:97", 1, {"cannot open the X display DISPLAY=:97"}},
      {"field text --ui-script -", ok_ui, "", 0, {}, "name = \"user\""},
      {"field Text --ui-script cancel.json", "", "", 1, {"cancelled"}},
      {"field TEXT --ui-script close.json", "", "", 1, {"cancelled"}},
      {"save --ui-script nosave.json -", "<p>x</p>", "", 1, {"cancelled"}},
      {"save --ui-script save.json -",
       "<p>x</p>",
       "",
       1,
       {"error 76", d + "/none/x.htm"},
       "",
       {"Z:\\"}},
      // Conventions.
      {"", "", "", 2, {"corabind: no command given", "Usage:"}},
      {"frobnicate",
       "",
       "",
       2,
       {"corabind: unknown command 'frobnicate'", "compose, send, automate, field"}},
      {"compose", "", "", 2, {"corabind compose: MAIL is required"}},
      {"--version", "", "", 0, {}, "corabind 1."},
  };
  for (const char* command : {"compose", "send", "automate", "field", "edit-field", "flash", "save",
                              "open", "screenshots", "serve"}) {
    cases.push_back(
        {std::string(command) + " --help",
         "",
         "",
         0,
         {},
         // send's example shows where its password comes from first.
         "Example:\n  " +
             std::string(command == std::string("send") ? "CORABIND_SMTP_PASSWORD=... " : "") +
             "corabind " + command});
  }
  // Hangs are what some of these cases used to do; the guard only ends them.
  for (const Case& c : cases) {
    const std::string args = Replace(c.args, "@DIR@", d);
    write("stdin", c.stdin_text);
    const std::string command =
        "cd '" + d + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + c.env +
        " timeout 60 " + CORABIND_CLI + " " + args + " <stdin >stdout 2>stderr";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const std::string out = Slurp(dir / "stdout"), err = Slurp(dir / "stderr");
    EXPECT_EQ(status, c.status) << args << "\n" << err;
    for (const auto& text : c.in_err)
      EXPECT_NE(err.find(text), std::string::npos) << args << "\n" << err;
    for (const auto& text : c.not_in_err) EXPECT_EQ(err.find(text), std::string::npos) << args;
    EXPECT_NE(out.find(c.in_out), std::string::npos) << args << "\n" << out.substr(0, 300);
    if (c.status != 0) {
      EXPECT_EQ(out, "") << args;
    }
    EXPECT_LT(err.size(), 4000u) << args;
  }
  EXPECT_EQ(Slurp(dir / "mail/ok.html"), "<p>kept</p>") << "the mail is never written over";
  // Quiet means nothing at all on success.
  write("stdin", "");
  const std::string quiet =
      "cd '" + d + "' && " + CORABIND_CLI + " compose -q mail/pic.html -o out.eml 2>stderr";
  EXPECT_EQ(std::system(quiet.c_str()), 0);
  EXPECT_EQ(Slurp(dir / "stderr"), "");
  fs::remove_all(dir);
}

}  // namespace
