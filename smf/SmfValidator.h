#pragma once
// A structural check of SMF bytes that builds no model: it accepts exactly
// the images that ttSmfParser::Parse accepts. Saving runs it over every
// output image before a byte reaches the disk, so that a fault anywhere
// between loading and writing can never leave a file our own reader refuses.

#include <cstdint>

// Why an image is refused; kOk when the reader would accept it.
enum class ttSmfFault {
  kOk,
  kTruncated,        // the image ends inside a field, an event or a chunk
  kBadHeader,        // no "MThd" (after an optional MacBinary prefix), or length < 6
  kBadFormat,        // format above 2
  kBadDivision,      // an SMPTE frame rate other than 24, 25, 29.97 and 30
  kHeaderInChunks,   // an "MThd" chunk where the announced chunks stand
  kEmptyTrack,       // a track chunk of length 0
  kLongVarLen,       // a variable-length quantity of five or more bytes
  kNoRunningStatus,  // a data byte where no status byte is remembered
  kBadStatus,        // a system common or real-time status byte in a track
  kBadMetaType,      // a meta type of 0x80 or above
  kBadMetaLength,    // a fixed-length meta event with another length
  kBadEndOfTrack,    // a track chunk that does not end exactly with FF 2F 00
};

struct ttSmfCheck {
  ttSmfFault fault;
  // Offset in the image of the byte where the walk stopped (the image size
  // when it ran out of bytes); 0 for kOk.
  std::uint32_t offset;
};

// Walks data[0..size) as the reader would and reports the first fault.
// Bytes after the last announced chunk are not looked at, as the reader
// does not read them.
[[nodiscard]] ttSmfCheck ValidateSmfImage(const std::uint8_t* data, std::uint32_t size);

// As ValidateSmfImage, and for a RIFF "RMID" image the RIFF structure as
// BuildSmfFileImage writes it (RIFF size equal to the bytes that follow, every
// chunk within it, odd-sized chunks padded) with the SMF in the first "data"
// chunk beginning with "MThd". Every RIFF image it accepts, ReadSmfFile reads
// without repairs.
[[nodiscard]] ttSmfCheck ValidateSmfFileImage(const std::uint8_t* data, std::uint32_t size);

// A short English name of the fault, for diagnostics and test output.
const char* SmfFaultName(ttSmfFault fault);
