#pragma once
// Repairs inside track chunks, as a step from a damaged file's bytes to a
// clean SMF image, which the strict reader then reads: there is one event
// parser, and a file that needs no repair never comes here.
//
// The walk reads events as the strict reader does and mends only these:
// a data byte where a meta or system-exclusive event cancelled running status
// gets the channel status from before that event; a chunk that ends without
// an end-of-track event gets one at its last event's tick; in a chunk that
// the end of the file cut short, an incomplete last event is dropped; bytes
// after the end-of-track event are dropped. Any other fault stops it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SmfLayout.h"
#include "SmfValidator.h"  // ttSmfCheck
#include "ttByteArray.h"

// A track chunk's data as far as the file holds it.
struct ttSmfTrackSpan {
  std::uint32_t start;   // first data byte, as a file offset
  std::uint32_t length;  // data bytes present
  bool cut;              // the file ends before the length the chunk announces
};

class ttSmfRepair {
 public:
  ttSmfRepair() = default;
  virtual ~ttSmfRepair() = default;

  // Walks every span of `file`. Returns kOk, or the first fault that no
  // repair mends with its file offset. Appends the repairs to `repairs`, one
  // note per kind and track (track numbers are span indexes).
  ttSmfCheck Plan(const std::uint8_t* file, const std::vector<ttSmfTrackSpan>& spans,
                  std::vector<ttSmfNote>& repairs);

  // After a successful Plan: the clean SMF (header chunk of length 6, one
  // track chunk per span) into `out`, allocated once at its exact size. False,
  // with `out` empty, when it would reach 4 GiB.
  bool Build(const std::uint8_t* file, std::uint16_t format, std::uint16_t division,
             ttByteArray& out) const;

 private:
  struct Track {
    std::uint32_t start;
    std::uint32_t end;        // bytes from start to end are kept
    std::size_t firstInsert;  // its status bytes to insert, in inserts_
    bool addEndOfTrack;
  };
  struct Insert {
    std::uint32_t offset;  // the status byte goes before this byte
    std::uint8_t status;
  };

  ttSmfCheck Walk(const std::uint8_t* file, const ttSmfTrackSpan& span, std::int32_t number,
                  std::vector<ttSmfNote>& repairs);

  std::vector<Track> tracks_;
  std::vector<Insert> inserts_;
};
