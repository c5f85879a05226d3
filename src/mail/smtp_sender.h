// Sending a message over SMTP: STARTTLS, AUTH, the envelope, and the
// server's own words when it says no. The work is done by libcurl in the
// module corabind-smtp.so, opened on the first send, so that no other
// command loads libcurl.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "modules/module_loader.h"

namespace corabind::mail {

enum class Tls {
  kRequired,  // STARTTLS or smtps://, or no send at all
  kTry,       // STARTTLS when the server offers it
  kNone,      // plain text
};

struct SmtpOptions {
  std::string url;  // smtp://host[:port] or smtps://host[:port]
  // Unset: required, except to a loopback address where it is tried.
  std::optional<Tls> tls;
  std::string user;      // AUTH when not empty
  std::string password;  // with `user`; empty: from ~/.netrc
  std::string from;      // envelope sender (bare address)
  std::vector<std::string> recipients;
  // Certificates to trust instead of the system's (PEM); "" for the system's.
  std::string ca_file;
  // Called now and then with the bytes sent so far and the total.
  std::function<void(std::size_t sent, std::size_t total)> progress;
};

// Reads the next bytes of the message into the buffer; 0 at its end.
using MessageReader = std::function<std::size_t(char* buffer, std::size_t size)>;

// How a message went out.
struct Sent {
  // An address's local part is not ASCII, so the server was asked to take
  // it under SMTPUTF8, which it offered.
  bool smtputf8 = false;
};

// Sends `size` bytes read through `read`. Returns only once the server has
// accepted the data; otherwise Failure quoting the server's last refusal (or
// what failed: the connection, the TLS handshake, or why the module cannot
// be used). An address whose local part is not ASCII is only sent to a
// server that offers SMTPUTF8: otherwise Failure kNotSupported naming it,
// before MAIL FROM.
Sent SendMail(const SmtpOptions& options, const MessageReader& read, std::size_t size);

// What the module gives.
class SmtpTransport {
 public:
  static constexpr modules::ModuleName kModule = {"corabind-smtp.so", "CORABIND_SMTP_MODULE",
                                                  "corabind_smtp_module", 2};
  virtual ~SmtpTransport() = default;
  // As SendMail.
  virtual Sent Send(const SmtpOptions& options, const MessageReader& read, std::size_t size) = 0;
};

}  // namespace corabind::mail
