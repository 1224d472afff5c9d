#include "core/numbers.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace ph {
namespace {

bool IsSkipped(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t Unit(QChar c) { return c.unicode(); }
char16_t Unit(char c) { return static_cast<unsigned char>(c); }

// Works on any sequence of UTF-16 or single-byte characters.
template <typename Text>
double ReadNumberImpl(const Text& text) {
  std::string compact;  // the number's characters, blanks removed, ASCII only
  compact.reserve(32);
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto next = [&]() -> char16_t {
    while (i < n && IsSkipped(Unit(text[i]))) ++i;
    return i < n ? Unit(text[i]) : u'\0';
  };

  char16_t c = next();
  if (c == u'&') {
    ++i;
    const char16_t h = next();
    if (h != u'H' && h != u'h') return 0;
    ++i;
    double value = 0;
    while (true) {
      const int digit = HexDigitValue(next());
      if (digit < 0) break;
      value = value * 16 + digit;
      ++i;
    }
    return value;
  }

  if (c == u'+' || c == u'-') {
    compact.push_back(static_cast<char>(c));
    ++i;
    c = next();
  }
  bool any_digit = false;
  bool seen_point = false;
  while (true) {
    if (IsDigit(c)) {
      any_digit = true;
    } else if (c == u'.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
    compact.push_back(static_cast<char>(c));
    ++i;
    c = next();
  }
  if (!any_digit) return 0;

  if (c == u'e' || c == u'E') {
    // The exponent only counts when digits follow it.
    const std::size_t mark = i;
    std::string exponent = "e";
    ++i;
    char16_t e = next();
    if (e == u'+' || e == u'-') {
      exponent.push_back(static_cast<char>(e));
      ++i;
      e = next();
    }
    bool exponent_digits = false;
    while (IsDigit(e)) {
      exponent_digits = true;
      exponent.push_back(static_cast<char>(e));
      ++i;
      e = next();
    }
    if (exponent_digits) {
      compact += exponent;
    } else {
      i = mark;
    }
  }
  const double value = std::strtod(compact.c_str(), nullptr);
  return std::isfinite(value) ? value : std::copysign(std::numeric_limits<double>::max(), value);
}

template <typename Int>
Int RoundSaturating(double value) {
  const double rounded = RoundHalfEven(value);
  if (rounded <= static_cast<double>(std::numeric_limits<Int>::min()))
    return std::numeric_limits<Int>::min();
  if (rounded >= static_cast<double>(std::numeric_limits<Int>::max()))
    return std::numeric_limits<Int>::max();
  return static_cast<Int>(rounded);
}

}  // namespace

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

double ReadNumber(QStringView text) { return ReadNumberImpl(text); }
double ReadNumber(std::string_view text) { return ReadNumberImpl(text); }

double RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode, which is round-to-nearest-even by default.
  return std::nearbyint(value);
}

double RoundHalfEven2(double value) { return RoundHalfEven(value * 100.0) / 100.0; }

int16_t RoundToInt16(double value) { return RoundSaturating<int16_t>(value); }
int32_t RoundToInt32(double value) { return RoundSaturating<int32_t>(value); }

int RatioPercent(double successes, double tests) {
  if (tests <= 0) return 0;
  // Whole counts are the normal case: exact integer arithmetic keeps ties such as
  // 1 of 40 (2.5%) from being pushed across by binary fractions.
  const double whole_s = std::trunc(successes);
  const double whole_t = std::trunc(tests);
  if (whole_s == successes && whole_t == tests && std::fabs(successes) < 1e12 && tests < 1e12) {
    const long long s = static_cast<long long>(whole_s);
    const long long t = static_cast<long long>(whole_t);
    const long long scaled = 100 * s;
    long long q = scaled / t;
    long long r = scaled % t;
    if (r < 0) {
      r += t;
      --q;
    }
    if (2 * r > t || (2 * r == t && (q % 2 != 0))) ++q;
    return static_cast<int>(q);
  }
  return static_cast<int>(RoundHalfEven(RoundHalfEven2(successes / tests) * 100.0));
}

const QString& SmallNumberText(int value) {
  static std::vector<QString> cache(kSmallNumbers);
  QString& text = cache[static_cast<std::size_t>(value)];
  if (text.isNull()) text = QString::number(value);
  return text;
}

QString NumberText(double value) {
  if (value >= 0 && value < kSmallNumbers && std::trunc(value) == value)
    return SmallNumberText(static_cast<int>(value));
  if (std::trunc(value) == value && std::fabs(value) < 1e15)
    return QString::number(static_cast<long long>(value));
  return QString::number(value, 'g', 15);
}

}  // namespace ph
