#include "BpmText.h"

#include <charconv>  // std::from_chars: locale-independent, unlike atof and strtod
#include <cmath>     // HUGE_VAL
#include <cstdio>    // std::snprintf
#include <cstdlib>   // std::atoi

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
// White space as the C locale knows it; the user's locale plays no part.
bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
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
  int exponentSign = 1;
  if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
    const char* q = p + 1;
    std::string exponent = "e";
    if (*q == '+' || *q == '-') {
      if (*q == '-')
        exponentSign = -1;
      exponent += *q++;
    }
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
    // Too large or too small for a double: atof gives HUGE_VAL or 0.
    const bool large = exponentSign > 0 && integerDigits > 0;
    value = large ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
}

std::string FormatBpmText(double bpm) {
  // Ten significant digits, as the dialog has always shown them.
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
