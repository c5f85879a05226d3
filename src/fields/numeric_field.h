// The numeric field rule shared by the size-like fields of the form-field
// dialogs (Size, Max Length, Cols, Rows, Height): whatever the user types or
// the load step sets, the field shows the decimal text of the number its text
// denotes, read leniently from the left.
#pragma once

#include <string>
#include <string_view>

namespace corabind {

class TextBox;

// The number `text` denotes. Blanks, tabs and line feeds are skipped wherever
// they stand; then an optional sign, decimal digits with at most one ".", and
// an optional exponent (E or D, either case, optional sign, digits). Reading
// stops at the first character that does not fit; no digits at all is 0.
// Hexadecimal and octal forms are not read. A number beyond the range of a
// double reads as the largest double of its sign; one too small for it as 0.
double NumericFieldValue(std::u16string_view text);

// The text a numeric field shows for `value`:
// - whole numbers below 1e15 in magnitude: plain digits, "-" before negative
//   ones, never "-0";
// - other numbers below 1e15: plain decimal notation rounded to 15
//   significant digits without trailing zeros ("0.5", "-12.25", "0.0001");
// - 1e15 and above: 15 significant digits in exponent form ("1E+15",
//   "1.5E+20"), which is how such numbers have always been shown.
// Every text this yields reads back as itself, so the rule settles at once.
std::u16string NumericFieldText(double value);

// NumericFieldText(NumericFieldValue(text)).
std::u16string NumericFieldText(std::u16string_view text);

// Puts `box` under the rule: every change of its text (typed, pasted or set
// by the program) replaces the text by the number's text, again until it
// stops changing. Replaces the box's on_change.
void AttachNumericFieldRule(TextBox& box);

}  // namespace corabind
