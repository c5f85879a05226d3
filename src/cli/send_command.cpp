#include "cli/send_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "automation/mail_composer.h"
#include "cli/command.h"
#include "cli/compose_command.h"
#include "core/failure.h"
#include "core/printable.h"
#include "mail/address.h"
#include "mail/dkim_signer.h"
#include "mail/mail_writer.h"
#include "mail/smtp_sender.h"

namespace corabind::cli {

namespace {

struct SendOptions {
  ComposeOptions compose;
  std::string eml;  // a message composed before, instead of MAIL
  std::string smtp, tls, user;
  std::string cacert;  // "" for CURL_CA_BUNDLE, SSL_CERT_FILE, else the system's
};

using File = std::unique_ptr<FILE, decltype(&std::fclose)>;

// The envelope of a message composed before: from the options alone.
void EnvelopeFromOptions(const mail::MailRequest& options, mail::SmtpOptions& smtp) {
  if (options.from.empty()) throw UsageError{"--eml needs --from for the envelope"};
  automation::CheckRequest(options);
  smtp.from = mail::ParseAddressList("--from", options.from).front().address;
  for (const auto& [label, list] : {std::pair{"--to", &options.to}, std::pair{"--cc", &options.cc},
                                    std::pair{"--bcc", &options.bcc}}) {
    for (const std::string& text : *list) {
      for (mail::Mailbox& m : mail::ParseAddressList(label, text))
        smtp.recipients.push_back(std::move(m.address));
    }
  }
}

// The DKIM-Signature field for the message in `file` as it stands, read
// once; the file is left at its start.
std::string SignFile(const mail::DkimKey& key, FILE* file) {
  mail::DkimSigner signer(key);
  std::string buffer(std::size_t{1} << 18, '\0');
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file)) {
    signer.Feed(std::string_view(buffer.data(), n));
  }
  if (std::ferror(file)) throw RunError{"cannot read the message"};
  std::rewind(file);
  return signer.Finish();
}

int Send(const SendOptions& options, std::ostream& err) {
  mail::SmtpOptions smtp;
  smtp.url = options.smtp;
  if (options.tls == "required") smtp.tls = mail::Tls::kRequired;
  if (options.tls == "try") smtp.tls = mail::Tls::kTry;
  if (options.tls == "none") smtp.tls = mail::Tls::kNone;
  smtp.user = options.user;
  if (const char* password = std::getenv("CORABIND_SMTP_PASSWORD")) smtp.password = password;
  smtp.ca_file = options.cacert;
  for (const char* variable : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    const char* file = std::getenv(variable);
    if (smtp.ca_file.empty() && file) smtp.ca_file = file;
  }
  if (!smtp.ca_file.empty() && ::access(smtp.ca_file.c_str(), R_OK) != 0) {
    throw UsageError{"cannot read the certificates " + Printable(smtp.ca_file) + ": " +
                     std::strerror(errno)};
  }

  File file(nullptr, &std::fclose);
  // The DKIM-Signature field, sent in front of the message: made while the
  // message is written (or, for --eml, read once) into the file.
  std::string head;
  if (!options.eml.empty()) {
    if (!options.compose.mail.empty()) throw UsageError{"give MAIL.html or --eml FILE, not both"};
    EnvelopeFromOptions(options.compose.request, smtp);
    file.reset(std::fopen(options.eml.c_str(), "rb"));
    if (!file) throw RunError{"cannot read " + Printable(options.eml) + ": " + std::strerror(errno)};
    if (const auto key = automation::LoadDkimKey(options.compose.request, {err, options.compose.quiet})) head = SignFile(*key, file.get());
  } else {
    if (options.compose.mail.empty()) throw UsageError{"give MAIL.html or --eml FILE"};
    // Written to an unnamed temporary file first: the server is only
    // contacted once the whole message exists.
    const mail::Mail message = ComposeForSending(options.compose, err);
    smtp.from = message.envelope_from();
    smtp.recipients = message.recipients();
    if (smtp.from.empty()) throw UsageError{"--from is needed to send"};
    if (smtp.recipients.empty()) throw UsageError{"--to, --cc or --bcc is needed to send"};
    file.reset(std::tmpfile());
    if (!file) throw RunError{std::string("cannot make a temporary file: ") + std::strerror(errno)};
    std::optional<mail::DkimSigner> signer;
    if (message.dkim()) signer.emplace(*message.dkim());
    message.Write([&](std::string_view bytes) {
      if (signer) signer->Feed(bytes);
      if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        throw RunError{std::string("cannot write a temporary file: ") + std::strerror(errno)};
      }
    });
    if (std::fflush(file.get()) != 0) throw RunError{"cannot write a temporary file"};
    if (signer) head = signer->Finish();
  }
  if (smtp.recipients.empty()) throw UsageError{"--to, --cc or --bcc is needed to send"};
  if (std::fseek(file.get(), 0, SEEK_END) != 0) throw RunError{"cannot read the message"};
  const long body = std::ftell(file.get());
  std::rewind(file.get());
  if (body < 0) throw RunError{"cannot read the message"};
  const std::size_t size = head.size() + static_cast<std::size_t>(body);

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  std::size_t shown = 0;
  if (terminal) {
    smtp.progress = [&](std::size_t sent, std::size_t total) {
      if (total < (1u << 20) || sent - shown < (1u << 18)) return;
      shown = sent;
      err << "\rcorabind send: " << sent * 100 / total << "% of " << total / 1024 << " KiB"
          << std::flush;
    };
  }
  const mail::Sent sent = mail::SendMail(
      smtp,
      [&, sent_head = std::size_t{0}](char* buffer, std::size_t length) mutable {
        if (sent_head < head.size()) {
          const std::size_t n = std::min(length, head.size() - sent_head);
          std::memcpy(buffer, head.data() + sent_head, n);
          sent_head += n;
          return n;
        }
        const std::size_t n = std::fread(buffer, 1, length, file.get());
        if (n == 0 && std::ferror(file.get())) throw RunError{"cannot read the message"};
        return n;
      },
      size);
  if (shown) err << '\n';
  err << "corabind send: accepted by the server for " << smtp.recipients.size() << " recipient(s), "
      << size << " bytes" << (sent.smtputf8 ? ", under SMTPUTF8 (an address is not ASCII)" : "")
      << '\n';
  return kExitOk;
}

int RunSend(const SendOptions& options, std::ostream& err) {
  return RunCommand(
      "send", err, [&] { return Send(options, err); }, {}, err::kInvalidCall);
}

}  // namespace

void AddSendCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<SendOptions>();
  CLI::App* send = app.add_subcommand(
      "send", "Compose a mail as compose does (or take one composed before) and send it over SMTP");
  send->add_option("MAIL", options->compose.mail, "The HTML file of the mail");
  send->add_option("--eml", options->eml, "Send this message file, composed before, instead");
  send->add_option("--smtp", options->smtp, "The server: smtp://host[:port] or smtps://host[:port]")
      ->required();
  send->add_option("--tls", options->tls,
                   "required (the default, except to this machine), try (STARTTLS when offered) "
                   "or none")
      ->check(CLI::IsMember({"required", "try", "none"}));
  send->add_option("--user", options->user,
                   "Log in as this user; the password comes from CORABIND_SMTP_PASSWORD or "
                   "~/.netrc, never from the command line");
  send->add_option("--cacert", options->cacert,
                   "Trust the certificates in this PEM file instead of the system's (default: "
                   "$CURL_CA_BUNDLE, else $SSL_CERT_FILE, else the system's)");
  AddMailOptions(*send, options->compose);
  send->callback([options, &exit_status] { exit_status = RunSend(*options, std::cerr); });
}

}  // namespace corabind::cli
