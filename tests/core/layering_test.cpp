// The house has floors: each folder of src/ includes only its own floor and
// the floors below it, and the floors up to the control include neither Gumbo,
// Qt nor any platform header. A new include that runs upwards fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

// The floor of each project folder. The four jobs share one floor and may not
// include each other; nor may the platforms above the POSIX layer.
const std::map<std::string, int> kFloor = {
    {"core", 1},
    {"mime", 2},
    {"fields", 2},
    {"flash", 2},
    {"localfile", 2},
    {"control", 3},
    {"platform/posix", 4},
    {"modules", 5},
    {"platform/html", 6},
    {"platform/headless", 6},
    {"platform/qt", 6},
    {"mail", 6},
    {"server", 7},
    {"automation", 8},
    {"capi", 9},
    {"cli", 10},
    {"serve", 10},
    {"app", 11},
};
const std::set<std::string> kJobs = {"mime", "fields", "flash", "localfile"};

// "platform/posix/path_map.h" -> "platform/posix"; "core/text.h" -> "core".
std::string FolderOf(const std::string& include) {
  const auto slash = include.find('/');
  if (slash == std::string::npos) return {};
  std::string first = include.substr(0, slash);
  if (first == "platform") {
    const auto second = include.find('/', slash + 1);
    return second == std::string::npos ? first : include.substr(0, second);
  }
  return first;
}

TEST(LayeringTest, NoIncludeRunsUpwardsAndTheCoreStaysPortable) {
  const std::filesystem::path src = std::filesystem::path(CORABIND_SOURCE_DIR) / "src";
  const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  const std::regex foreign(
      R"((^|/)(gumbo|Q[A-Za-z]*|qt[A-Za-z]*)(\.h)?$|^(unistd|fcntl|dlfcn)\.h$|^sys/)");
  const std::regex qt(R"((^|/)(Q[A-Za-z]*|qt[A-Za-z]*)(\.h)?$)");
  int files = 0;
  for (const auto& [folder, floor] : kFloor) {
    if (!std::filesystem::exists(src / folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(src / folder)) {
      if (!entry.is_regular_file()) continue;
      ++files;
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, include)) continue;
        const std::string target = m[2].str();
        if (floor <= 3) {
          EXPECT_FALSE(std::regex_search(target, foreign)) << entry.path() << ": " << line;
        }
        // Above the platforms Qt is reached only through the screen module.
        if (floor > kFloor.at("platform/qt") && m[1] == "<") {
          EXPECT_FALSE(std::regex_search(target, qt)) << entry.path() << ": " << line;
        }
        if (m[1] != "\"") continue;
        const std::string to = FolderOf(target);
        const auto it = kFloor.find(to);
        ASSERT_NE(it, kFloor.end()) << entry.path() << " includes an unknown folder: " << line;
        EXPECT_LE(it->second, floor) << entry.path() << " includes upwards: " << line;
        if (kJobs.count(folder) && kJobs.count(to)) {
          EXPECT_EQ(to, folder) << entry.path() << " includes another job: " << line;
        }
        // The command line and serve both sit on the automation room; neither
        // reaches into the other.
        if (floor == kFloor.at("cli") && it->second == floor) {
          EXPECT_EQ(to, folder) << entry.path() << " includes the other command room: " << line;
        }
        if (floor == 6 && it->second == 6) {
          EXPECT_EQ(to, folder) << entry.path() << " includes another platform: " << line;
        }
      }
    }
  }
  EXPECT_GT(files, 60);
}

}  // namespace
