#include "BpmText.h"

#include <algorithm>  // std::min
#include <charconv>   // std::from_chars: locale-independent, unlike atof and strtod
#include <cmath>      // HUGE_VAL
#include <cstdio>     // std::snprintf
#include <cstdlib>    // std::atoi

#include "TempoConversion.h"  // TempoForBpm

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
// White space as the C locale knows it; the user's locale plays no part.
bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// For digits with an optional '.' and "e[sign]digits": the power of ten just
// above the first significant digit (1 for "5", 0 for ".5", 401 for "1e400").
// Only its sign is used; the exponent is clamped so that it cannot overflow.
long long DecimalMagnitude(const std::string& number) {
  const std::size_t e = std::min(number.find('e'), number.size());
  long long exponent = 0;
  std::size_t i = e + 1;
  const bool negative = i < number.size() && number[i] == '-';
  if (i < number.size() && (number[i] == '-' || number[i] == '+'))
    ++i;
  for (; i < number.size(); ++i) {
    exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000000LL);
  }
  if (negative)
    exponent = -exponent;
  const std::size_t point = std::min(number.find('.'), e);
  const std::size_t first = number.find_first_not_of("0.");
  if (first >= e)
    return 0;  // all zeros: never out of range
  const auto position = first < point ? static_cast<long long>(point - first)
                                      : -static_cast<long long>(first - point - 1);
  return position + exponent;
}

}  // namespace

double ParseBpmText(const char* text) {
  const char* p = text;
  while (IsSpace(*p))
    ++p;

  bool negative = false;
  if (*p == '+' || *p == '-')
    negative = *p++ == '-';

  // Collect the number in the one form from_chars reads: digits, '.', 'e'.
  std::string number;
  int integerDigits = 0;
  int fractionDigits = 0;
  while (IsDigit(*p)) {
    number += *p++;
    ++integerDigits;
  }
  if (*p == '.') {
    number += '.';
    ++p;
    while (IsDigit(*p)) {
      number += *p++;
      ++fractionDigits;
    }
  }
  if (integerDigits + fractionDigits == 0)
    return 0.0;

  // The exponent counts only when digits follow its letter and sign.
  if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
    const char* q = p + 1;
    std::string exponent = "e";
    if (*q == '+' || *q == '-')
      exponent += *q++;
    if (IsDigit(*q)) {
      while (IsDigit(*q))
        exponent += *q++;
      number += exponent;
    }
  }

  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: atof gives HUGE_VAL or 0. Which
    // one depends on where the first significant digit stands, not on the
    // exponent's sign alone: .5e400 is huge, 1000...0e-1 may be too.
    value = DecimalMagnitude(number) > 0 ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
}

std::string FormatBpmText(double bpm) {
  // Ten significant digits: enough to tell apart the BPMs of any two tempi a
  // tempo event can hold (neighbours differ by at least 1 part in 16777215),
  // and short enough to read at a glance (3.5762789, not 3.5762788996862...).
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9e", bpm);
  // buffer: [-]d.ddddddddde[+-]xx
  std::string text(buffer);
  const std::size_t e = text.find('e');
  if (e == std::string::npos)
    return text;  // inf or nan
  const int exponent = std::atoi(text.c_str() + e + 1);
  std::string sign;
  std::string mantissa = text.substr(0, e);
  if (mantissa[0] == '-') {
    sign = "-";
    mantissa.erase(0, 1);
  }
  std::string digits = mantissa.substr(0, 1) + mantissa.substr(2);  // ten digits, no point

  std::string out;
  if (exponent < -1 || exponent >= 10) {
    while (digits.size() > 1 && digits.back() == '0')
      digits.pop_back();
    char exponentText[16];
    std::snprintf(exponentText, sizeof exponentText, "e%+04d", exponent);
    out = sign + digits.substr(0, 1) + "." + digits.substr(1) + exponentText;
    return out;
  }
  if (exponent == -1) {
    out = "0." + digits;
  } else {
    const auto integerLength = static_cast<std::size_t>(exponent) + 1;
    out = digits.substr(0, integerLength) + "." + digits.substr(integerLength);
  }
  while (out.back() == '0')
    out.pop_back();
  if (out.back() == '.')
    out += '0';
  return sign + out;
}

std::string ExactBpmText(std::uint32_t tempo) {
  if (tempo < 1 || tempo > 0xFFFFFF)
    return std::string();
  const double bpm = 60000000.0 / static_cast<double>(tempo);
  // The texts that read back as `tempo` span (60000000 / (tempo + 1),
  // 60000000 / tempo]: about 3.6e-6 BPM wide at the slowest tempo, so nine
  // decimals always find one. Each length tries the nearest text and its
  // neighbours, as the division and the parse may each round.
  for (int decimals = 0; decimals <= 12; ++decimals) {
    double step = 1.0;
    for (int i = 0; i < decimals; ++i)
      step /= 10.0;
    std::string best;
    double bestDistance = 0.0;
    for (int offset = -1; offset <= 1; ++offset) {
      char text[64];
      std::snprintf(text, sizeof text, "%.*f", decimals, bpm + offset * step);
      const double value = ParseBpmText(text);
      std::uint32_t back = 0;
      if (!TempoForBpm(value, &back) || back != tempo)
        continue;
      const double distance = value > bpm ? value - bpm : bpm - value;
      if (best.empty() || distance < bestDistance) {
        best = text;
        bestDistance = distance;
      }
    }
    if (!best.empty())
      return best;
  }
  return std::string();
}
