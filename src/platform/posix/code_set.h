// Conversion between the control's UTF-16 text and an 8-bit or multi-byte
// code set named as iconv knows it ("UTF-8", "CP949", "ANSI_X3.4-1968"...).
//
// Encoding is strict: a character the code set cannot hold is reported, never
// replaced by "?". Decoding is lenient: bytes that are not valid in the code
// set become U+FFFD, as a browser would show them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corabind {

class CodeSet {
 public:
  // Failure 5 naming the code set when iconv cannot convert between it and
  // UTF-16.
  explicit CodeSet(std::string name);

  // The code set of the process locale (nl_langinfo(CODESET)); the program
  // must have called setlocale(LC_ALL, "") for it to follow the user's
  // environment. "ANSI_X3.4-1968" (ASCII) in the "C" locale.
  static std::string LocaleName();

  const std::string& name() const { return name_; }

  // Zero-based UTF-16 index of the first character of `text` the code set
  // cannot represent (an unpaired surrogate counts as one); nullopt when all
  // of it converts.
  std::optional<std::size_t> FirstUnrepresentable(std::u16string_view text) const;

  // The bytes of `text`. Failure 5 naming the first character that cannot be
  // represented ("U+20AC") and its position, counted from 1.
  std::string Encode(std::u16string_view text) const;

  // Like Encode, but reports the unrepresentable character's zero-based index
  // instead of failing. `bytes` is empty when `unrepresentable` is set.
  struct Encoded {
    std::string bytes;
    std::optional<std::size_t> unrepresentable;
  };
  Encoded TryEncode(std::u16string_view text) const;

  // Invalid or truncated byte sequences become U+FFFD.
  std::u16string Decode(std::string_view bytes) const;

  // Like Decode, but stops at the first byte that is not valid in the code
  // set and reports its zero-based offset instead. `text` is empty when
  // `invalid_at` is set.
  struct Decoded {
    std::u16string text;
    std::optional<std::size_t> invalid_at;
  };
  Decoded TryDecode(std::string_view bytes) const;

 private:
  std::string name_;
  bool utf8_;
};

// "U+XXXX" (at least four hex digits) for the character at `index`; a
// surrogate pair is named by the code point it forms.
std::u16string CharacterName(std::u16string_view text, std::size_t index);

// The text of a failure for an unrepresentable character: names the
// character, its position counted from 1, and the code set.
std::u16string UnrepresentableDescription(std::u16string_view text, std::size_t index,
                                          const std::string& code_set);

}  // namespace corabind
