// The interactive commands, run as a person would, without a screen.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Outcome {
  int status;
  std::string out;
};

// Runs the built command with the given arguments and environment (and no
// display); stderr goes into the output after "|".
Outcome RunCli(const std::string& args, const std::string& env) {
  const std::string err = (std::filesystem::temp_directory_path() / "corabind_cli_err").string();
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " " +
                              std::string(CORABIND_CLI) + " " + args + " 2>" + err;
  Outcome o{};
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    o.out.append(buffer.data(), n);
  o.status = WEXITSTATUS(pclose(pipe));
  std::ifstream e(err);
  o.out += "|" + std::string(std::istreambuf_iterator<char>(e), {});
  return o;
}

TEST(InteractiveCommandsTest, RunHeadlessFromAUiScript) {
  const auto dir = std::filesystem::temp_directory_path() / "corabind_cli_ui";
  std::filesystem::create_directories(dir);
  auto script = [&](const char* name, const std::string& json) {
    std::ofstream((dir / name).string()) << json;
    return (dir / name).string();
  };
  const std::string ok = script("ok.json", R"([{"form":"TextBoxF","steps":[
      {"type":"Text1","text":"user"},{"type":"Text3","text":"20px"},{"click":"Command1"}]}])");
  const std::string save =
      script("save.json", R"([{"file":"save","path":")" + (dir / "out.htm").string() + R"("}])");
  struct Case {
    std::string args;
    int status;
    std::string out;  // expected start of stdout|stderr
    std::string env = {};
  } cases[] = {
      {"field TEXT --ui-script " + ok, 0,
       "<input type=\"text\" name = \"user\" size = \"20\" >\n|"},
      {"field TEXT", 1, "|corabind field: this command shows a dialog, and no display"},
      {"field TEXT --ui-script " + script("bad.json", "[{\"form\":1}]"), 2,
       "|corabind field: ui[0]: \"form\" must be a string"},
      {"field TEXT --ui-script " + script("late.json", R"([{"form":"TextBoxF","steps":[
          {"click":"Command2"}]},{"file":"open","cancel":true}])"),
       1, "|corabind field: the UI script has 1 entry left"},
      {"field CHECK --ui-script " + ok, 1,
       "|corabind field: error 5: UI script: the form CheckBoxF"},
      {"save " + script("src.htm", "abc") + " --ui-script " + save, 0, "|"},
      // Without its Qt module the command says where it looked; a ui script
      // needs no module.
      {"flash", 1,
       "|corabind flash: cannot use the module /nowhere/qt.so: /nowhere/qt.so: cannot open",
       "CORABIND_QT_MODULE=/nowhere/qt.so"},
      {"field TEXT --ui-script " + ok, 0, "<input type=\"text\"", "CORABIND_QT_MODULE=/nowhere"},
  };
  for (const auto& c : cases) {
    const Outcome o = RunCli(c.args, c.env);
    EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.out;
    EXPECT_EQ(o.out.substr(0, c.out.size()), c.out) << c.args;
  }
  std::ifstream written((dir / "out.htm").string());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "abc\r\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
