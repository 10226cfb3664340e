#include "core/clock.hpp"

#include <chrono>

#include "core/error.hpp"

namespace vyr {

Instant now_utc() {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
  const std::int64_t ticks =
      std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  if (ticks < 0) {
    panic("system time before Unix epoch");
  }
  const std::int64_t seconds = ticks / 10'000'000;
  const auto nanoseconds = static_cast<std::uint32_t>((ticks % 10'000'000) * 100);
  const std::optional<Instant> instant = Instant::from_unix(seconds, nanoseconds);
  if (!instant) {
    panic("expect a real date");
  }
  return *instant;
}

}  // namespace vyr
