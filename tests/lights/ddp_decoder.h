// A DDP receiver's reading of packets, written from the protocol's
// description (3waylabs), not from the player's sender: header fields,
// checks, and a display buffer that shows what it holds on the push flag.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace chromola::testing {

struct DdpHeader {
    int version = 0;    // flags bits 7..6
    bool push = false;  // flags bit 0
    int sequence = 0;   // byte 1, low nibble
    int dataType = 0;
    int id = 0;
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
};

// The header of `packet`, or why it is not a DDP data packet.
inline std::optional<DdpHeader> ReadDdpHeader(std::span<const std::uint8_t> packet,
                                              std::string* why) {
    if (packet.size() < 10) {
        *why = "shorter than a header";
        return std::nullopt;
    }
    DdpHeader h;
    h.version = packet[0] >> 6;
    h.push = (packet[0] & 0x01) != 0;
    h.sequence = packet[1] & 0x0f;
    h.dataType = packet[2];
    h.id = packet[3];
    h.offset = std::uint32_t{packet[4]} << 24 | std::uint32_t{packet[5]} << 16 |
               std::uint32_t{packet[6]} << 8 | packet[7];
    h.length = static_cast<std::uint16_t>(packet[8] << 8 | packet[9]);
    if ((packet[0] & 0x10) != 0) {
        *why = "time code flag set: the data would start at byte 14";
    } else if (h.version != 1) {
        *why = "not version 1";
    } else if (packet.size() != 10u + h.length) {
        *why = "length field disagrees with the packet";
    } else if (h.length > 1440) {
        *why = "more than 1440 data bytes";
    } else {
        return h;
    }
    return std::nullopt;
}

// A display of `bytes` bytes: packets write into it, a push shows it.
class DdpDisplay {
  public:
    explicit DdpDisplay(std::size_t bytes) : buffer_(bytes) {}
    // False (with `why`) for a packet a receiver would refuse.
    bool Take(std::span<const std::uint8_t> packet, std::string* why) {
        const auto h = ReadDdpHeader(packet, why);
        if (!h) {
            return false;
        }
        if (h->id != 1 || h->dataType != 0x0B) {
            *why = "not RGB 8-bit data for the default output";
            return false;
        }
        if (h->offset + h->length > buffer_.size()) {
            *why = "data beyond the display";
            return false;
        }
        std::copy_n(packet.begin() + 10, h->length, buffer_.begin() + h->offset);
        headers.push_back(*h);
        if (h->push) {
            shown.push_back(buffer_);
        }
        return true;
    }
    std::vector<DdpHeader> headers;
    std::vector<std::vector<std::uint8_t>> shown;  // the buffer at each push

  private:
    std::vector<std::uint8_t> buffer_;
};

}  // namespace chromola::testing
