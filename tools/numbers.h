// Every number an lbl option takes is read here, so that each refuses the same things: an empty value,
// spaces or text around the number, exponents ("1e9"), "nan" and "inf", hexadecimal ("0x10") unless the
// option takes a bit mask, more decimals than the unit keeps, and values outside the option's range. A
// refusal names the option, the value and what it takes; the command exits with 2 (a usage error).
#pragma once

#include <cstdint>
#include <string>

namespace lbl {

// A whole number in decimal ("-12", "+7", "007"), or with `hex` also "0x1F"; from lo to hi.
bool ParseWhole(const std::string& text, int64_t lo, int64_t hi, int64_t* out, bool hex = false);

// A decimal number ("12", "-0.5", "101.6", ".5") with at most `maxDecimals` digits after the point
// (-1: any); from lo to hi.
bool ParseDecimal(const std::string& text, double lo, double hi, double* out, int maxDecimals = -1);

// The same for option `option`; false with "bad value for OPTION: 'TEXT' (WHAT from LO to HI)".
bool OptionWhole(const std::string& option, const std::string& text, int64_t lo, int64_t hi, int64_t* out,
                 std::string* error, const char* what = "a whole number", bool hex = false);
bool OptionDecimal(const std::string& option, const std::string& text, double lo, double hi, double* out,
                   std::string* error, const char* what = "a number", int maxDecimals = -1);

// OptionWhole into a narrower integer.
template <class T>
bool OptionWholeInto(const std::string& option, const std::string& text, int64_t lo, int64_t hi, T* out,
                     std::string* error, const char* what = "a whole number") {
  int64_t v = 0;
  if (!OptionWhole(option, text, lo, hi, &v, error, what)) return false;
  *out = static_cast<T>(v);
  return true;
}

}  // namespace lbl
