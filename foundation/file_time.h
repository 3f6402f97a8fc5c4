// NTFS file times (100 ns ticks since 1601-01-01 UTC) and Unix times, converted in one place.
#pragma once

#include <cstdint>

namespace sorvani {

inline constexpr std::uint64_t kFileTimeTicksPerSecond = 10000000;
// 1970-01-01 00:00:00 UTC as a file time.
inline constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000;

// Whole seconds since 1601-01-01 UTC.
constexpr std::uint64_t FileTimeSeconds(std::uint64_t fileTime) {
  return fileTime / kFileTimeTicksPerSecond;
}

// Whole Unix seconds, rounded down (negative before 1970). Whole seconds first: the 64-bit
// tick count does not fit a signed difference.
constexpr std::int64_t FileTimeToUnixSeconds(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(FileTimeSeconds(fileTime)) -
         static_cast<std::int64_t>(kFileTimeUnixEpoch / kFileTimeTicksPerSecond);
}

// The file time of a Unix time; 0 before 1601 and the largest file time past its range.
constexpr std::uint64_t UnixToFileTime(std::int64_t seconds, std::uint32_t nanoseconds = 0) {
  constexpr std::int64_t kEpochSeconds = kFileTimeUnixEpoch / kFileTimeTicksPerSecond;
  constexpr std::int64_t kLastSecond =
      static_cast<std::int64_t>(~std::uint64_t{0} / kFileTimeTicksPerSecond);
  if (nanoseconds >= 1000000000u) nanoseconds = 999999999u;
  if (seconds < -kEpochSeconds) return 0;
  if (seconds > kLastSecond - kEpochSeconds) return ~std::uint64_t{0};
  const std::uint64_t whole =
      static_cast<std::uint64_t>(seconds + kEpochSeconds) * kFileTimeTicksPerSecond;
  const std::uint64_t ticks = nanoseconds / 100;
  return whole > ~std::uint64_t{0} - ticks ? ~std::uint64_t{0} : whole + ticks;
}

}  // namespace sorvani
