#include "mail/smtp_sender.h"

namespace corabind::mail {

void SendMail(const SmtpOptions& options, const MessageReader& read, std::size_t size) {
  modules::Load<SmtpTransport>()->Send(options, read, size);
}

}  // namespace corabind::mail
