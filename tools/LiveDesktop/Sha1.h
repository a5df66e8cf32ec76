// SHA-1 of a byte string, for the WebSocket handshake's accept value (which the protocol defines
// with SHA-1; nothing here relies on it to resist collisions).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace sim::live {

using Sha1Digest = std::array<std::uint8_t, 20>;

Sha1Digest sha1(std::string_view bytes);

}  // namespace sim::live
