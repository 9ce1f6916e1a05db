#pragma once
// The command line's reading of a file image: the events exactly as the
// strict reader (ttSmfParser) stores them, plus the layout that writing the
// file back needs (SmfLayout.h), and, only when asked, repairs of the
// defects that real files often have.
//
// Per file, in a pipeline:
//
//   ttSmfLayout layout;
//   const ttSmfReadResult read = ReadSmfFile(image, size, repair, layout);
//   kRead:       CurrentSequence holds the file as after ttSmfParser::Parse;
//                tell layout.repairs and layout.notes (DescribeSmfNote), then
//                load, convert and, with the same layout,
//                BuildSmfFileImage (SmfFileWriter.h) and ValidateSmfFileImage.
//   kRepairable: refused; reading with repairs would read it, making the
//                repairs in layout.repairs.
//   kRefused:    refused; read.fault says what stops it and where.
//   kTooLarge:   refused; the repaired file would reach 4 GiB.
//
// The file may be a plain SMF, one behind a 128-byte MacBinary header, or a
// RIFF "RMID" file whose "data" chunk holds the SMF.
//
// Without repairs the SMF is read by the strict reader alone, so that a file
// gives exactly the dialogs' events and verdict; besides that only chunk
// headers are read. As the strict reader, the reading passes over bytes after
// the chunks the header announces: non-track chunks there are kept, track
// chunks there are not read (a kTrackChunksIgnored note), other bytes are
// ignored (a kTrailingBytesIgnored note).
//
// With repairs, a file that the strict reader accepts and whose header
// announces every track chunk is read exactly as without. Otherwise the
// chunks present win over the header's count, and these defects are mended
// (each named in layout.repairs): running status resumed after a meta or
// system-exclusive event; a track chunk without an end-of-track event; a
// chunk (also a RIFF chunk) whose length runs past the end of the file, read
// to the end, an incomplete last event dropped; bytes after the end-of-track
// event inside its chunk; a header count that differs from the chunks
// present; bytes after the last chunk. Anything else is refused as without.
//
// CurrentSequence is cleared first; after a refusal it holds no promise.

#include <cstdint>

#include "SmfLayout.h"
#include "SmfValidator.h"  // ttSmfCheck

enum class ttSmfReadStatus { kRead, kRepairable, kRefused, kTooLarge };

struct ttSmfReadResult {
  ttSmfReadStatus status;
  // kRefused: the first fault that no repair mends, at its offset in the
  // file. kOk otherwise.
  ttSmfCheck fault;
};

[[nodiscard]] ttSmfReadResult ReadSmfFile(const std::uint8_t* data, std::uint32_t size, bool repair,
                                          ttSmfLayout& layout);
