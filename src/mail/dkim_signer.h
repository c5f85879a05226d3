// DKIM signatures (RFC 6376) over libopendkim: rsa-sha256, relaxed/relaxed,
// over the header fields a reader sees and that say what the message is.
// The signature header goes in front of the message but is only known once
// the last byte has been hashed, so the message is fed to the signer as it
// is written (one pass) and the header put in front afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corabind::mail {

struct DkimOptions {
  std::string key_file;  // PEM private key; "" signs nothing
  std::string selector;  // the key is published at SELECTOR._domainkey.DOMAIN
  std::string domain;    // d=; "" for the domain of the From address
  bool on() const { return !key_file.empty(); }
};

// A signing identity: its key read and tried once, its selector and domain
// checked. Failures name the file, never its content: 53 or 70 for a key
// file that cannot be read, 13 for one that holds no usable RSA private
// key, 5 for a selector or domain that is not a domain name or no domain
// at all (no --dkim-domain and no From address).
class DkimKey {
 public:
  // `from` is the From address list as given ("Name <user@host>"), "" if
  // none; the domain of its first address signs unless options.domain does.
  static std::shared_ptr<const DkimKey> Load(const DkimOptions& options, const std::string& from);
  ~DkimKey();
  DkimKey(const DkimKey&) = delete;
  DkimKey& operator=(const DkimKey&) = delete;

  const std::string& domain() const { return domain_; }
  // The key file may be read by users other than its owner.
  bool readable_by_others() const { return readable_by_others_; }

 private:
  DkimKey() = default;
  friend class DkimSigner;
  std::string pem_, selector_, domain_;
  bool readable_by_others_ = false;
};

// Signs one message, fed to it in pieces exactly as it is written (lines
// ending in CR LF).
class DkimSigner {
 public:
  explicit DkimSigner(const DkimKey& key);
  ~DkimSigner();
  DkimSigner(const DkimSigner&) = delete;
  DkimSigner& operator=(const DkimSigner&) = delete;

  void Feed(std::string_view bytes);
  // The DKIM-Signature header field, folded, ending in CR LF; put it in
  // front of the message. Once only.
  std::string Finish();

  // The length Finish's field will have, told from the message's header
  // section alone (its fields up to the empty line, not included): the
  // body's hash and the signature are of fixed length for a key, so room
  // can be left for the field while the body is still being written.
  std::size_t ExpectedLength(std::string_view header_fields) const;

 private:
  DkimSigner(const DkimKey& key, std::uint64_t time);

  struct Handles;
  std::unique_ptr<Handles> handles_;
  const DkimKey& key_;
  std::uint64_t time_;  // t=, the same for the field and its expected length
};

}  // namespace corabind::mail
