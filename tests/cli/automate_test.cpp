// Drives the built `corabind automate` through its JSON Lines protocol, as
// a host in another language would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class AutomateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("corabind-automate-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs one process over `requests` and returns one response per line.
  std::vector<json> Run(const std::vector<std::string>& requests, const std::string& options = "") {
    const fs::path in = dir_ / "in.jsonl", out = dir_ / "out.jsonl";
    {
      std::ofstream f(in, std::ios::binary);
      for (const auto& r : requests) f << r << '\n';
    }
    const std::string command = std::string(CORABIND_CLI) + " automate " + options + " <'" + in.string() + "' >'" +
                                out.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<json> responses;
    std::ifstream f(out, std::ios::binary);
    for (std::string line; std::getline(f, line);) responses.push_back(json::parse(line));
    return responses;
  }

  fs::path dir_;
};

TEST_F(AutomateTest, BadInputIsAProtocolErrorAndTheProcessGoesOn) {
  const std::string huge = "{\"id\":9,\"op\":\"document\",\"html\":\"" + std::string(5000, 'x') + "\"}";
  const auto r = Run({"not json", R"({"id":1,"op":"launch"})", R"({"id":2,"op":"create"})",
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
  EXPECT_EQ(r[4]["error"]["number"], 13) << "an argument the member cannot take is the member's type mismatch";
  EXPECT_EQ(r[8]["result"], "");
  EXPECT_EQ(r[8]["id"], 7);
}

}  // namespace
