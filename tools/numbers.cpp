#include "tools/numbers.h"

#include <charconv>
#include <cstdlib>

namespace lbl {

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

bool HexDigit(char c) { return Digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// "1.5" rather than "1.500000" in messages.
std::string Plain(double v) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::to_string(v);
}

std::string Refusal(const std::string& option, const std::string& text, const std::string& what,
                    const std::string& lo, const std::string& hi, const std::string& more = {}) {
  return "bad value for " + option + ": '" + text + "' (" + what + " from " + lo + " to " + hi + more + ")";
}

}  // namespace

bool ParseWhole(const std::string& text, int64_t lo, int64_t hi, int64_t* out, bool hex) {
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) at = 1;
  int base = 10;
  if (hex && text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  if (at == text.size()) return false;
  for (size_t i = at; i < text.size(); ++i)
    if (base == 16 ? !HexDigit(text[i]) : !Digit(text[i])) return false;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return false;  // too large for 64 bits
  if (magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX))) return false;
  const int64_t v = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseDecimal(const std::string& text, double lo, double hi, double* out, int maxDecimals) {
  size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  size_t digits = 0, decimals = 0;
  bool point = false;
  for (size_t i = at; i < text.size(); ++i) {
    if (Digit(text[i])) {
      ++digits;
      if (point) ++decimals;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  // Enough digits for any real value; more would only be a way to hide a huge or tiny number.
  if (digits == 0 || digits > 30 || (maxDecimals >= 0 && decimals > size_t(maxDecimals))) return false;
  const double v = std::strtod(text.c_str(), nullptr);  // the text is plain decimal now: no exponent, no nan/inf
  if (!(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

bool OptionWhole(const std::string& option, const std::string& text, int64_t lo, int64_t hi, int64_t* out,
                 std::string* error, const char* what, bool hex) {
  if (ParseWhole(text, lo, hi, out, hex)) return true;
  *error = Refusal(option, text, what, std::to_string(lo), std::to_string(hi));
  return false;
}

bool OptionDecimal(const std::string& option, const std::string& text, double lo, double hi, double* out,
                   std::string* error, const char* what, int maxDecimals) {
  if (ParseDecimal(text, lo, hi, out, maxDecimals)) return true;
  *error = Refusal(option, text, what, Plain(lo), Plain(hi),
                   maxDecimals >= 0 ? ", at most " + std::to_string(maxDecimals) + " decimals" : "");
  return false;
}

}  // namespace lbl
