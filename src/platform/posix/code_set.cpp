#include "platform/posix/code_set.h"

#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <cstdio>

#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/iconv_handle.h"

namespace corabind {
namespace {

// The control's text in memory order, without a byte-order mark.
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

Failure UnknownCodeSet(const std::string& name) {
  return Failure(err::kInvalidCall,
                 u"The code set \"" + FromUtf8(name) + u"\" cannot be converted to or from UTF-16");
}

bool NamesUtf8(const std::string& name) {
  std::string squeezed;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    squeezed.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  }
  return squeezed == "UTF8";
}

// Length in UTF-16 units of the character starting at `index`.
std::size_t CharLength(std::u16string_view text, std::size_t index) {
  return IsHighSurrogate(text[index]) && index + 1 < text.size() && IsLowSurrogate(text[index + 1])
             ? 2
             : 1;
}

// Runs `cd` over the input, growing `out` as needed. Returns -1 on success
// with no irreversible step, -2 when the converter substituted something
// (it counted an irreversible conversion), otherwise the zero-based byte
// offset in the input where it stopped on an invalid or unconvertible
// sequence.
template <class Out>
std::ptrdiff_t Convert(const Iconv& cd, std::string_view in, Out& out, std::size_t& used) {
  char* in_ptr = const_cast<char*>(in.data());
  std::size_t in_left = in.size();
  bool irreversible = false;
  constexpr std::size_t kUnit = sizeof(typename Out::value_type);
  for (bool flushing = false;;) {
    if (out.size() * kUnit < used + 16) out.resize((used + 16) * 2 / kUnit + 8);
    char* out_ptr = reinterpret_cast<char*>(out.data()) + used;
    std::size_t out_left = out.size() * kUnit - used;
    const std::size_t r = flushing ? iconv(cd.get(), nullptr, nullptr, &out_ptr, &out_left)
                                   : iconv(cd.get(), &in_ptr, &in_left, &out_ptr, &out_left);
    used = static_cast<std::size_t>(out_ptr - reinterpret_cast<char*>(out.data()));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      if (errno == EILSEQ || errno == EINVAL) return in_ptr - in.data();
      throw Failure(err::kInternal, u"Character conversion failed unexpectedly");
    }
    if (r > 0) irreversible = true;
    if (flushing) break;
    flushing = true;
  }
  return irreversible ? -2 : -1;
}

std::string_view Bytes(std::u16string_view text) {
  return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)};
}

}  // namespace

CodeSet::CodeSet(std::string name) : name_(std::move(name)), utf8_(NamesUtf8(name_)) {
  if (name_.empty() || !Iconv(name_, kUtf16).ok() || !Iconv(kUtf16, name_).ok()) {
    throw UnknownCodeSet(name_);
  }
}

std::string CodeSet::LocaleName() {
  const char* name = nl_langinfo(CODESET);
  return name && *name ? name : "ANSI_X3.4-1968";
}

CodeSet::Encoded CodeSet::TryEncode(std::u16string_view text) const {
  Iconv cd(name_, kUtf16);
  if (!cd.ok()) throw UnknownCodeSet(name_);
  Encoded result;
  std::size_t used = 0;
  const std::ptrdiff_t stop = Convert(cd, Bytes(text), result.bytes, used);
  if (stop == -1) {
    result.bytes.resize(used);
    return result;
  }
  result.bytes.clear();
  if (stop >= 0) {
    result.unrepresentable = static_cast<std::size_t>(stop) / sizeof(char16_t);
    return result;
  }
  // The converter replaced something without stopping: find what, one
  // character at a time.
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    cd.Reset();
    std::string scratch;
    std::size_t scratch_used = 0;
    if (Convert(cd, Bytes(text.substr(i, CharLength(text, i))), scratch, scratch_used) != -1) {
      result.unrepresentable = i;
      return result;
    }
  }
  result.unrepresentable = 0;  // unreachable in practice; fail rather than guess
  return result;
}

std::optional<std::size_t> CodeSet::FirstUnrepresentable(std::u16string_view text) const {
  return TryEncode(text).unrepresentable;
}

std::string CodeSet::Encode(std::u16string_view text) const {
  Encoded encoded = TryEncode(text);
  if (encoded.unrepresentable) {
    throw Failure(err::kInvalidCall,
                  UnrepresentableDescription(text, *encoded.unrepresentable, name_));
  }
  return std::move(encoded.bytes);
}

std::u16string CodeSet::Decode(std::string_view bytes) const {
  if (utf8_) return FromUtf8(bytes);
  Iconv cd(kUtf16, name_);
  if (!cd.ok()) throw UnknownCodeSet(name_);
  std::u16string out;
  std::size_t used = 0;  // bytes
  while (!bytes.empty()) {
    const std::ptrdiff_t stop = Convert(cd, bytes, out, used);
    if (stop < 0) break;
    // Skip one byte of the bad sequence and go on from a clean state.
    out.resize(used / sizeof(char16_t));
    out.push_back(kReplacement);
    used = out.size() * sizeof(char16_t);
    bytes.remove_prefix(static_cast<std::size_t>(stop) + 1);
    cd.Reset();
  }
  out.resize(used / sizeof(char16_t));
  return out;
}

CodeSet::Decoded CodeSet::TryDecode(std::string_view bytes) const {
  Iconv cd(kUtf16, name_);
  if (!cd.ok()) throw UnknownCodeSet(name_);
  Decoded out;
  std::size_t used = 0;  // bytes
  const std::ptrdiff_t stop = Convert(cd, bytes, out.text, used);
  if (stop >= 0) {
    out.text.clear();
    out.invalid_at = static_cast<std::size_t>(stop);
    return out;
  }
  out.text.resize(used / sizeof(char16_t));
  return out;
}

std::u16string CharacterName(std::u16string_view text, std::size_t index) {
  char32_t cp = text[index];
  if (CharLength(text, index) == 2)
    cp = 0x10000 + ((cp - 0xD800) << 10) + (text[index + 1] - 0xDC00);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
  return FromUtf8(buffer);
}

std::u16string UnrepresentableDescription(std::u16string_view text, std::size_t index,
                                          const std::string& code_set) {
  const bool unpaired =
      (IsHighSurrogate(text[index]) && CharLength(text, index) == 1) || IsLowSurrogate(text[index]);
  return u"The character " + CharacterName(text, index) +
         (unpaired ? u" (an unpaired surrogate)" : u"") + u" at position " +
         DecimalText(static_cast<std::int64_t>(index) + 1) +
         u" cannot be represented in the code set " + FromUtf8(code_set);
}

}  // namespace corabind
