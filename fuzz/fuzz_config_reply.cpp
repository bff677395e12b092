// Every configuration reply decoder on an arbitrary 100-byte exchange buffer,
// and what the window makes of each value: the delay parts recompose the
// delay, the correction view is in range and encodes back to the same byte,
// the clock fields are two characters copied from their places, the version
// text stops at the first CR and converts to valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text/cp1251.h"
#include "core/config/settings.h"
#include "core/link/commands.h"
#include "core/link/hex.h"
#include "fuzz/check.h"
#include "fuzz/reply_buffer.h"

using namespace riventar;

namespace {

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t n = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xe  ? 3
                          : (lead >> 3) == 0x1e ? 4
                                                : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const link::Reply buffer = fuzz::ReplyBuffer(data, size);
  const std::string_view reply = link::View(buffer);

  FUZZ_CHECK(config::DecodeBrightness(reply) == link::HexToByte(reply, 4));
  FUZZ_CHECK(config::DecodeStartTripDelay(reply) == link::HexToByte(reply, 3));
  FUZZ_CHECK(config::DecodeTripCount(reply) == link::HexToByte(reply, link::TripCountPosition));
  FUZZ_CHECK(config::DecodeMode(reply) == link::HexToByte(reply, 3));

  const std::uint16_t tenths = config::DecodeShutdownDelay(reply);
  FUZZ_CHECK(tenths == link::HexToWord(reply, 4));
  const config::DelayParts parts = config::SplitShutdownDelay(tenths);
  FUZZ_CHECK(parts.hours >= 0 && parts.hours <= 1 && parts.minutes >= 0 && parts.minutes < 60 && parts.seconds >= 0 &&
             parts.seconds < 60);
  FUZZ_CHECK(parts.hours * 3600 + parts.minutes * 60 + parts.seconds == tenths / 10);

  const std::uint8_t correction = config::DecodeCorrection(reply);
  const config::CorrectionView view = config::ShowCorrection(correction);
  FUZZ_CHECK(view.interval >= 0 && view.interval <= 128);
  FUZZ_CHECK(view.intervalEnabled == (view.listPosition != config::CorrectionOffPosition));
  if (view.interval <= 127) {
    FUZZ_CHECK(config::EncodeCorrection(view.listPosition, view.interval) == correction);
    FUZZ_CHECK(config::CorrectionSetCommand(correction).size() == 7);
  }

  const config::ClockText clock = config::DecodeClock(reply);
  for (const auto& [field, position] :
       {std::pair{&clock.year, 4}, {&clock.month, 6}, {&clock.day, 10}, {&clock.hour, 12}, {&clock.minute, 14}}) {
    FUZZ_CHECK(*field == reply.substr(static_cast<std::size_t>(position), 2));
  }

  const std::string version = config::DecodeVersion(reply);
  FUZZ_CHECK(version.size() <= reply.size() - 4);
  FUZZ_CHECK(version.find('\r') == std::string::npos);
  FUZZ_CHECK(reply.substr(4, version.size()) == version);
  FUZZ_CHECK(4 + version.size() == reply.size() || reply[4 + version.size()] == '\r');
  FUZZ_CHECK(ValidUtf8(text::FromCp1251(version)));
  return 0;
}
