#include "common/wstr.h"

#include <cstdio>
#include <cstring>
#include <vector>

size_t WStrLen(const WCHAR* s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

size_t WStrNLen(const WCHAR* s, size_t max) {
  if (!s) return 0;
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

int WStrCmp(const WCHAR* a, const WCHAR* b) {
  static const WCHAR kEmpty[1] = {0};
  if (!a) a = kEmpty;
  if (!b) b = kEmpty;
  for (;; ++a, ++b) {
    unsigned ca = static_cast<uint16_t>(*a), cb = static_cast<uint16_t>(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
}

bool WStrEq(const WCHAR* a, const WCHAR* b) { return WStrCmp(a, b) == 0; }

static unsigned FoldAscii(WCHAR c) {
  unsigned u = static_cast<uint16_t>(c);
  return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

bool WStrEqNoCase(const WCHAR* a, const WCHAR* b) {
  static const WCHAR kEmpty[1] = {0};
  if (!a) a = kEmpty;
  if (!b) b = kEmpty;
  for (;; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
    if (!*a) return true;
  }
}

const WCHAR* WStrStr(const WCHAR* hay, const WCHAR* needle) {
  if (!hay) return nullptr;
  size_t n = WStrLen(needle);
  if (n == 0) return hay;
  for (const WCHAR* p = hay; *p; ++p) {
    size_t i = 0;
    while (i < n && p[i] == needle[i]) ++i;
    if (i == n) return p;
  }
  return nullptr;
}

bool WStrCopyN(WCHAR* dst, size_t cap, const WCHAR* src, size_t srcMax) {
  if (!dst || cap == 0) return false;
  size_t len = WStrNLen(src, srcMax);
  size_t n = len < cap - 1 ? len : cap - 1;
  for (size_t i = 0; i < n; ++i) dst[i] = src[i];
  dst[n] = 0;
  return n == len;
}

bool WStrCopy(WCHAR* dst, size_t cap, const WCHAR* src) { return WStrCopyN(dst, cap, src, SIZE_MAX); }

bool StrCopy(char* dst, size_t cap, const char* src) {
  if (!dst || cap == 0) return false;
  size_t len = src ? strlen(src) : 0;
  size_t n = len < cap - 1 ? len : cap - 1;
  if (n) memcpy(dst, src, n);
  dst[n] = 0;
  return n == len;
}

void WStrTerminate(WCHAR* field, size_t cap) {
  if (!field || cap == 0) return;
  if (WStrNLen(field, cap) == cap) field[cap - 1] = 0;
}

// ---- formatter -------------------------------------------------------------------------------

namespace {

struct Spec {
  bool left = false, zero = false, plus = false, space = false, alt = false;
  int width = 0;
  int precision = -1;  // -1: none
};

enum class Len { None, H, HH, L, LL, Size };

void Pad(WString& out, int n, WCHAR c) {
  if (n > 0) out.append(static_cast<size_t>(n), c);
}

// Lays out prefix (sign or 0x) and body inside the field width.
void EmitField(WString& out, const Spec& sp, const char* prefix, const WString& body, bool zeroPadAllowed) {
  size_t plen = strlen(prefix);
  int len = static_cast<int>(plen + body.size());
  int fill = sp.width - len;
  if (sp.left) {
    for (size_t i = 0; i < plen; ++i) out.push_back(static_cast<WCHAR>(prefix[i]));
    out += body;
    Pad(out, fill, static_cast<WCHAR>(' '));
  } else if (sp.zero && zeroPadAllowed) {
    for (size_t i = 0; i < plen; ++i) out.push_back(static_cast<WCHAR>(prefix[i]));
    Pad(out, fill, static_cast<WCHAR>('0'));
    out += body;
  } else {
    Pad(out, fill, static_cast<WCHAR>(' '));
    for (size_t i = 0; i < plen; ++i) out.push_back(static_cast<WCHAR>(prefix[i]));
    out += body;
  }
}

void EmitInteger(WString& out, const Spec& sp, uint64_t mag, bool negative, bool isSigned, unsigned base,
                 bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char tmp[32];
  int n = 0;
  if (!(mag == 0 && sp.precision == 0)) {
    do {
      tmp[n++] = digits[mag % base];
      mag /= base;
    } while (mag);
  }
  WString body;
  for (int i = n; i < sp.precision; ++i) body.push_back(static_cast<WCHAR>('0'));
  bool octalHasZero = n > 0 && tmp[n - 1] == '0';
  if (base == 8 && sp.alt && !octalHasZero && body.empty()) body.push_back(static_cast<WCHAR>('0'));
  while (n > 0) body.push_back(static_cast<WCHAR>(tmp[--n]));

  const char* prefix = "";
  if (isSigned) {
    if (negative) prefix = "-";
    else if (sp.plus) prefix = "+";
    else if (sp.space) prefix = " ";
  } else if (base == 16 && sp.alt && !body.empty() && !(body.size() == 1 && body[0] == '0')) {
    prefix = upper ? "0X" : "0x";
  }
  EmitField(out, sp, prefix, body, sp.precision < 0);
}

void EmitWide(WString& out, const Spec& sp, const WCHAR* s) {
  static const WCHAR kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  if (!s) s = kNull;
  size_t len = sp.precision >= 0 ? WStrNLen(s, static_cast<size_t>(sp.precision)) : WStrLen(s);
  EmitField(out, sp, "", WString(s, len), false);
}

// Narrow text is widened byte by byte; the texts formatted this way are ASCII protocol strings.
void EmitNarrow(WString& out, const Spec& sp, const char* s) {
  if (!s) s = "(null)";
  size_t len = 0;
  while ((sp.precision < 0 || len < static_cast<size_t>(sp.precision)) && s[len]) ++len;
  WString body;
  body.reserve(len);
  for (size_t i = 0; i < len; ++i) body.push_back(static_cast<WCHAR>(static_cast<unsigned char>(s[i])));
  EmitField(out, sp, "", body, false);
}

void EmitFloat(WString& out, const Spec& sp, char conv, double v) {
  char fmt[16];
  int k = 0;
  fmt[k++] = '%';
  if (sp.left) fmt[k++] = '-';
  if (sp.zero) fmt[k++] = '0';
  if (sp.plus) fmt[k++] = '+';
  if (sp.space) fmt[k++] = ' ';
  if (sp.alt) fmt[k++] = '#';
  fmt[k++] = '*';
  fmt[k++] = '.';
  fmt[k++] = '*';
  fmt[k++] = conv;
  fmt[k] = 0;
  int prec = sp.precision < 0 ? 6 : sp.precision;
  int need = snprintf(nullptr, 0, fmt, sp.width, prec, v);
  if (need < 0) return;
  std::vector<char> buf(static_cast<size_t>(need) + 1);
  snprintf(buf.data(), buf.size(), fmt, sp.width, prec, v);
  for (int i = 0; i < need; ++i) out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(buf[i])));
}

}  // namespace

WString WFormatV(const WCHAR* fmt, va_list apIn) {
  WString out;
  if (!fmt) return out;
  va_list ap;
  va_copy(ap, apIn);
  const WCHAR* p = fmt;
  while (*p) {
    if (*p != '%') {
      out.push_back(*p++);
      continue;
    }
    const WCHAR* start = p++;
    if (*p == '%') {
      out.push_back(static_cast<WCHAR>('%'));
      ++p;
      continue;
    }
    Spec sp;
    for (;; ++p) {
      if (*p == '-') sp.left = true;
      else if (*p == '0') sp.zero = true;
      else if (*p == '+') sp.plus = true;
      else if (*p == ' ') sp.space = true;
      else if (*p == '#') sp.alt = true;
      else break;
    }
    if (*p == '*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        sp.left = true;
        w = -w;
      }
      sp.width = w;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') sp.width = sp.width * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      sp.precision = 0;
      if (*p == '*') {
        int pr = va_arg(ap, int);
        sp.precision = pr < 0 ? -1 : pr;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') sp.precision = sp.precision * 10 + (*p++ - '0');
      }
    }
    Len len = Len::None;
    bool wideMod = false;
    if (*p == 'h' || *p == 'l') {
      const bool twice = p[1] == p[0];
      len = *p == 'h' ? (twice ? Len::HH : Len::H) : (twice ? Len::LL : Len::L);
      p += twice ? 2 : 1;
    } else if (*p == 'w') {
      ++p;
      wideMod = true;
    } else if (*p == 'z') {
      ++p;
      len = Len::Size;
    } else if (*p == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        p += 3;
        len = Len::LL;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 3;
        len = Len::L;
      } else {
        ++p;
        len = Len::Size;
      }
    }
    WCHAR conv = *p;
    if (!conv) {  // format ends inside a conversion
      out.append(start, p);
      break;
    }
    ++p;
    switch (conv) {
      case 'd':
      case 'i': {
        int64_t v;
        if (len == Len::LL) v = va_arg(ap, long long);
        else if (len == Len::Size) v = static_cast<int64_t>(va_arg(ap, ptrdiff_t));
        else {
          int x = va_arg(ap, int);
          v = len == Len::H ? static_cast<short>(x) : len == Len::HH ? static_cast<signed char>(x) : x;
        }
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        EmitInteger(out, sp, mag, v < 0, true, 10, false);
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        uint64_t v;
        if (len == Len::LL) v = va_arg(ap, unsigned long long);
        else if (len == Len::Size) v = va_arg(ap, size_t);
        else {
          unsigned x = va_arg(ap, unsigned);
          v = len == Len::H ? static_cast<unsigned short>(x) : len == Len::HH ? static_cast<unsigned char>(x) : x;
        }
        unsigned base = conv == 'u' ? 10 : conv == 'o' ? 8 : 16;
        EmitInteger(out, sp, v, false, false, base, conv == 'X');
        break;
      }
      case 'c': {
        int c = va_arg(ap, int);
        WCHAR ch = len == Len::H ? static_cast<WCHAR>(static_cast<unsigned char>(c)) : static_cast<WCHAR>(c);
        EmitField(out, sp, "", WString(1, ch), false);
        break;
      }
      case 'C': {  // the opposite width of %c, as in wide printf
        int c = va_arg(ap, int);
        EmitField(out, sp, "", WString(1, static_cast<WCHAR>(static_cast<unsigned char>(c))), false);
        break;
      }
      case 's':
        if (len == Len::H) EmitNarrow(out, sp, va_arg(ap, const char*));
        else EmitWide(out, sp, va_arg(ap, const WCHAR*));
        break;
      case 'S':
        if (len == Len::L || wideMod) EmitWide(out, sp, va_arg(ap, const WCHAR*));
        else EmitNarrow(out, sp, va_arg(ap, const char*));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        EmitFloat(out, sp, static_cast<char>(conv), va_arg(ap, double));
        break;
      case 'p': {
        Spec ps = sp;
        ps.precision = static_cast<int>(sizeof(void*) * 2);
        ps.alt = false;
        EmitInteger(out, ps, reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false, false, 16, true);
        break;
      }
      default:
        out.append(start, p);
        break;
    }
  }
  va_end(ap);
  return out;
}

WString WFormat(const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  WString s = WFormatV(fmt, ap);
  va_end(ap);
  return s;
}

int WFormatToV(WCHAR* buf, size_t cap, const WCHAR* fmt, va_list ap) {
  if (!buf || cap == 0) return -1;
  WString s = WFormatV(fmt, ap);
  bool whole = WStrCopyN(buf, cap, s.c_str(), s.size());
  return whole ? static_cast<int>(s.size()) : -1;
}

int WFormatTo(WCHAR* buf, size_t cap, const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = WFormatToV(buf, cap, fmt, ap);
  va_end(ap);
  return n;
}

std::string FormatA(const char* fmt, ...) {
  if (!fmt) return std::string();
  va_list ap, ap2;
  va_start(ap, fmt);
  va_copy(ap2, ap);
  int need = vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string s;
  if (need > 0) {
    std::vector<char> buf(static_cast<size_t>(need) + 1);
    vsnprintf(buf.data(), buf.size(), fmt, ap2);
    s.assign(buf.data(), static_cast<size_t>(need));
  }
  va_end(ap2);
  return s;
}

WString ToWString(const char16_t* s) {
  WString out;
  if (!s) return out;
  while (*s) out.push_back(static_cast<WCHAR>(*s++));
  return out;
}
