#pragma once
// The exchange buffer as a decoder sees it after an answered exchange: the
// fuzz input fills it from position 0 and whatever it does not cover is left
// from earlier traffic (here: the input repeated, or '!' alone if empty).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/link/exchange.h"

namespace riventar::fuzz {

inline link::Reply ReplyBuffer(const std::uint8_t* data, std::size_t size) {
  link::Reply r{};
  r.fill('!');
  if (size == 0) return r;
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<char>(data[i % size]);
  return r;
}

}  // namespace riventar::fuzz
