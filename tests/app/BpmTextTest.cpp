// The typed BPM's number grammar and the shown BPM's text.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "BpmText.h"
#include "TempoConversion.h"

namespace {

struct ParseRow {
  const char* why;
  const char* text;
  double value;  // HUGE_VAL for "beyond every double"
};

const ParseRow kParseRows[] = {
    {"inf is not a number here", "inf", 0},
    {"hexadecimal is not read", "0x10", 0},
    {"negative", "-120", -120},
    {"plus sign", "+90", 90},
    {"trailing garbage ignored", "120abc", 120},
    {"leading white space skipped", " \t\n90", 90},
    {"exponent e", "1e2", 100},
    {"exponent d, as the runtime reads it", "1d2", 100},
    {"exponent D with sign", "25D-1", 2.5},
    {"point without leading digits", ".5e1", 5},
    {"point without trailing digits", "7.", 7},
    {"a lone point is no number", ".", 0},
    {"the comma is no decimal point", "1,5", 1},
    {"a second point ends the number", "1.2.3", 1.2},
    {"exponent sign without digits is left over", "3e+x", 3},
    {"space after the sign ends it", "- 5", 0},
    {"too large for a double", "1e400", HUGE_VAL},
    {"too large, no digit before the point", ".5e400", HUGE_VAL},
    {"too small for a double", "1e-400", 0},
    {"many digits", "123456789012345678901234567890", 123456789012345678901234567890.0},
};

void CheckParseRows() {
  for (const ParseRow& row : kParseRows) {
    SCOPED_TRACE(std::string(row.why) + ": \"" + row.text + "\"");
    EXPECT_EQ(ParseBpmText(row.text), row.value);
  }
  // Longer than the dialog's field, but the command line takes any length.
  const std::string zeros(400, '0');
  EXPECT_EQ(ParseBpmText(("1" + zeros + "e-1").c_str()), HUGE_VAL);
  EXPECT_EQ(ParseBpmText(("0." + zeros + "1").c_str()), 0.0);
  EXPECT_EQ(ParseBpmText(("0." + zeros + "1e500").c_str()), 1e99);
}

}  // namespace

TEST(ParseBpmText, ReadsTheDialogsNumberGrammar) {
  CheckParseRows();
}

TEST(ParseBpmText, IgnoresTheLocalesDecimalComma) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr)
    GTEST_SKIP() << "no German or French locale installed";
  SCOPED_TRACE(found);
  CheckParseRows();
  EXPECT_EQ(ParseBpmText("1.5"), 1.5);
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(FormatBpmText, ShowsTenSignificantDigits) {
  const struct {
    const char* why;
    double bpm;
    const char* text;
  } kRows[] = {
      {"tempo 500000", 120.0, "120.0"},
      {"tempo 16777215", 60000000.0 / 16777215.0, "3.5762789"},
      {"tempo 1", 60000000.0, "60000000.0"},
      {"tempo 8571428", 60000000.0 / 8571428.0, "7.000000467"},
      {"tempo 7", 60000000.0 / 7.0, "8571428.571"},
      {"a third", 1.0 / 3.0, "0.3333333333"},
      {"rounding carries into a new digit", 99.9999999999, "100.0"},
      {"ten integer digits", 1234567890.0, "1234567890.0"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(FormatBpmText(row.bpm), row.text);
  }
}

TEST(ExactBpmText, ShortestTextThatReadsBackAsTheTempo) {
  const struct {
    std::uint32_t tempo;
    const char* text;
  } kRows[] = {
      {500000, "120"},         {618750, "96.9696"}, {615625, "97.4619"},
      {16777215, "3.5762788"}, {1, "60000000"},     {0, ""},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(ExactBpmText(row.tempo), row.text) << row.tempo;
  // Every tempo has one: spread over the range, the slow end densest.
  for (std::uint32_t tempo = 16777215; tempo > 0; tempo -= 1 + tempo / 997) {
    const std::string text = ExactBpmText(tempo);
    std::uint32_t back = 0;
    ASSERT_TRUE(TempoForBpm(ParseBpmText(text.c_str()), &back) && back == tempo) << tempo << text;
  }
}
