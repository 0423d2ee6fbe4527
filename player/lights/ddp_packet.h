// DDP (Distributed Display Protocol) data packets: how one strip frame goes
// to a pixel controller (WLED, ESPixelStick, Falcon, FPP) over UDP.
//
// Each packet is a 10-byte header and at most 1440 data bytes (480 RGB
// pixels):
//   byte 0     flags: version 1 in the top two bits (0x40), push (0x01) on
//              the last packet of a frame, which tells the receiver to show
//              what it has
//   byte 1     sequence number 1..15 in the low four bits (0 would mean
//              "not used"); the same for every packet of one frame
//   byte 2     data type: RGB, 8 bits per element (0x0B)
//   byte 3     destination id: 1, the receiver's default output
//   bytes 4-7  offset of the packet's data in the frame, in bytes, big-endian
//   bytes 8-9  length of the packet's data, big-endian
//
// Pure, no allocation: the packets are written into the caller's buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace chromola {

inline constexpr std::uint16_t kDdpDefaultPort = 4048;
inline constexpr std::size_t kDdpHeaderSize = 10;
inline constexpr std::size_t kDdpMaxData = 1440;
inline constexpr std::size_t kDdpMaxPacket = kDdpHeaderSize + kDdpMaxData;
inline constexpr std::uint8_t kDdpVersion1 = 0x40;
inline constexpr std::uint8_t kDdpPush = 0x01;
inline constexpr std::uint8_t kDdpTypeRgb8 = 0x0B;
inline constexpr std::uint8_t kDdpDefaultOutput = 1;

// A frame of up to `MaxBytes` bytes, cut into packets.
template <std::size_t MaxBytes>
struct DdpPackets {
    static constexpr std::size_t kMaxPackets = (MaxBytes + kDdpMaxData - 1) / kDdpMaxData;
    std::array<std::array<std::uint8_t, kDdpMaxPacket>, kMaxPackets> packets{};
    std::array<std::size_t, kMaxPackets> sizes{};
    std::size_t count = 0;
};

// Numbers the frames 1..15 and round again.
class DdpSequence {
  public:
    std::uint8_t Next() {
        last_ = static_cast<std::uint8_t>(last_ % 15 + 1);
        return last_;
    }

  private:
    std::uint8_t last_ = 0;
};

// Writes the header of one packet into `out` (at least kDdpHeaderSize bytes).
void WriteDdpHeader(std::uint8_t* out, std::uint8_t sequence, std::uint32_t offset,
                    std::uint16_t length, bool push);

// Cuts `frame` into packets carrying `sequence`; an empty frame makes one
// empty packet with the push flag. `frame` must fit `MaxBytes`.
template <std::size_t MaxBytes>
void PacketizeDdp(std::span<const std::uint8_t> frame, std::uint8_t sequence,
                  DdpPackets<MaxBytes>& out) {
    std::size_t offset = 0;
    out.count = 0;
    do {
        const std::size_t length = std::min(kDdpMaxData, frame.size() - offset);
        auto& packet = out.packets[out.count];
        WriteDdpHeader(packet.data(), sequence, static_cast<std::uint32_t>(offset),
                       static_cast<std::uint16_t>(length), offset + length == frame.size());
        std::copy_n(frame.data() + offset, length, packet.data() + kDdpHeaderSize);
        out.sizes[out.count] = kDdpHeaderSize + length;
        ++out.count;
        offset += length;
    } while (offset < frame.size() && out.count < out.packets.size());
}

}  // namespace chromola
