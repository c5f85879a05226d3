// The numeric field rule: the text it shows settles at once (applying the
// rule again changes nothing) and reads back as the same number.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text.h"
#include "fields/numeric_field.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corabind;
  const std::u16string text = FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  const double value = NumericFieldValue(text);
  if (std::isnan(value)) std::abort();
  const std::u16string shown = NumericFieldText(value);
  if (NumericFieldText(std::u16string_view(shown)) != shown) std::abort();
  if (NumericFieldText(NumericFieldValue(shown)) != shown) std::abort();
  return 0;
}
