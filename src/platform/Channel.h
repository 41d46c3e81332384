#pragma once

#include <cstddef>
#include <string_view>

namespace xmlpellor {

// The descriptors a helper finds its channel and output file on.
inline constexpr int kHelperChannelFd = 3;
inline constexpr int kHelperOutputFd = 4;

// The largest message the channel carries in one piece.
inline constexpr std::size_t kMaxChannelMessage = 128 * 1024;

// Sends one whole message on a channel of whole messages (a SEQPACKET
// socket); false when the other end has gone. Takes no memory, so it may
// tell of memory that ran out.
bool SendMessage(int channel, std::string_view message) noexcept;

}  // namespace xmlpellor
