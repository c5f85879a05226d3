#include "platform/posix/base64_file_encoder_posix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "control/text.h"

namespace corabind {
namespace {

namespace fs = std::filesystem;

// A plain, obviously right encoder to compare the fast one against.
std::string Reference(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string flat;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    flat += alphabet[(v >> 18) & 63];
    flat += alphabet[(v >> 12) & 63];
    flat += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
    flat += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
  }
  std::string lines;
  for (std::size_t i = 0; i < flat.size(); i += 76) {
    if (i) lines += "\r\n";
    lines += flat.substr(i, 76);
  }
  return lines;
}

std::string Encode(const std::string& bytes) {
  std::u16string out(Base64TextLength(bytes.size()), u'?');
  EncodeBase64Lines(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
  return ToUtf8(out);
}

TEST(Base64EncodingTest, MatchesRfc2045LinesForEverySizeAroundALine) {
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode(""), "");
  std::mt19937 random(7);
  for (std::size_t size : {1u, 2u, 3u, 56u, 57u, 58u, 113u, 114u, 115u, 1000u, 65536u}) {
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    const std::string text = Encode(bytes);
    EXPECT_EQ(text, Reference(bytes)) << size;
    EXPECT_NE(text.substr(text.size() >= 2 ? text.size() - 2 : 0), "\r\n") << size;
  }
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corabind-b64-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  void Write(const fs::path& relative, const std::string& bytes) const {
    fs::create_directories((path_ / relative).parent_path());
    std::ofstream(path_ / relative, std::ios::binary) << bytes;
  }

 private:
  fs::path path_;
};

TEST(PosixBase64FileEncoderTest, ReadsOnlyWhatThePolicyAllows) {
  TempDir dir;
  dir.Write("mail/img/a.gif", "GIF89a");
  dir.Write("shared/logo.png", "PNG");
  dir.Write("secret/key", "secret");
  fs::create_symlink(dir.path() / "secret/key", dir.path() / "mail/link.gif");
  fs::create_directories(dir.path() / "mail/folder");
  // Control paths here are host paths below the temporary folder, "-" none.
  const HostPathResolver resolve = [&](std::u16string_view p) -> std::optional<fs::path> {
    if (p == u"-") return std::nullopt;
    return dir.path() / ToUtf8(p);
  };
  struct Case {
    std::u16string path;
    bool ok;
    std::string text;
    std::optional<ReadProblem> problem;
  };
  const Case cases[] = {
      {u"mail/img/a.gif", true, "R0lGODlh", std::nullopt},
      {u"mail/img/../img/a.gif", true, "R0lGODlh", std::nullopt},
      {u"shared/logo.png", true, "UE5H", std::nullopt},
      {u"secret/key", false, "", ReadProblem::kRefused},
      {u"mail/../secret/key", false, "", ReadProblem::kRefused},
      {u"mail/link.gif", false, "", ReadProblem::kRefused},  // a link leading out
      {u"mail/none.gif", false, "", ReadProblem::kNotFound},
      {u"mail/folder", false, "", ReadProblem::kNotFound},
      {u"-", false, "", ReadProblem::kNotFound},
  };
  std::vector<std::pair<std::u16string, ReadProblem>> told;
  PosixBase64FileEncoderFactory factory(
      resolve, ReadPolicy::ConfinedTo({dir.path() / "mail", dir.path() / "shared", "/nonexistent"}),
      [&](const std::u16string& p, const auto&, ReadProblem problem) {
        told.push_back({p, problem});
      });
  auto encoder = factory.Create();
  for (const Case& c : cases) {
    told.clear();
    EXPECT_EQ(encoder->EncodeFile(c.path, false, true), c.ok) << ToUtf8(c.path);
    EXPECT_EQ(ToUtf8(encoder->EncodedText()), c.text) << ToUtf8(c.path);
    if (c.problem) {
      ASSERT_EQ(told.size(), 1u) << ToUtf8(c.path);
      EXPECT_EQ(told[0].second, *c.problem) << ToUtf8(c.path);
    } else {
      EXPECT_TRUE(told.empty()) << ToUtf8(c.path);
    }
  }
  // Unconfined, the same encoder reads anything it can find.
  auto open = PosixBase64FileEncoderFactory(resolve).Create();
  EXPECT_TRUE(open->EncodeFile(u"mail/link.gif", false, true));
  EXPECT_EQ(ToUtf8(open->EncodedText()), "c2VjcmV0");
  open->Clear();
  EXPECT_EQ(open->EncodedText(), u"");
}

}  // namespace
}  // namespace corabind
