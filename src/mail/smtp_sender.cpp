#include "mail/smtp_sender.h"

namespace corabind::mail {

Sent SendMail(const SmtpOptions& options, const MessageReader& read, std::size_t size) {
  return modules::Load<SmtpTransport>()->Send(options, read, size);
}

}  // namespace corabind::mail
