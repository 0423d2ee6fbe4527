// Recognises MPEG audio (layers I, II, III) by content: optional ID3v2 tags,
// then three consecutive frame headers that agree. Strict enough that random
// data, tracker modules and other formats do not pass for it.
#pragma once

#include "byte_source.h"

namespace chromola::audio {

bool looksLikeMpegAudio(ByteSource& source);

// True when, after any ID3v2 tags, the data starts with an MPEG frame sync
// (or a tag is all there is): the files that libsndfile would hand to its own,
// noisy, MPEG decoder. Every file of that kind goes to ours or nowhere.
bool startsLikeMpegAudio(ByteSource& source);

// True when the first frame states the stream's length: a Xing or Info
// header with its frame count (what LAME and most encoders write), or a VBRI
// header. libmpg123 then knows the length without reading the whole file.
bool statesItsLength(ByteSource& source);

}  // namespace chromola::audio
