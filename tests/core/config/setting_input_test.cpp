// The setting rules as both front ends take them: conversion, refusal order
// and messages, the calendar and the weekday.
#include "core/config/setting_input.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "core/config/input_rules.h"

using namespace riventar::config;

namespace {

using Kind = Refusal::Kind;

// The fields and kinds refused, in order.
template <typename Value>
std::vector<std::pair<InputField, Kind>> Refused(const Parsed<Value>& parsed) {
  EXPECT_EQ(parsed.value.has_value(), parsed.refusals.empty());
  std::vector<std::pair<InputField, Kind>> out;
  for (const Refusal& r : parsed.refusals) out.emplace_back(r.field, r.kind);
  return out;
}

}  // namespace

TEST(SettingInput, IntegersAsTheFieldsConvertThem) {
  const struct {
    std::string text;
    std::optional<int> value;
  } cases[] = {
      {"05", 5},
      {"  7", 7},
      {"\t\u00a0\u30008", 8},
      {"-12", -12},
      {"+3", 3},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"-", std::nullopt},
      {"5 ", std::nullopt},
      {"1x", std::nullopt},
      {"--1", std::nullopt},
      {"\u0665", std::nullopt},  // a digit, but not an ASCII one
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;
}

TEST(SettingInput, RefusalsInTheWindowsOrder) {
  using F = InputField;
  const auto clock = [](const char* y, const char* mo, const char* d, const char* h, const char* mi) {
    return Refused(ParseClock({y, mo, d, h, mi}));
  };
  const struct {
    std::vector<std::pair<InputField, Kind>> actual, expected;
  } cases[] = {
      {Refused(ParseBrightness("20")), {{F::Brightness, Kind::Rule}}},
      {Refused(ParseBrightness("")), {{F::Brightness, Kind::NotInteger}}},
      {Refused(ParseShutdownDelay("2", "60", "60")),
       {{F::DelaySeconds, Kind::Rule}, {F::DelayMinutes, Kind::Rule}, {F::DelayHours, Kind::Rule}}},
      {Refused(ParseShutdownDelay("x", "1", "")),
       {{F::DelaySeconds, Kind::NotInteger}, {F::DelayHours, Kind::NotInteger}}},
      // The total only once the fields passed, on the hours.
      {Refused(ParseShutdownDelay("1", "49", "14")), {{F::DelayHours, Kind::Rule}}},
      {Refused(ParseStartTripDelay(-1)), {{F::StartTripDelay, Kind::Rule}}},
      {Refused(ParseStartTripDelay(10)), {{F::StartTripDelay, Kind::Rule}}},
      {Refused(ParseMode(5)), {{F::Mode, Kind::Rule}}},
      {Refused(ParseCorrection(CorrectionOffPosition, "junk")), {}},
      {Refused(ParseCorrection(CorrectionSubtractPosition, "")), {{F::CorrectionInterval, Kind::NotInteger}}},
      {clock("-1", "13", "0", "24", "60"),
       {{F::ClockMinute, Kind::Rule},
        {F::ClockHour, Kind::Rule},
        {F::ClockDay, Kind::Rule},
        {F::ClockMonth, Kind::Rule},
        {F::ClockYear, Kind::Rule}}},
      // The calendar only once every field passed.
      {clock("09", "02", "29", "23", "59"), {{F::ClockDay, Kind::NoSuchDate}}},
      {clock("05", "04", "31", "0", "0"), {{F::ClockDay, Kind::NoSuchDate}}},
      {clock("09", "02", "30", "23", "60"), {{F::ClockMinute, Kind::Rule}}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].actual, cases[i].expected) << i;
}

TEST(SettingInput, MessagesAreTheRulesAndValuesWhatGoesOut) {
  EXPECT_EQ(ParseShutdownDelay("2", "0", "0").refusals.at(0).message, DelayHoursRule.message);
  EXPECT_EQ(ParseShutdownDelay("1", "49", "14").refusals.at(0).message, DelayTotalRule.message);
  EXPECT_EQ(ParseCorrection(CorrectionAddPosition, "128").refusals.at(0).message, CorrectionIntervalRule.message);
  EXPECT_EQ(ParseCorrection(CorrectionAddPosition, "-5").refusals.at(0).message, CorrectionSignRule.message);
  EXPECT_EQ(ParseMode(-1).refusals.at(0).message, ModeNotChosenMessage);
  EXPECT_EQ(ParseClock({"1", "1", "1", "0", "x"}).refusals.at(0).text, "x");

  EXPECT_EQ(ParseBrightness("019").value, 19);
  EXPECT_EQ(ParseShutdownDelay("1", "49", "13").value, 65530);
  EXPECT_EQ(ParseCorrection(CorrectionSubtractPosition, "127").value, 0x81);
  EXPECT_EQ(ParseCorrection(-1, "5").value, 5);  // no entry chosen adds
  // Friday 29 February 2008; Sunday 16 October 2005 is weekday 7.
  EXPECT_EQ(ParseClock({"08", "02", "29", "23", "59"}).value, (ClockSetting{8, 2, 5, 29, 23, 59}));
  EXPECT_EQ(ParseClock({"5", "10", "16", "0", "7"}).value->weekday, 7);
}
