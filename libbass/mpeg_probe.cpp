#include "mpeg_probe.h"

#include <array>
#include <cstdint>
#include <optional>

namespace chromola::audio {

namespace {

struct FrameHeader {
    int version;  // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
    int layer;    // 1, 2 or 3
    int rate;
    int bytes;  // whole frame, header included
};

std::optional<FrameHeader> parseHeader(const unsigned char* p) {
    const uint32_t h =
        (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    if ((h >> 21) != 0x7FF)
        return std::nullopt;
    const int version = static_cast<int>((h >> 19) & 3);
    const int layerBits = static_cast<int>((h >> 17) & 3);
    const int bitrateIndex = static_cast<int>((h >> 12) & 15);
    const int rateIndex = static_cast<int>((h >> 10) & 3);
    const int padding = static_cast<int>((h >> 9) & 1);
    // Reserved values, and free-format streams (no bitrate to size a frame).
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3) {
        return std::nullopt;
    }
    const int layer = 4 - layerBits;
    static constexpr std::array<std::array<int, 15>, 5> kBitrates{{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // V1 L1
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // V1 L2
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // V1 L3
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // V2 L1
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // V2 L2, L3
    }};
    static constexpr std::array<int, 3> kRates{44100, 48000, 32000};
    const bool v1 = version == 3;
    const int table = v1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int kbps =
        kBitrates[static_cast<std::size_t>(table)][static_cast<std::size_t>(bitrateIndex)];
    int rate = kRates[static_cast<std::size_t>(rateIndex)];
    if (version == 2)
        rate /= 2;
    if (version == 0)
        rate /= 4;
    int bytes;
    if (layer == 1) {
        bytes = (12 * kbps * 1000 / rate + padding) * 4;
    } else if (layer == 3 && !v1) {
        bytes = 72 * kbps * 1000 / rate + padding;
    } else {
        bytes = 144 * kbps * 1000 / rate + padding;
    }
    if (bytes < 24) {
        return std::nullopt;
    }
    // Layer II joint stereo whose stereo bound lies past the subband limit is
    // damage no encoder writes, and libmpg123 complains about it on stderr
    // whatever it is told.
    const int mode = static_cast<int>((h >> 6) & 3);
    if (layer == 2 && mode == 1) {
        static constexpr int kTranslate[3][2][16] = {
            {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 0},
             {0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
            {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0},
             {0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
            {{0, 3, 3, 3, 3, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 0},
             {0, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}}};
        static constexpr int kSubbandLimits[5] = {27, 30, 8, 12, 30};
        const int table = v1 ? kTranslate[rateIndex][0][bitrateIndex] : 4;
        const int bound = static_cast<int>(((h >> 4) & 3) << 2) + 4;
        if (bound > kSubbandLimits[table]) {
            return std::nullopt;
        }
    }
    return FrameHeader{version, layer, rate, bytes};
}

// Size of the ID3v2 tag at p, 0 when there is none.
int64_t id3v2Size(const unsigned char* p) {
    if (p[0] != 'I' || p[1] != 'D' || p[2] != '3')
        return 0;
    for (int i = 6; i < 10; ++i) {
        if (p[i] & 0x80)
            return 0;  // not a syncsafe size: not a tag
    }
    const int64_t size =
        (int64_t{p[6]} << 21) | (int64_t{p[7]} << 14) | (int64_t{p[8]} << 7) | p[9];
    const bool footer = (p[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

}  // namespace

namespace {

// Offset of the first byte after the ID3v2 tags at the start; -1 when the
// data ends inside them.
int64_t afterTags(ByteSource& source) {
    int64_t pos = 0;
    unsigned char head[10];
    // Tags may be stacked; a few are plenty.
    for (int tags = 0; tags < 4; ++tags) {
        if (source.readAt(pos, head, sizeof head) != sizeof head)
            return tags == 0 ? 0 : -1;
        const int64_t tag = id3v2Size(head);
        if (tag == 0)
            break;
        pos += tag;
    }
    return pos;
}

}  // namespace

bool startsLikeMpegAudio(ByteSource& source) {
    const int64_t pos = afterTags(source);
    if (pos < 0)
        return true;
    unsigned char b[2];
    if (source.readAt(pos, b, sizeof b) != sizeof b)
        return pos > 0;
    return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0;
}

bool statesItsLength(ByteSource& source) {
    const int64_t pos = afterTags(source);
    unsigned char frame[64];
    if (pos < 0 || source.readAt(pos, frame, sizeof frame) != sizeof frame)
        return false;
    const std::optional<FrameHeader> h = parseHeader(frame);
    if (!h || h->layer != 3 || h->bytes < static_cast<int>(sizeof frame))
        return false;
    // The Xing/Info header follows the side information, whose size depends
    // on the version and on mono against the rest; VBRI sits at a fixed place.
    const bool mono = ((frame[3] >> 6) & 3) == 3;
    const std::size_t side = h->version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const unsigned char* xing = frame + 4 + side;
    const bool tagged = (xing[0] == 'X' && xing[1] == 'i' && xing[2] == 'n' && xing[3] == 'g') ||
                        (xing[0] == 'I' && xing[1] == 'n' && xing[2] == 'f' && xing[3] == 'o');
    const auto be32 = [](const unsigned char* p) {
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    if (tagged)
        return (be32(xing + 4) & 1) != 0 && be32(xing + 8) > 0;  // the frame count is there
    const unsigned char* vbri = frame + 36;
    return vbri[0] == 'V' && vbri[1] == 'B' && vbri[2] == 'R' && vbri[3] == 'I' &&
           be32(vbri + 14) > 0;
}

bool looksLikeMpegAudio(ByteSource& source) {
    constexpr int kFramesToAgree = 3;
    const int64_t size = source.size();
    int64_t pos = afterTags(source);
    if (pos < 0)
        return false;
    std::optional<FrameHeader> first;
    for (int i = 0; i < kFramesToAgree; ++i) {
        unsigned char bytes[4];
        if (pos == size && i > 0)
            return true;  // a short file that ends on a frame boundary
        if (source.readAt(pos, bytes, sizeof bytes) != sizeof bytes)
            return false;
        std::optional<FrameHeader> h = parseHeader(bytes);
        if (!h)
            return false;
        if (first &&
            (h->version != first->version || h->layer != first->layer || h->rate != first->rate)) {
            return false;
        }
        if (!first)
            first = h;
        pos += h->bytes;
    }
    return true;
}

}  // namespace chromola::audio
