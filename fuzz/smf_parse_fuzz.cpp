// The reader against arbitrary bytes. Oracles: the validator gives the
// reader's verdict; what the reader accepts, it reads side by side, and the
// writer writes back to the same events. The command line's file reader gives
// the reader's verdict and events (but on RIFF files), reads with repairs what
// it calls repairable, and what it reads the file writer writes as a valid
// image that reads back to the same events and kept bytes, nothing to repair.

#include <algorithm>  // std::equal, std::min
#include <cstddef>
#include <cstdint>
#include <cstring>  // std::memcpy
#include <memory>   // std::unique_ptr
#include <vector>

#include "FuzzSupport.h"
#include "SmfFileReader.h"
#include "SmfFileWriter.h"
#include "SmfImage.h"
#include "SmfValidator.h"
#include "ttByteArray.h"
#include "ttSmfParser.h"

namespace {

// The same chunks, each after the same tracks of the `tracks` written.
bool SameChunks(const std::vector<ttSmfChunk>& a, const std::vector<ttSmfChunk>& b,
                std::uint32_t tracks) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const auto& x, const auto& y) {
    return std::memcmp(x.id, y.id, 4) == 0 && x.data == y.data &&
           std::min(x.tracksBefore, tracks) == y.tracksBefore;
  });
}

// Writes what CurrentSequence and `layout` hold and reads it back.
void CheckWrittenFile(const ttSmfLayout& layout, bool repaired) {
  ttByteArray out;
  ttSmfLimit limit = ttSmfLimit::kSize;
  const std::uint32_t written = BuildSmfFileImage(layout, out, &limit);
  // Repairs read every track chunk: with the others, more than a header counts.
  if (repaired && written == 0 && limit == ttSmfLimit::kTrackCount)
    return;
  FuzzCheck(written != 0 && written == out.length,
            "the file writer refuses what the file reader read");
  FuzzCheck(ValidateSmfFileImage(out.data, out.length).fault == ttSmfFault::kOk,
            "the validator refuses a written file");
  ttSmfSequence read;
  TakeSequence(read);
  ttSmfLayout again;
  FuzzCheck(ReadSmfFile(out.data, out.length, false, again).status == ttSmfReadStatus::kRead,
            "the file reader refuses a written file");
  FuzzCheck(again.repairs.empty() && again.notes.empty(),
            "a written file has something to repair or tell");
  FuzzCheck(CurrentSequence.format == read.format && CurrentSequence.division == read.division &&
                SameTracks(CurrentSequence.tracks, read.tracks),
            "events changed by writing and reading a file");
  const auto tracks = static_cast<std::uint32_t>(read.tracks.size());
  FuzzCheck(again.headerExtra == layout.headerExtra &&
                SameChunks(layout.chunks, again.chunks, tracks) &&
                SameChunks(layout.riffChunks, again.riffChunks, 0) &&
                (layout.container == ttSmfContainer::kRiff) ==
                    (again.container == ttSmfContainer::kRiff) &&
                (again.container != ttSmfContainer::kRiff ||
                 again.riffChunksBeforeData == layout.riffChunksBeforeData),
            "kept bytes changed by writing and reading a file");
  CurrentSequence.Clear();
}

void CheckFileReading(const std::uint8_t* image, std::uint32_t n, const ttSmfSequence* strict) {
  const bool riff = n >= 4 && std::memcmp(image, "RIFF", 4) == 0;
  ttSmfLayout layout;
  const ttSmfReadStatus plain = ReadSmfFile(image, n, false, layout).status;
  if (!riff) {
    FuzzCheck((plain == ttSmfReadStatus::kRead) == (strict != nullptr),
              "the file reader's verdict differs from the reader's");
    FuzzCheck(strict == nullptr || SameTracks(CurrentSequence.tracks, strict->tracks),
              "the file reader's events differ from the reader's");
  }
  bool unread = false;  // track chunks left unread without repairs
  for (const ttSmfNote& note : layout.notes)
    unread |= note.kind == ttSmfNoteKind::kTrackChunksIgnored;
  ttSmfSequence read;
  if (plain == ttSmfReadStatus::kRead) {
    read.tracks = CurrentSequence.tracks;
    CheckWrittenFile(layout, false);
  }

  const ttSmfReadStatus repaired = ReadSmfFile(image, n, true, layout).status;
  FuzzCheck((plain != ttSmfReadStatus::kRead && plain != ttSmfReadStatus::kRepairable) ||
                repaired == ttSmfReadStatus::kRead,
            "repairs refuse a file read without them or said to be repairable");
  FuzzCheck(
      plain != ttSmfReadStatus::kRead || unread || SameTracks(CurrentSequence.tracks, read.tracks),
      "repairs change a file read without them");
  if (repaired == ttSmfReadStatus::kRead)
    CheckWrittenFile(layout, true);
  CurrentSequence.Clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu)
    return 0;
  const auto n = static_cast<std::uint32_t>(size);
  // An exact-size block: a read past the end is seen by AddressSanitizer.
  std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[n == 0 ? 1 : n]);
  if (n != 0)
    std::memcpy(image.get(), data, n);

  ttSmfParser parser;
  const bool parsed = parser.Parse(image.get(), n);
  const bool valid = ValidateSmfImage(image.get(), n).fault == ttSmfFault::kOk;
  FuzzCheck(parsed == valid, parsed ? "the validator refuses what the reader accepts"
                                    : "the validator accepts what the reader refuses");
  FuzzCheck(parser.sideBySide == parsed, "a file the reader takes was not read side by side");
  ttSmfSequence first;
  if (parsed) {
    ttByteArray written;
    const std::uint32_t writtenSize = BuildSmfImage(written);
    FuzzCheck(writtenSize != 0 && writtenSize == written.length,
              "the writer refuses a sequence the reader filled, or miscounts its image");
    TakeSequence(first);
    FuzzCheck(ValidateSmfImage(written.data, writtenSize).fault == ttSmfFault::kOk &&
                  ttSmfParser().Parse(written.data, writtenSize),
              "the validator or the reader refuses a written image");
    FuzzCheck(CurrentSequence.format == first.format &&
                  CurrentSequence.division == first.division &&
                  SameTracks(CurrentSequence.tracks, first.tracks),
              "the sequence changed by write and read");
    // The writer's form is canonical: written again, byte for byte.
    ttByteArray again;
    FuzzCheck(BuildSmfImage(again) == writtenSize &&
                  std::memcmp(again.data, written.data, writtenSize) == 0,
              "a written image does not come back byte for byte");
  }
  CurrentSequence.Clear();
  CheckFileReading(image.get(), n, parsed ? &first : nullptr);
  return 0;
}
