// Drives the built `corabind automate` through its JSON Lines protocol, as
// a host in another language would.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/posix/temp_folder.h"

#include "support/command_output.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;
using corabind::testing::Slurp;

class AutomateTest : public ::testing::Test {
 protected:
  // Runs one process over `requests` and returns one response per line.
  std::vector<json> Run(const std::vector<std::string>& requests, const std::string& options = "") {
    const fs::path in = dir_ / "in.jsonl", out = dir_ / "out.jsonl";
    {
      std::ofstream f(in, std::ios::binary);
      for (const auto& r : requests) f << r << '\n';
    }
    const std::string command = std::string(CORABIND_CLI) + " automate " + options + " <'" +
                                in.string() + "' >'" + out.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<json> responses;
    std::ifstream f(out, std::ios::binary);
    for (std::string line; std::getline(f, line);) responses.push_back(json::parse(line));
    return responses;
  }

  corabind::testing::TempFolder folder_;
  const fs::path dir_ = folder_.path();
};

TEST_F(AutomateTest, BadInputIsAProtocolErrorAndTheProcessGoesOn) {
  const std::string huge =
      "{\"id\":9,\"op\":\"document\",\"html\":\"" + std::string(5000, 'x') + "\"}";
  const auto r = Run(
      {"not json", R"({"id":1,"op":"launch"})", R"({"id":2,"op":"create"})",
       R"({"id":3,"op":"call","control":"c1","method":"InsertImageInfo","args":[{"mystery":1},"v"]})",
       R"({"id":4,"op":"call","control":"c1","method":"InsertImageInfo","args":["k",{"collection":[]}]})",
       R"({"id":5,"op":"call","control":"c7","method":"getBaseURL"})", huge,
       R"({"id":6,"op":"call","control":"c1","method":"InsertImageInfo","args":["k",4294967296]})",
       R"({"id":7,"op":"call","control":"c1","method":"getBaseURL"})"},
      "--max-line 1000");
  ASSERT_EQ(r.size(), 9u);
  for (std::size_t i : {0u, 1u, 3u, 5u, 6u, 7u}) {
    EXPECT_FALSE(r[i]["ok"]) << r[i];
    EXPECT_TRUE(r[i].contains("protocol_error")) << r[i];
  }
  EXPECT_EQ(r[4]["error"]["number"], 13)
      << "an argument the member cannot take is the member's type mismatch";
  EXPECT_EQ(r[8]["result"], "");
  EXPECT_EQ(r[8]["id"], 7);
}

TEST_F(AutomateTest, DeepOrHugeRequestsAreRefusedShortlyAndTheProcessServesOn) {
  const auto deep = [](const std::string& head, const std::string& tail, int depth) {
    return head + std::string(depth, '[') + std::string(depth, ']') + tail;
  };
  const std::string long_op(50000, 'q');
  const auto r = Run(
      {R"({"id":1,"op":"create"})", deep(R"({"id":)", R"(,"op":"state"})", 100000),
       deep(R"({"id":3,"op":"call","control":"c1","method":"getBaseURL","args":)", "}", 100000),
       deep(R"({"id":4,"op":"put","control":"c1","property":"imageKeys","value":)", "}", 100000),
       R"({"id":5,"op":"state","x":)" + std::string(64, '[') + std::string(64, ']') + "}",
       R"({"id":6,"op":"\u001b)" + long_op + R"("})", R"({"id":7,"op":"document","html":"<p>"})",
       R"({"id":8,"op":"release","document":"d1"})",
       R"({"id":9,"op":"call","control":"c1","method":"GetImagesSub","args":[{"element":{"document":"d1","select":"body"}}]})",
       R"({"id":10,"op":"release","document":"d1"})",
       R"({"id":11,"op":"call","control":"c1","method":"getBaseURL"})"});
  ASSERT_EQ(r.size(), 11u);
  for (std::size_t i : {1u, 2u, 3u, 4u, 5u, 8u, 9u}) {
    ASSERT_TRUE(r[i].contains("protocol_error")) << i;
    EXPECT_LT(r[i].dump().size(), 400u) << "no value is echoed back whole";
  }
  EXPECT_EQ(r[5]["protocol_error"].get<std::string>().find('\x1b'), std::string::npos);
  EXPECT_TRUE(r[7]["ok"]);
  EXPECT_EQ(r[10]["result"], "");
}

TEST_F(AutomateTest, EachJobThroughTheProtocol) {
  { std::ofstream(dir_ / "ab.gif", std::ios::binary) << "GIF89a"; }
  const std::string folder = dir_.string(), movie = (dir_ / "a.swf").string(),
                    page = (dir_ / "page.htm").string();
  { std::ofstream(movie) << "FWS"; }
  const std::vector<std::string> requests = {
      R"({"id":1,"op":"create"})",
      R"({"id":2,"op":"document","html":"<body><img src=ab.gif><select name=s><option value=1 selected>One</select>"})",
      // Mail composition, with the mail's folder on drive C:.
      R"({"id":3,"op":"call","control":"c1","method":"GetImages","args":["<p>hi</p>",{"element":{"document":"d1","select":"body"}},"C:\\",{"document":"d1"},false]})",
      R"({"id":4,"op":"get","control":"c1","property":"imageValues"})",
      // A dialog pre-filled from an element, with the nested option item dialog.
      R"({"id":5,"op":"call","control":"c1","method":"ModifyFormField","args":[{"element":{"document":"d1","select":"select"}},true],"ui":[{"form":"ListBoxF","steps":[{"click":"Command1"},{"click":"Command6"}]},{"form":"ListBoxSub","steps":[{"type":"Text1","text":"Two"},{"click":"Command1"}]}]})",
      R"({"id":6,"op":"state"})",
      // Flash: Search through the dialog's own file dialog, then OK.
      R"({"id":7,"op":"call","control":"c1","method":"LoadFlashTag","ui":[{"form":"Form1","steps":[{"click":"Command1"},{"click":"Command2"}]},{"file":"open","path":")" +
          movie + R"("}]})",
      // Local files.
      R"({"id":8,"op":"call","control":"c1","method":"SaveToLocal","args":["<b>x</b>","",false],"ui":[{"file":"save","path":")" +
          page + R"("}]})",
      R"({"id":9,"op":"call","control":"c1","method":"GetLocalHTMLFile","ui":[{"file":"open","path":")" +
          page + R"("}]})",
      R"({"id":10,"op":"call","control":"c1","method":"getBaseURL"})",
      // A failure the member raises reaches the caller as the page would see it.
      R"({"id":11,"op":"call","control":"c1","method":"GetImagesSub","args":[{"nothing":true}]})",
      R"({"id":12,"op":"call","control":"c1","method":"SetFormField","args":["TEXT"],"ui":[{"form":"CheckBoxF","steps":[]}]})",
  };
  const auto r = Run(requests, "--drive C=" + folder);
  ASSERT_EQ(r.size(), requests.size());
  for (std::size_t i = 0; i < 10; ++i) EXPECT_TRUE(r[i]["ok"]) << r[i];

  const std::string message = r[2]["result"];
  EXPECT_NE(message.find("Content-ID: <ab.gif>\r\n\r\nR0lGODlh\r\n"), std::string::npos);
  EXPECT_EQ(r[3]["result"], json::parse(R"({"collection":["C:\\ab.gif"]})"));

  EXPECT_EQ(
      r[4]["result"],
      R"(<select name="s" size="1" ><option value="1" selected >One</option><option >Two</option></select>)");
  const json& events = r[4]["events"];
  ASSERT_EQ(events.size(), 3u) << events;
  EXPECT_EQ(events[0], json::parse(R"({"messagebox":"Into ModifyFormField"})"));
  EXPECT_EQ(events[1]["form"], "ListBoxF");
  EXPECT_EQ(events[1]["loaded"]["Text1"], "s");
  EXPECT_EQ(events[1]["loaded"]["List1"]["lines"][0], "c          One                           1");
  EXPECT_EQ(events[2]["form"], "ListBoxSub");
  EXPECT_EQ(r[5]["state"]["ItemText"], "Two");
  EXPECT_EQ(r[5]["state"]["IsModify"], false);

  const std::string flash = r[6]["result"];
  EXPECT_NE(flash.find("<PARAM NAME=\"Movie\" VALUE=\"C:\\a.swf\">"), std::string::npos) << flash;
  EXPECT_EQ(r[6]["events"][1]["file"], "open");
  EXPECT_EQ(r[6]["events"][1]["title"], "File Open");

  EXPECT_EQ(r[8]["result"], "<b>x</b>\r\n");
  EXPECT_EQ(r[9]["result"], "C:\\") << "host paths reach the control through the drive mapping";

  EXPECT_FALSE(r[10]["ok"]);
  EXPECT_EQ(r[10]["error"]["number"], 91);
  EXPECT_TRUE(r[11].contains("protocol_error")) << r[11];
}

}  // namespace

namespace {

// The protocol document is read by people who never probe the control: its
// reference part is what `describe` says, and its worked examples answer
// exactly as shown.
TEST_F(AutomateTest, TheProtocolDocumentIsWhatTheControlSays) {
  const std::string doc = Slurp(fs::path(CORABIND_SOURCE_DIR) / "docs/automation.md");
  const std::string begin = "<!-- reference: begin -->\n", end = "<!-- reference: end -->";
  const auto from = doc.find(begin), to = doc.find(end);
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  const std::string reference = (dir_ / "reference.md").string();
  ASSERT_EQ(
      std::system((std::string(CORABIND_CLI) + " automate --reference >" + reference).c_str()), 0);
  EXPECT_EQ(doc.substr(from + begin.size(), to - from - begin.size()), Slurp(reference))
      << "regenerate with: corabind automate --reference";

  std::size_t examples = 0;
  for (auto at = doc.find("$ corabind automate\n"); at != std::string::npos;
       at = doc.find("$ corabind automate\n", at + 1)) {
    std::istringstream block(doc.substr(at, doc.find("```", at) - at));
    std::vector<std::string> requests;
    std::vector<json> expected;
    for (std::string line; std::getline(block, line);) {
      if (!line.starts_with("{")) continue;
      const json value = json::parse(line);
      (value.contains("op") ? requests.emplace_back(line), void() : expected.push_back(value));
    }
    EXPECT_EQ(Run(requests), expected);
    ++examples;
  }
  EXPECT_EQ(examples, 2u);
}

TEST_F(AutomateTest, DescribeAndErrorsNameWhatIsThere) {
  const auto r = Run({
      R"({"id":1,"op":"describe"})",
      R"({"id":2,"op":"create"})",
      // The member's own failure comes first; the unused script is noted.
      R"({"id":3,"op":"call","control":"c1","method":"ModifyFormField","ui":[{"form":"ListBoxF"}]})",
      R"({"id":4,"op":"call","control":"c1","method":"SetFormField","args":[{"collection":[]}],"ui":[{"form":"ListBoxF"}]})",
      R"({"id":5,"op":"call","control":"c1","method":"SetFormField","args":["LIST"],"ui":[{"form":"ListBoxF","steps":[{"click":"Add"}]}]})",
      R"({"id":6,"op":"call","control":"c1","method":"Frobnicate"})",
      R"({"id":7,"op":"frobnicate"})",
      R"({"id":8,"op":"call","control":"c9","method":"getBaseURL"})",
  });
  ASSERT_EQ(r.size(), 8u);
  const json& d = r[0]["describe"];
  json list_box, add, modify;
  for (const auto& f : d["forms"])
    if (f["form"] == "ListBoxF") list_box = f;
  for (const auto& c : list_box["controls"])
    if (c["name"] == "Command1") add = c;
  for (const auto& m : d["members"])
    if (m["name"] == "ModifyFormField") modify = m;
  EXPECT_EQ(add,
            json::parse(R"({"name":"Command1","kind":"button","caption":"Add","step":"click"})"));
  EXPECT_EQ(modify["params"][1],
            json::parse(R"({"name":"debugging","type":"boolean","optional":true})"));
  EXPECT_EQ(d["forms"].size(), 7u);

  EXPECT_EQ(r[2]["error"]["number"], 449) << r[2];
  EXPECT_EQ(r[2]["ui_unused"], "1 entry(ies) of the ui script were not used");
  EXPECT_EQ(r[3]["error"]["number"], 13) << r[3];
  EXPECT_NE(r[4]["protocol_error"].get<std::string>().find("it has Command1 (Add), Command2"),
            std::string::npos)
      << r[4];
  EXPECT_NE(r[5]["hint"].get<std::string>().find("SetFormField"), std::string::npos) << r[5];
  EXPECT_NE(r[6]["protocol_error"].get<std::string>().find("describe"), std::string::npos);
  EXPECT_NE(r[7]["protocol_error"].get<std::string>().find("the controls are c1"),
            std::string::npos);
}

}  // namespace
