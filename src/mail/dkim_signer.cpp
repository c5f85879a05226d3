#include "mail/dkim_signer.h"

#include <fcntl.h>
// The library's header names C's boolean type, which C++ calls bool (the
// same type in the ABI).
#define _Bool bool
#include <opendkim/dkim.h>
#undef _Bool
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <thread>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/address.h"
#include "mail/mail_writer.h"
#include "mail/piece_channel.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/unique_fd.h"

namespace corabind::mail {

namespace {

// The header fields signed when present: who wrote it and to whom, what it
// is about and when, how to read it, and how to leave the list. From is
// signed once more than it occurs, so that no second From can be added.
// clang-format off
constexpr const char* kSignedFields[] = {
    "From", "Sender", "Reply-To", "To", "Cc",
    "Subject", "Date", "Message-ID", "In-Reply-To", "References",
    "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
    "List-Unsubscribe", "List-Unsubscribe-Post",
    nullptr};
// clang-format on
constexpr const char* kOversignedFields[] = {"From", nullptr};

constexpr std::string_view kFieldName = "DKIM-Signature: ";
// A PEM RSA key of 16384 bits is under 13 KiB; anything much larger is not
// a key file.
constexpr off_t kMaxKeyFile = 64 * 1024;

[[noreturn]] void Invalid(const std::string& text) {
  throw Failure(err::kInvalidCall, FromUtf8(text));
}

// A domain name as DNS writes it: dot-separated labels of letters, digits,
// hyphens (and underscores, which selectors use).
bool IsDomainName(std::string_view name) {
  if (name.empty() || name.size() > 253) return false;
  std::size_t label = 0;
  for (const char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') {
      if (++label > 63) return false;
    } else {
      return false;
    }
  }
  return label != 0;
}

// Zeroes the key's bytes before giving their memory back.
void Wipe(std::string& secret) {
  ::explicit_bzero(secret.data(), secret.size());
  secret.clear();
}

}  // namespace

namespace {

// Pieces waiting to be hashed: enough to let the writer run ahead while the
// hash catches up.
constexpr std::size_t kPiecesAhead = 8;

void Check(DKIM* dkim, DKIM_STAT status) {
  if (status == DKIM_STAT_OK) return;
  // The library says why only now and then (never for a header line that
  // is not a field), and then null.
  const char* why = dkim_geterror(dkim);
  std::string text = "the message could not be signed";
  if (why && *why) {
    text += ": " + Printable(why);
  } else if (status == DKIM_STAT_SYNTAX) {
    text += ": its header is not all fields (a name, a colon, a value)";
  }
  throw Failure(err::kInternal, FromUtf8(text));
}

// libopendkim takes its buffers as writable but only reads them.
unsigned char* Bytes(std::string_view bytes) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data()));
}

}  // namespace

// The message is hashed on a thread of its own: hashing it (the library's
// canonicalisation goes byte by byte) takes longer than writing it, and
// would otherwise hold the writing back.
struct DkimSigner::Handles {
  ~Handles() {
    if (hasher.joinable()) {
      pieces.Close();
      hasher.join();
    }
    if (dkim) dkim_free(dkim);
    if (lib) dkim_close(lib);
  }
  void Start() {
    hasher = std::thread(
        [this] { pieces.TakeAll([this](std::string_view piece) { Hash(piece); }, error); });
  }

  void Hash(std::string_view bytes) { Check(dkim, dkim_chunk(dkim, Bytes(bytes), bytes.size())); }

  DKIM_LIB* lib = nullptr;
  DKIM* dkim = nullptr;
  PieceChannel pieces{kPiecesAhead};
  std::thread hasher;
  std::exception_ptr error;  // the hasher's
  std::string spare;
  bool finished = false;
};

DkimSigner::DkimSigner(const DkimKey& key)
    : DkimSigner(key, static_cast<std::uint64_t>(std::time(nullptr))) {}

DkimSigner::DkimSigner(const DkimKey& key, std::uint64_t time)
    : handles_(std::make_unique<Handles>()), key_(key), time_(time) {
  handles_->lib = dkim_init(nullptr, nullptr);
  if (!handles_->lib) throw Failure(err::kOutOfMemory, u"DKIM signing could not start");
  // The library takes each list as a pointer to its first name.
  auto* sign = const_cast<char**>(kSignedFields);
  auto* oversign = const_cast<char**>(kOversignedFields);
  if (dkim_options(handles_->lib, DKIM_OP_SETOPT, DKIM_OPTS_SIGNHDRS, sign, sizeof sign) !=
          DKIM_STAT_OK ||
      dkim_options(handles_->lib, DKIM_OP_SETOPT, DKIM_OPTS_FIXEDTIME, &time_, sizeof time_) !=
          DKIM_STAT_OK ||
      dkim_options(handles_->lib, DKIM_OP_SETOPT, DKIM_OPTS_OVERSIGNHDRS, oversign,
                   sizeof oversign) != DKIM_STAT_OK) {
    throw Failure(err::kInternal, u"DKIM signing could not start");
  }
  DKIM_STAT status = DKIM_STAT_OK;
  handles_->dkim =
      dkim_sign(handles_->lib, reinterpret_cast<const unsigned char*>("corabind"), nullptr,
                reinterpret_cast<dkim_sigkey_t>(const_cast<char*>(key.pem_.c_str())),
                reinterpret_cast<const unsigned char*>(key.selector_.c_str()),
                reinterpret_cast<const unsigned char*>(key.domain_.c_str()), DKIM_CANON_RELAXED,
                DKIM_CANON_RELAXED, DKIM_SIGN_RSASHA256, -1, &status);
  if (!handles_->dkim || status != DKIM_STAT_OK) {
    throw Failure(err::kTypeMismatch, u"DKIM signing could not start");
  }
  handles_->Start();
}

DkimSigner::~DkimSigner() = default;

void DkimSigner::Feed(std::string_view bytes) {
  if (bytes.empty()) return;
  if (handles_->finished) throw Failure(err::kInternal, u"the message was signed already");
  // A copy: the caller's buffer is only lent for the call.
  handles_->spare.assign(bytes);
  try {
    handles_->pieces.Put(handles_->spare);
  } catch (const PieceChannel::Cancelled&) {
    std::rethrow_exception(handles_->error);
  }
}

std::string DkimSigner::Finish() {
  if (handles_->finished) throw Failure(err::kInternal, u"the message was signed already");
  handles_->finished = true;
  handles_->pieces.Close();
  handles_->hasher.join();
  if (handles_->error) std::rethrow_exception(handles_->error);
  DKIM* dkim = handles_->dkim;
  unsigned char* value = nullptr;
  std::size_t length = 0;
  if (dkim_chunk(dkim, nullptr, 0) != DKIM_STAT_OK || dkim_eom(dkim, nullptr) != DKIM_STAT_OK ||
      dkim_getsighdr_d(dkim, kFieldName.size(), &value, &length) != DKIM_STAT_OK) {
    // Said without the library's words, which may come from the key's parser.
    throw Failure(err::kTypeMismatch, u"the message could not be signed with the DKIM key");
  }
  // The library folds with bare LF; the message's lines end in CR LF.
  std::string field(kFieldName);
  for (std::size_t i = 0; i < length; ++i) {
    if (value[i] == '\n' && (field.empty() || field.back() != '\r')) field += '\r';
    field += static_cast<char>(value[i]);
  }
  field += "\r\n";
  return field;
}

std::size_t DkimSigner::ExpectedLength(std::string_view header_fields) const {
  DkimSigner trial(key_, time_);
  trial.Feed(header_fields);
  trial.Feed("\r\n");
  return trial.Finish().size();
}

DkimKey::~DkimKey() {
  Wipe(pem_);
}

std::shared_ptr<const DkimKey> DkimKey::Load(const DkimOptions& options, const std::string& from) {
  auto key = std::shared_ptr<DkimKey>(new DkimKey());
  if (options.selector.empty()) Invalid("--dkim-key needs --dkim-selector");
  if (!IsDomainName(options.selector)) {
    Invalid("--dkim-selector " + Printable(options.selector) + ": not a domain name label");
  }
  key->selector_ = options.selector;
  if (!options.domain.empty()) {
    if (!IsDomainName(options.domain)) {
      Invalid("--dkim-domain " + Printable(options.domain) + ": not a domain name");
    }
    key->domain_ = options.domain;
  } else {
    if (from.empty()) Invalid("--dkim-key needs --dkim-domain or --from");
    const std::string address = ParseAddressList("--from", from).front().address;
    key->domain_ = address.substr(address.rfind('@') + 1);
    if (!IsDomainName(key->domain_)) {
      Invalid("the From address's domain " + Printable(key->domain_) +
              " is not a domain name to sign for; give --dkim-domain");
    }
  }
  std::transform(key->domain_.begin(), key->domain_.end(), key->domain_.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

  const std::u16string shown = u"--dkim-key " + FromUtf8(Printable(options.key_file));
  UniqueFd fd(::open(options.key_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.ok()) throw ErrnoFailure(errno, u"Cannot read", shown);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw ErrnoFailure(errno, u"Cannot read", shown);
  const auto not_a_key = [&] {
    return Failure(err::kTypeMismatch,
                   shown + u": not an RSA private key in PEM form (as openssl genrsa writes it)");
  };
  if (!S_ISREG(info.st_mode) || info.st_size > kMaxKeyFile) throw not_a_key();
  key->readable_by_others_ = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
  key->pem_.resize(static_cast<std::size_t>(info.st_size));
  std::size_t got = 0;
  while (got < key->pem_.size()) {
    const ssize_t n = ::read(fd.get(), key->pem_.data() + got, key->pem_.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ErrnoFailure(errno, u"Cannot read", shown);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  key->pem_.resize(got);
  if (key->pem_.find("PRIVATE KEY-----") == std::string::npos) throw not_a_key();

  // The key is tried on a message of one line now, so that a file that is
  // not a usable key stops the run before anything is written.
  try {
    DkimSigner trial(*key);
    trial.Feed("From: <trial@" + key->domain_ + ">\r\n\r\ntrial\r\n");
    trial.Finish();
  } catch (const Failure&) {
    throw not_a_key();
  }
  return key;
}

}  // namespace corabind::mail
