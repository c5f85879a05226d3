// The core reaches the platform only through the interfaces in src/control:
// no file of the control, mime, fields, flash or localfile folders includes
// Gumbo, Qt or a platform header.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace {

TEST(CoreHeadersTest, CoreIncludesNeitherGumboNorQtNorPlatform) {
  const std::filesystem::path src = std::filesystem::path(CORABIND_SOURCE_DIR) / "src";
  const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
  const std::regex forbidden(R"((^|/)(gumbo|Q[A-Za-z]*|qt[A-Za-z]*)(\.h)?$|^platform/)");
  int files = 0;
  for (const char* folder : {"control", "mime", "fields", "flash", "localfile"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src / folder)) {
      if (!entry.is_regular_file()) continue;
      ++files;
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, include)) {
          EXPECT_FALSE(std::regex_search(m[1].str(), forbidden)) << entry.path() << ": " << line;
        }
      }
    }
  }
  EXPECT_GT(files, 10);
}

}  // namespace
