#include "platform/posix/base64_file_encoder_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <atomic>
#include <random>
#include <thread>

#include "core/text.h"
#include "platform/posix/temp_folder.h"

namespace corabind {
namespace {

namespace fs = std::filesystem;

// A plain, obviously right encoder (RFC 2045: 76 characters a line, CRLF
// between lines, none after the last) to compare the fast one against.
std::string Reference(const std::string& bytes) {
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  unsigned bits = 0, held = 0;
  for (unsigned char byte : bytes) {
    held = (held << 8) | byte, bits += 8;
    while (bits >= 6) text += alphabet[(held >> (bits -= 6)) & 63];
  }
  if (bits) text += alphabet[(held << (6 - bits)) & 63];
  while (text.size() % 4) text += '=';
  for (std::size_t at = 76; at < text.size(); at += 78) text.insert(at, "\r\n");
  return text;
}

TEST(Base64EncodingTest, MatchesRfc2045LinesForEverySizeAroundALine) {
  EXPECT_EQ(Reference("fooba"), "Zm9vYmE=");  // the reference itself
  std::mt19937 random(7);
  for (std::size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 113u, 114u, 115u, 1000u, 65536u}) {
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    std::u16string out(Base64TextLength(size), u'?');
    EncodeBase64Lines(reinterpret_cast<const unsigned char*>(bytes.data()), size, out.data());
    EXPECT_EQ(ToUtf8(out), Reference(bytes)) << size;
  }
}

TEST(PosixBase64FileEncoderTest, ReadsOnlyWhatThePolicyAllows) {
  testing::TempFolder dir;
  fs::create_directories(dir.path() / "mail/img");
  fs::create_directories(dir.path() / "mail/folder");
  fs::create_directories(dir.path() / "shared");
  fs::create_directories(dir.path() / "secret");
  testing::WriteBytes(dir.path() / "mail/img/a.gif", "GIF89a");
  testing::WriteBytes(dir.path() / "shared/logo.png", "PNG");
  testing::WriteBytes(dir.path() / "secret/key", "secret");
  fs::create_symlink(dir.path() / "secret/key", dir.path() / "mail/link.gif");
  // Control paths here are host paths below the temporary folder, "-" none.
  const HostPathResolver resolve = [&](std::u16string_view p) -> std::optional<fs::path> {
    if (p == u"-") return std::nullopt;
    return dir.path() / ToUtf8(p);
  };
  struct Case {
    std::u16string path;
    std::string text;                    // when it reads
    std::optional<ReadProblem> problem;  // otherwise
  };
  const Case cases[] = {
      {u"mail/img/a.gif", "R0lGODlh", {}},
      {u"mail/img/../img/a.gif", "R0lGODlh", {}},
      {u"shared/logo.png", "UE5H", {}},
      {u"secret/key", "", ReadProblem::kRefused},
      {u"mail/../secret/key", "", ReadProblem::kRefused},
      {u"mail/link.gif", "", ReadProblem::kRefused},  // a link leading out
      {u"mail/none.gif", "", ReadProblem::kNotFound},
      {u"mail/folder", "", ReadProblem::kNotFound},
      {u"-", "", ReadProblem::kNotFound},
  };
  std::vector<ReadProblem> told;
  PosixBase64FileEncoderFactory factory(
      resolve, ReadPolicy::ConfinedTo({dir.path() / "mail", dir.path() / "shared", "/nonexistent"}),
      [&](const std::u16string&, const auto&, ReadProblem problem) { told.push_back(problem); });
  auto encoder = factory.Create();
  for (const Case& c : cases) {
    told.clear();
    EXPECT_EQ(encoder->EncodeFile(c.path, FileRead::kBinary, Base64Lines::kBrokenAt76), !c.problem)
        << ToUtf8(c.path);
    EXPECT_EQ(ToUtf8(encoder->EncodedText()), c.text) << ToUtf8(c.path);
    EXPECT_EQ(told, c.problem ? std::vector{*c.problem} : std::vector<ReadProblem>{});
  }
  // Unconfined, the same encoder reads anything it can find.
  auto open = PosixBase64FileEncoderFactory(resolve).Create();
  EXPECT_TRUE(open->EncodeFile(u"mail/link.gif", FileRead::kBinary, Base64Lines::kBrokenAt76));
  EXPECT_EQ(ToUtf8(open->EncodedText()), "c2VjcmV0");
  open->Clear();
  EXPECT_EQ(open->EncodedText(), u"");
}

// A folder on the way swapped for a link to outside between the check and
// the open must not let the outside file in.
TEST(PosixBase64FileEncoderTest, ASwapRaceCannotLeadOutside) {
  testing::TempFolder dir;
  // A long way below the swapped folder widens the window between a check
  // and an open by name, so that the old fault shows within the loop.
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "d/";
  fs::create_directories(dir.path() / "mail/img" / deep);
  fs::create_directories(dir.path() / "outside" / deep);
  testing::WriteBytes(dir.path() / "mail/img" / deep / "a.gif", "inside");
  testing::WriteBytes(dir.path() / "outside" / deep / "a.gif", "secret");
  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "mail/swap");
  const std::string img = (dir.path() / "mail/img").string(),
                    swap = (dir.path() / "mail/swap").string();
  std::atomic<bool> done = false;
  std::thread swapper([&] {
    while (!done) ::renameat2(AT_FDCWD, img.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
  });
  PosixBase64FileEncoderFactory factory(
      [&](std::u16string_view p) -> std::optional<fs::path> { return dir.path() / ToUtf8(p); },
      ReadPolicy::ConfinedTo({dir.path() / "mail"}));
  auto encoder = factory.Create();
  int leaked = 0;
  const std::u16string path = FromUtf8("mail/img/" + deep + "a.gif");
  for (int i = 0; i < 2000; ++i) {
    encoder->EncodeFile(path, FileRead::kBinary, Base64Lines::kBrokenAt76);
    leaked += encoder->EncodedText() == u"c2VjcmV0";
  }
  done = true;
  swapper.join();
  EXPECT_EQ(leaked, 0);
}

}  // namespace
}  // namespace corabind
