// The modules as the command opens them: the real Qt and SMTP modules, and
// the ways a module can be wrong.
#include "modules/module_loader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "core/failure.h"
#include "core/text.h"
#include "mail/smtp_sender.h"
#include "modules/screen.h"

namespace {

using corabind::modules::ModuleName;

TEST(ModuleLoaderTest, OpensAGoodModuleAndRefusesAWrongOneByName) {
  struct Case {
    ModuleName name;
    std::string error;  // expected part of the failure; empty: it loads
  } cases[] = {
      {corabind::modules::Screen::kModule, ""},
      {corabind::mail::SmtpTransport::kModule, ""},
      {{"corabind-smtp.so", "CORABIND_SMTP_MODULE", "corabind_smtp_module", 3},
       CORABIND_SMTP_MODULE_PATH ": it implements version 2 of its interface, and this program "
                                 "needs version 3 (set CORABIND_SMTP_MODULE"},
      {{"corabind-smtp.so", "CORABIND_SMTP_MODULE", "corabind_screen_module", 1},
       "undefined symbol: corabind_screen_module"},
      {{"none.so", "CORABIND_TEST_NO_MODULE", "x", 1}, "/nowhere/none.so: cannot open"},
      {{"text.so", "CORABIND_TEST_TEXT_MODULE", "x", 1}, CORABIND_SOURCE_DIR "/README.md: "},
  };
  ::setenv("CORABIND_TEST_NO_MODULE", "/nowhere/none.so", 1);
  ::setenv("CORABIND_TEST_TEXT_MODULE", CORABIND_SOURCE_DIR "/README.md", 1);
  for (const auto& c : cases) {
    try {
      void* made = corabind::modules::OpenModule(c.name);
      EXPECT_TRUE(c.error.empty()) << c.name.entry;
      EXPECT_NE(made, nullptr);
      if (c.name.entry == std::string("corabind_smtp_module"))
        delete static_cast<corabind::mail::SmtpTransport*>(made);
      else
        delete static_cast<corabind::modules::Screen*>(made);
    } catch (const corabind::Failure& f) {
      const std::string text = corabind::ToUtf8(f.description());
      EXPECT_NE(text.find(c.error), std::string::npos) << text;
      EXPECT_FALSE(c.error.empty()) << text;
    }
  }
}

// The command's own start loads neither Qt nor libcurl: only the commands
// that use them open their modules.
TEST(ModuleLoaderTest, TheCommandLinksNeitherQtNorCurl) {
  FILE* pipe = ::popen("ldd " CORABIND_CLI, "r");
  ASSERT_NE(pipe, nullptr);
  std::string libraries;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    libraries.append(buffer.data(), n);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("libQt6"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("libcurl"), std::string::npos) << libraries;
}

}  // namespace
