// Addresses and header text on their way into a message: the list parser
// with display names, groups, quoted local parts and domains to convert,
// and the writer's header block built from what it accepts. Four values
// (From, To, Cc, Subject) are cut from the input. A refusal (failure 5) is
// a fine answer; anything else that escapes, a crash, or a header block in
// which a value started a line of its own, is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/failure.h"
#include "mail/address.h"
#include "mail/mail_writer.h"
#include "platform/html/html_document.h"

namespace {

using namespace corabind;

// Every line of the header block is a folded continuation or starts a
// header GMime writes: a value never makes a line of its own.
void CheckHeaderBlock(const std::string& message) {
  const std::size_t end = message.find("\r\n\r\n");
  for (std::size_t at = 0; at < end;) {
    const std::size_t line_end = message.find("\r\n", at);
    const std::string line = message.substr(at, line_end - at);
    const bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    bool known = false;
    for (const char* name : {"From:", "To:", "Cc:", "Subject:", "Date:", "Message-Id:",
                             "MIME-Version:", "Content-Type:"}) {
      known = known || line.rfind(name, 0) == 0;
    }
    if ((!folded && !known) || line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      std::fprintf(stderr, "a value made a header line of its own:\n%s\n",
                   message.substr(0, end).c_str());
      std::abort();
    }
    at = line_end + 2;
  }
}

const mail::Page& EmptyPage() {
  static const auto document = html::ParseHtml("<p>x</p>");
  static const mail::Page page = [] {
    mail::Page p;
    p.utf8 = "<p>x</p>";
    p.root = document->root();
    p.body = document->body();
    p.document = document;
    p.base = u"C:\\";
    return p;
  }();
  return page;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  mail::MailOptions options;
  options.from = input.ConsumeRandomLengthString(256);
  options.to = {input.ConsumeRandomLengthString(256)};
  options.cc = {input.ConsumeRandomLengthString(256)};
  options.subject = input.ConsumeRandomLengthString(256);
  for (const std::string* list : {&options.from, &options.to[0], &options.cc[0]}) {
    try {
      for (const mail::Mailbox& m : mail::ParseAddressList("To", *list)) {
        for (const char c : m.address) {
          if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
        }
        if (m.address.find('@') == std::string::npos) std::abort();
      }
    } catch (const Failure& f) {
      if (f.number() != err::kInvalidCall) std::abort();
    }
  }
  try {
    const mail::Mail mail = mail::ComposeMail(EmptyPage(), options);
    std::string message;
    mail.Write([&](std::string_view piece) { message += piece; });
    CheckHeaderBlock(message);
  } catch (const Failure& f) {
    if (f.number() != err::kInvalidCall) std::abort();
  }
  return 0;
}
