// The one gate an address or a header text passes on its way into a
// message or an SMTP envelope, whoever gives it (the command line, the serve
// page, a program): a value that could end a header line or an SMTP command
// (CR, LF, NUL, any other C0 control or DEL, in a display name or a quoted
// local part as much as anywhere) is refused whole, never cleaned up.
#pragma once

#include <string>
#include <string_view>
#include <vector>

typedef struct _InternetAddressList InternetAddressList;

namespace corabind::mail {

struct Mailbox {
  std::string name;     // display name, UTF-8; GMime writes it RFC 2047-encoded
  std::string address;  // local@domain, the domain as its IDNA A-label
  bool utf8_local;      // the local part is not ASCII: needs SMTPUTF8 to be sent
};

// The mailboxes of an RFC 5322 address list (groups flattened). Failure
// kInvalidCall naming `label` (what the value is, such as "--to" or "To"),
// the value made printable, and why, when the text
// holds a control character or bytes that are not UTF-8, does not read as
// addresses, or names a domain that is not a valid host name. When `into` is
// given the parsed addresses, domains as A-labels, are appended to it.
std::vector<Mailbox> ParseAddressList(std::string_view label, std::string_view text,
                                      InternetAddressList* into = nullptr);

// A header's free text (the subject): failure kInvalidCall as above when
// it holds a control character (tabs too: a subject is one line of
// characters) or bytes that are not UTF-8.
void CheckHeaderText(std::string_view label, std::string_view text);

}  // namespace corabind::mail
