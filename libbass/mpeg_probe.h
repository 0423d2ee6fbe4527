// Recognises MPEG audio (layers I, II, III) by content: optional ID3v2 tags,
// then three consecutive frame headers that agree. Strict enough that random
// data, tracker modules and other formats do not pass for it.
#pragma once

#include "byte_source.h"

namespace chromola::audio {

bool looksLikeMpegAudio(ByteSource& source);

}  // namespace chromola::audio
