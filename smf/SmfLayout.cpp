#include "SmfLayout.h"

const char* SmfNoteId(ttSmfNoteKind kind) {
  switch (kind) {
    case ttSmfNoteKind::kRunningStatusAfterMeta:
      return "running-status-after-meta";
    case ttSmfNoteKind::kRunningStatusAfterSysex:
      return "running-status-after-sysex";
    case ttSmfNoteKind::kEndOfTrackAdded:
      return "end-of-track-added";
    case ttSmfNoteKind::kChunkPastEnd:
      return "chunk-past-end";
    case ttSmfNoteKind::kIncompleteEventDropped:
      return "incomplete-event-dropped";
    case ttSmfNoteKind::kBytesAfterEndOfTrack:
      return "bytes-after-end-of-track";
    case ttSmfNoteKind::kTrackCount:
      return "track-count";
    case ttSmfNoteKind::kTrailingBytes:
      return "trailing-bytes";
    case ttSmfNoteKind::kTrailingBytesIgnored:
      return "trailing-bytes-ignored";
    case ttSmfNoteKind::kTrackChunksIgnored:
      return "track-chunks-ignored";
    case ttSmfNoteKind::kMacBinary:
      return "macbinary";
  }
  return "?";
}

namespace {

// "1 byte", "2 bytes".
std::string Count(std::uint32_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

std::string DescribeSmfNote(const ttSmfNote& n) {
  const std::string at = "byte " + std::to_string(n.offset) + ": ";
  const std::string track = "track " + std::to_string(n.track + 1) + ", " + at;
  const std::string times = n.count == 1 ? "" : " (" + Count(n.count, "time") + ", the first here)";
  switch (n.kind) {
    case ttSmfNoteKind::kRunningStatusAfterMeta:
      return track + "running status resumed after a meta event" + times +
             "; the status before it continues";
    case ttSmfNoteKind::kRunningStatusAfterSysex:
      return track + "running status resumed after a system-exclusive event" + times +
             "; the status before it continues";
    case ttSmfNoteKind::kEndOfTrackAdded:
      return track + "no end-of-track event; one was added at tick " + std::to_string(n.value);
    case ttSmfNoteKind::kChunkPastEnd:
      return at + "chunk \"" + std::string(n.chunkId, 4) + "\" announces " +
             Count(n.value, "byte") + ", the file holds " + std::to_string(n.count) +
             ": read to the end of the file";
    case ttSmfNoteKind::kIncompleteEventDropped:
      return track + "the last event is cut off by the end of the file; its " +
             Count(n.count, "byte") + " dropped";
    case ttSmfNoteKind::kBytesAfterEndOfTrack:
      return track + Count(n.count, "byte") + " after the end-of-track event dropped";
    case ttSmfNoteKind::kTrackCount:
      return "the header announces " + Count(n.value, "chunk") + "; the file's " +
             Count(n.count, "track chunk") + " read";
    case ttSmfNoteKind::kTrailingBytes:
      return at + Count(n.count, "byte") + " after the last chunk dropped";
    case ttSmfNoteKind::kTrailingBytesIgnored:
      return at + Count(n.count, "byte") + " after the last chunk ignored";
    case ttSmfNoteKind::kTrackChunksIgnored:
      return at + Count(n.count, "track chunk") + " after the " + Count(n.value, "chunk") +
             " the header announces not read";
    case ttSmfNoteKind::kMacBinary:
      return "the SMF stands behind a " + std::to_string(n.count) +
             "-byte MacBinary header, which is not written back";
  }
  return "?";
}
