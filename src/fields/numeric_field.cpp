#include "fields/numeric_field.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "core/text.h"
#include "core/widgets.h"

namespace corabind {

namespace {

bool Skipped(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n';
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// More significant digits than this never change the nearest double except
// through ties, which the sticky digit below settles.
constexpr std::size_t kMaxDigits = 800;
// Exponents are read with saturation; anything past this is out of range.
constexpr std::int64_t kExponentCap = 1'000'000'000;

// Reads the text as the rule describes, skipping blanks wherever they stand.
class NumberReader {
 public:
  explicit NumberReader(std::u16string_view text) : text_(text) {}

  double Read() {
    bool negative = false;
    if (Peek() == u'+' || Peek() == u'-') {
      negative = Peek() == u'-';
      ++pos_;
    }
    ReadMantissa();
    ReadExponent();
    const double magnitude = Magnitude();
    return negative ? -magnitude : magnitude;
  }

 private:
  char16_t Peek() {
    while (pos_ < text_.size() && Skipped(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : u'\0';
  }

  // The value is digits_ * 10^scale_ (before the exponent), with leading
  // zeros dropped so that huge digit strings stay bounded.
  void ReadMantissa() {
    bool point = false;
    for (char16_t c = Peek();; c = Peek()) {
      if (c == u'.' && !point) {
        point = true;
      } else if (IsDigit(c)) {
        AddDigit(static_cast<char>(c), point);
      } else {
        break;
      }
      ++pos_;
    }
  }

  void AddDigit(char d, bool after_point) {
    if (digits_.empty() && d == '0') {
      if (after_point) --scale_;
      return;
    }
    if (digits_.size() < kMaxDigits) {
      digits_.push_back(d);
      if (after_point) --scale_;
      return;
    }
    sticky_ = sticky_ || d != '0';
    if (!after_point) ++scale_;
  }

  void ReadExponent() {
    const char16_t e = Peek();
    if (e != u'E' && e != u'e' && e != u'D' && e != u'd') return;
    ++pos_;
    bool negative = false;
    if (Peek() == u'+' || Peek() == u'-') {
      negative = Peek() == u'-';
      ++pos_;
    }
    std::int64_t value = 0;
    for (char16_t c = Peek(); IsDigit(c); c = Peek()) {
      value = std::min(kExponentCap, value * 10 + (c - u'0'));
      ++pos_;
    }
    exponent_ = negative ? -value : value;
  }

  double Magnitude() {
    if (digits_.empty()) return 0;
    std::string digits = digits_;
    std::int64_t exponent = scale_ + exponent_;
    if (sticky_) {
      digits.push_back('1');
      --exponent;
    }
    // The number lies in [10^(order-1), 10^order).
    const std::int64_t order = static_cast<std::int64_t>(digits.size()) + exponent;
    constexpr double kLargest = std::numeric_limits<double>::max();
    if (order > 310) return kLargest;
    if (order < -330) return 0;
    const std::string text = digits + "e" + std::to_string(exponent);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::scientific);
    if (ec == std::errc::result_out_of_range) return order > 0 ? kLargest : 0;
    return value;
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
  std::string digits_;
  std::int64_t scale_ = 0;
  std::int64_t exponent_ = 0;
  bool sticky_ = false;
};

}  // namespace

double NumericFieldValue(std::u16string_view text) {
  return NumberReader(text).Read();
}

std::u16string NumericFieldText(double value) {
  if (std::isnan(value) || value == 0) return u"0";
  if (std::isinf(value)) value = std::copysign(std::numeric_limits<double>::max(), value);
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    return DecimalText(static_cast<std::int64_t>(value));
  }
  // 15 significant digits, "d.dddddddddddddde+XX", independent of the locale.
  char buf[40];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  const std::string sci(buf, end);
  const auto e = sci.find('e');
  std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);
  const int exponent = std::stoi(sci.substr(e + 1));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent >= 15) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E+" + std::to_string(exponent);
  } else if (exponent >= 0) {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      out += digits + std::string(whole - digits.size(), '0');
    } else {
      out += digits.substr(0, whole) + "." + digits.substr(whole);
    }
  } else {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return FromUtf8(out);
}

std::u16string NumericFieldText(std::u16string_view text) {
  return NumericFieldText(NumericFieldValue(text));
}

void AttachNumericFieldRule(TextBox& box) {
  // Setting the text from inside the handler notifies again; the outer call
  // does the settling, so the nested one has nothing to do.
  auto busy = std::make_shared<bool>(false);
  box.on_change = [&box, busy] {
    if (*busy) return;
    *busy = true;
    struct Release {
      bool& flag;
      ~Release() { flag = false; }
    } release{*busy};
    for (std::u16string next = NumericFieldText(box.text()); next != box.text();
         next = NumericFieldText(box.text())) {
      box.SetText(next);
    }
  };
}

}  // namespace corabind
