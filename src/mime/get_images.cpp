// GetImages: refresh the image collections from the document, then write the
// multipart/related message. Each step is a unit of its own: a failure loses
// that unit only, and nothing ever leaves the call.
#include <algorithm>
#include <memory>

#include "core/base64_file_encoder.h"
#include "core/collection.h"
#include "core/document.h"
#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mime/message_layout.h"
#include "mime/mime.h"
#include "mime/resolve.h"

namespace corabind {

namespace {

bool HasControlCharacter(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

// A file name as the layout's one quoted name line carries it: a control
// character or a quote is written %HH, so no name can end the line (and
// with it write a header of its own) or the quoted string.
std::u16string LayoutName(std::u16string_view name) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  out.reserve(name.size());
  for (const char16_t c : name) {
    if (c < 0x20 || c == 0x7F || c == u'"') {
      out += {u'%', kHex[c >> 4], kHex[c & 15]};
    } else {
      out += c;
    }
  }
  return out;
}

// A file URL loses its "file://"; anything else, a relative path that merely
// starts with "file" included, is the path as it stands.
std::u16string PathOf(const std::u16string& value) {
  if (!StartsWithIgnoringAsciiCase(value, u"file:")) return value;
  return value.substr(std::min<std::size_t>(7, value.size()));
}

class MessageBuild {
 public:
  MessageBuild(ControlData& control, bool debug) : control_(control), debug_(debug) {}

  // Runs one unit; a failure is shown when tracing, then forgotten.
  template <class F>
  void Unit(F&& step) {
    try {
      step();
    } catch (const std::exception& e) {
      // Running out of memory on one huge part, say, loses that unit only.
      if (!debug_) return;
      try {
        control_.library().desktop().MessageBox(FormatUnexpectedError(AsFailure(e)));
      } catch (const std::exception&) {
        // No way left to tell anyone; the build goes on regardless.
      }
    }
  }

  // A trace message is a unit of its own: failing to show it loses only it.
  void Trace(const std::u16string& text) {
    if (!debug_) return;
    Unit([&] { control_.library().desktop().MessageBox(text); });
  }
  template <class F>
  void TraceLazy(F&& make_text) {
    if (!debug_) return;
    Unit([&] { control_.library().desktop().MessageBox(make_text()); });
  }

  void StyleSheets(const std::shared_ptr<Document>& dom) {
    std::shared_ptr<StyleSheetList> sheets;
    Unit([&] {
      if (!dom) throw ObjectNotSet();
      sheets = dom->styleSheets();
    });
    const auto list = [&]() -> StyleSheetList& {
      if (!sheets) throw ObjectNotSet();
      return *sheets;
    };
    // "Styesheet" is deliberate: the trace reads as it always has.
    TraceLazy([&] { return u"Styesheet count: " + DecimalText(list().length()); });
    Unit([&] {
      const std::int32_t length = list().length();
      for (std::int32_t i = 0; i < length; ++i) {
        const auto href = [&] {
          const auto sheet = list().item(i);
          if (!sheet) throw ObjectNotSet();
          return sheet->href().ToText();
        };
        TraceLazy(href);
        Unit([&] {
          const std::u16string src = href();
          ResolveImageInfo(control_, src, href());
        });
        Trace(u"StyleSheet2 " + DecimalText(i) + u"th end...");
      }
    });
  }

  void Parts(std::u16string& message) {
    Collection& keys = *control_.imageKeys();
    Collection& values = *control_.imageValues();
    if (keys.Count() < 1 || values.Count() < 1) return;
    const std::int32_t count = keys.Count();
    parts_total_ = static_cast<std::size_t>(count);
    for (std::int32_t k = 1; k <= count; ++k) {
      // A position the shorter collection lacks has no file to embed: no
      // part, rather than the previous position's file under this key.
      std::u16string key, value;
      bool readable = false;
      Unit([&] {
        key = keys.Item(k).ToText();
        value = values.Item(k).ToText();
        readable = true;
      });
      if (!readable) continue;
      Part(message, key, value);
    }
  }

 private:
  void Part(std::u16string& message, const std::u16string& key, const std::u16string& value) {
    Trace(u"image key: " + key);
    Trace(u"image value: " + value);
    Trace(u"Step 1: left 4th: " + value.substr(0, 4));
    const std::u16string path = PathOf(value);
    if (path.size() != value.size()) Trace(u"Step 2: mid 8th: " + path);
    Trace(u"Step 3: encoding...");
    Unit([&] {
      if (!encoder_) encoder_ = control_.library().encoders().Create();
      if (!encoder_)
        throw Failure(err::kCannotCreateObject, u"Base64FileEncoder could not be created");
      encoded_ = encoder_->EncodeFile(path, FileRead::kBinary, Base64Lines::kBrokenAt76);
    });
    Trace(std::u16string(u"Step 4: encoding result: ") + (encoded_ ? u"True" : u"False"));
    Unit([&] {
      // Everything that can fail is read first, so the part goes in whole or
      // not at all; it is written straight into the message, which grows
      // geometrically, as parts can be large.
      const Base64FileEncoder& encoder = Encoder();
      const std::u16string name = LayoutName(GetFileName(path));
      if (HasControlCharacter(key)) {
        // A line break in a key would end the Content-ID line and let the
        // page write headers, or whole parts, of its own; the reference's
        // cid: URL could not name the part anyway.
        TraceLazy([&] {
          return u"Part left out: its key holds a control character: " +
                 FromUtf8(Printable(ToUtf8(key), 200));
        });
        return;
      }
      const std::u16string& body = encoder.EncodedText();
      const std::size_t before = message.size();
      const std::size_t needed = message.size() + 160 + name.size() + key.size() + body.size();
      if (needed > message.capacity()) message.reserve(std::max(needed, Projected(message.size())));
      message += u"--";
      message += kPartBoundary;
      message += u"\r\nContent-Type: application/octet-stream;\r\n name=\"";
      message += name;
      message += u"\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <";
      message += key;
      message += u">\r\n\r\n";
      message += body;
      message += u"\r\n";
      parts_size_ += message.size() - before;
      ++parts_done_;
    });
    Unit([&] { Encoder().Clear(); });
  }

  // Room for the parts still to come, guessed from those written so far, so
  // that a message of many large parts is moved only once or twice.
  std::size_t Projected(std::size_t size) const {
    if (parts_done_ == 0) return 2 * size;
    const std::size_t remaining = parts_total_ > parts_done_ ? parts_total_ - parts_done_ : 1;
    return size + parts_size_ / parts_done_ * remaining * 9 / 8 + 64;
  }

  Base64FileEncoder& Encoder() {
    if (!encoder_) throw ObjectNotSet();
    return *encoder_;
  }

  ControlData& control_;
  const bool debug_;
  std::unique_ptr<Base64FileEncoder> encoder_;
  bool encoded_ = false;
  std::size_t parts_total_ = 0, parts_done_ = 0, parts_size_ = 0;
};

}  // namespace

std::u16string mime::GetImages(ControlData& control, const std::u16string& html,
                               const std::shared_ptr<Element>& body, const std::u16string& base,
                               const std::shared_ptr<Document>& myDom,
                               VariantBool debuging /* sic: the parameter's name */) {
  MessageBuild build(control, debuging == kTrue);
  build.Unit([&] {
    control.imageAttributes()[0] = u"SRC";
    control.imageAttributes()[1] = u"BACKGROUND";
    control.set_baseURL(base);
  });
  build.Unit([&] { GetImagesSub(control, body); });
  build.Unit([&] { GetFlashSub(control, body); });
  build.Unit([&] { GetStyleSub(control, body); });
  build.Unit([&] { GetObjectFlashSub(control, body); });
  build.StyleSheets(myDom);

  std::u16string message;
  build.Unit([&] { message.assign(kMessageHeader); });
  build.TraceLazy([&] {
    return u"Image key count: " + DecimalText(control.imageKeys()->Count()) +
           u"\r\nImage value count: " + DecimalText(control.imageValues()->Count());
  });
  build.Unit([&] {
    message.reserve(message.size() + html.size() + 4);
    message += html;
    message += u"\r\n\r\n";
  });
  build.Unit([&] { build.Parts(message); });
  build.Unit([&] { message += kMessageEnd; });
  return message;
}

}  // namespace corabind
