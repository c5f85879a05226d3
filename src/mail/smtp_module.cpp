// The entry point of corabind-smtp.so: SMTP over libcurl, which only this
// module links.
#include <curl/curl.h>

#include <memory>

#include "core/failure.h"
#include "core/text.h"
#include "mail/smtp_sender.h"
#include "modules/module_loader.h"

namespace corabind::mail {

namespace {

void InitCurl() {
  static const CURLcode status = curl_global_init(CURL_GLOBAL_DEFAULT);  // once per process
  if (status != CURLE_OK) throw Failure(err::kInternal, u"libcurl could not be set up");
}

struct Transfer {
  const MessageReader* read;
  const SmtpOptions* options;
  std::size_t size;
  std::string last_reply;    // the server's last response lines
  std::string last_refusal;  // its last 4xx or 5xx reply: why it said no
  std::string reply_so_far;
};

std::size_t ReadBody(char* buffer, std::size_t size, std::size_t count, void* data) {
  auto* t = static_cast<Transfer*>(data);
  try {
    return (*t->read)(buffer, size * count);
  } catch (...) {
    return CURL_READFUNC_ABORT;
  }
}

// Keeps the server's last reply, every line of it, for the error message.
int Debug(CURL*, curl_infotype type, char* text, std::size_t size, void* data) {
  auto* t = static_cast<Transfer*>(data);
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(text, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!t->reply_so_far.empty()) t->reply_so_far += " / ";
  t->reply_so_far += line;
  // "250-..." continues a reply; "250 ..." ends it.
  if (line.size() < 4 || line[3] != '-') {
    t->last_reply = std::move(t->reply_so_far);
    t->reply_so_far.clear();
    if (!t->last_reply.empty() && (t->last_reply[0] == '4' || t->last_reply[0] == '5')) {
      t->last_refusal = t->last_reply;
    }
  }
  return 0;
}

int Progress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto* t = static_cast<Transfer*>(data);
  if (t->options->progress) t->options->progress(static_cast<std::size_t>(sent), t->size);
  return 0;
}

std::string HostOf(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
  char* host = nullptr;
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
    return {};
  }
  std::string text = host;
  curl_free(host);
  return text;
}

// Whether the host of an smtp:// or smtps:// URL is this machine
// (localhost, 127.0.0.0/8, ::1).
bool IsLoopbackUrl(const std::string& url) {
  const std::string host = HostOf(url);
  return host == "localhost" || host == "[::1]" || host == "::1" || host.rfind("127.", 0) == 0;
}

void Send(const SmtpOptions& options, const MessageReader& read, std::size_t size) {
  InitCurl();
  const bool smtps = options.url.rfind("smtps://", 0) == 0;
  if (!smtps && options.url.rfind("smtp://", 0) != 0) {
    throw Failure(err::kInvalidCall, FromUtf8("not an smtp:// or smtps:// URL: " + options.url));
  }
  if (options.from.empty()) throw Failure(err::kInvalidCall, u"no sender for the envelope");
  if (options.recipients.empty()) throw Failure(err::kInvalidCall, u"no recipient");
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw Failure(err::kInternal, u"libcurl could not be set up");
  CURL* c = curl.get();
  Transfer transfer{&read, &options, size, {}, {}, {}};
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> recipients(nullptr,
                                                                         curl_slist_free_all);
  for (const std::string& r : options.recipients) {
    curl_slist* grown = curl_slist_append(recipients.get(), ("<" + r + ">").c_str());
    if (!grown) throw Failure(err::kInternal, u"out of memory");
    recipients.release();
    recipients.reset(grown);
  }
  const Tls tls = options.tls                  ? *options.tls
                  : IsLoopbackUrl(options.url) ? Tls::kTry
                                               : Tls::kRequired;
  char error[CURL_ERROR_SIZE] = "";
  const std::string mail_from = "<" + options.from + ">";
  curl_easy_setopt(c, CURLOPT_URL, options.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, mail_from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody);
  curl_easy_setopt(c, CURLOPT_READDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_USE_SSL,
                   tls == Tls::kRequired ? CURLUSESSL_ALL
                   : tls == Tls::kTry    ? CURLUSESSL_TRY
                                         : CURLUSESSL_NONE);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);  // the replies reach Debug, and only it
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, Debug);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, options.progress ? 0L : 1L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  if (!options.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, options.user.c_str());
    if (!options.password.empty()) {
      curl_easy_setopt(c, CURLOPT_PASSWORD, options.password.c_str());
    } else {
      curl_easy_setopt(c, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    }
  }
  const CURLcode status = curl_easy_perform(c);
  if (status == CURLE_OK) return;
  std::string text = error[0] != '\0' ? error : curl_easy_strerror(status);
  const std::string& reply =
      transfer.last_refusal.empty() ? transfer.last_reply : transfer.last_refusal;
  if (!reply.empty() && status != CURLE_COULDNT_CONNECT) text += "; the server said: " + reply;
  throw Failure(err::kDeviceIo, FromUtf8(text));
}

class CurlTransport : public SmtpTransport {
 public:
  void Send(const SmtpOptions& options, const MessageReader& read, std::size_t size) override {
    mail::Send(options, read, size);
  }
};

}  // namespace
}  // namespace corabind::mail

extern "C" __attribute__((visibility("default"))) unsigned corabind_smtp_module(unsigned wanted,
                                                                                void** made) {
  return corabind::modules::Make<corabind::mail::SmtpTransport, corabind::mail::CurlTransport>(
      wanted, made);
}
