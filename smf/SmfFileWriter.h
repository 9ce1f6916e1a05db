#pragma once
// The command line's writing: CurrentSequence and the layout of the file it
// was read from (ReadSmfFile) to the bytes of a file that keeps what the
// source held besides its events.
//
// - The header chunk keeps its length and extra bytes; its format and
//   division are the sequence's.
// - A kept chunk stands before the track whose number is its tracksBefore,
//   or after the last track when there are not that many. With the tracks
//   kept one for one, every chunk is where it was; with all tracks merged
//   into one, the chunks that stood before the first track chunk stay before
//   the track and the others follow it.
// - The header's count covers every chunk up to the last track chunk, so that
//   a reader that counts every chunk (the dialogs' reader does) reaches every
//   track. Chunks after the last track are not counted, as such chunks usually
//   stand, so that a reader expecting only track chunks stops before them;
//   except a chunk whose id is not text, which with every chunk before it is
//   counted: after the counted chunks it could not be told from stray bytes.
// - kRiff: a RIFF "RMID" file again, the SMF in its "data" chunk, the other
//   RIFF chunks in their places, every size right and every odd-sized chunk
//   followed by a zero pad byte. kPlain and kMacBinary: a plain SMF.
//
// Like BuildSmfImage, it measures first and allocates the image once at its
// exact size. Chunks in the layout never have the id of a header or track
// chunk (ReadSmfFile never puts one there).

#include <cstdint>

#include "SmfImage.h"  // ttSmfLimit
#include "SmfLayout.h"
#include "ttByteArray.h"

// Replaces the array's contents with the image and returns its size (equal
// to out.length). Returns 0 and leaves `out` empty when the sequence cannot
// be written; *limit, when given, then receives which limit: a delta time
// above 0x0FFFFFFF (or a time below its predecessor's), a file of 4 GiB or
// more, or a header count (tracks and the chunks before the last) past 65,535.
[[nodiscard]] std::uint32_t BuildSmfFileImage(const ttSmfLayout& layout, ttByteArray& out,
                                              ttSmfLimit* limit = nullptr);
