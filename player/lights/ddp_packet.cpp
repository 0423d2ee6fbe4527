#include "lights/ddp_packet.h"

namespace chromola {

void WriteDdpHeader(std::uint8_t* out, std::uint8_t sequence, std::uint32_t offset,
                    std::uint16_t length, bool push) {
    out[0] = static_cast<std::uint8_t>(kDdpVersion1 | (push ? kDdpPush : 0));
    out[1] = static_cast<std::uint8_t>(sequence & 0x0f);
    out[2] = kDdpTypeRgb8;
    out[3] = kDdpDefaultOutput;
    out[4] = static_cast<std::uint8_t>(offset >> 24);
    out[5] = static_cast<std::uint8_t>(offset >> 16);
    out[6] = static_cast<std::uint8_t>(offset >> 8);
    out[7] = static_cast<std::uint8_t>(offset);
    out[8] = static_cast<std::uint8_t>(length >> 8);
    out[9] = static_cast<std::uint8_t>(length);
}

}  // namespace chromola
