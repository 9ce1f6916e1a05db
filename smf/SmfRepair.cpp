#include "SmfRepair.h"

#include <cstring>  // std::memcpy

#include "SmfFormat.h"

using namespace smf_format;

namespace {

enum class Step { kDone, kShort, kBad };

// As the strict reader: at most four bytes.
Step VarLen(const std::uint8_t* b, std::uint32_t& pos, std::uint32_t end, std::uint32_t& value) {
  std::uint32_t result = 0;
  for (std::uint32_t count = 1;; ++count) {
    if (count == 5)
      return Step::kBad;
    if (pos == end)
      return Step::kShort;
    const std::uint8_t byte = b[pos++];
    result = (result << 7) | (byte & 0x7Fu);
    if ((byte & 0x80) == 0)
      break;
  }
  value = result;
  return Step::kDone;
}

Step Skip(std::uint32_t& pos, std::uint32_t end, std::uint32_t n) {
  if (end - pos < n)
    return Step::kShort;
  pos += n;
  return Step::kDone;
}

// Running status as the strict reader keeps it, and what it forgets at a meta
// or system-exclusive event: the channel status a data byte right after one
// resumes.
struct Status {
  int running = -1;
  int channel = -1;
  ttSmfNoteKind cancelledBy = ttSmfNoteKind::kRunningStatusAfterMeta;
};

struct Event {
  std::uint32_t at;  // where its status byte is, or would be
  std::uint8_t status;
  std::uint8_t metaType;
  bool resumed;  // a data byte where a meta or sysex event had cancelled running status
};

// One event after its delta time, starting at pos.
Step ReadEvent(const std::uint8_t* b, std::uint32_t& pos, std::uint32_t end, Status& s, Event& e,
               ttSmfCheck& fault) {
  e = Event{pos, 0, 0, false};
  if (pos == end)
    return Step::kShort;
  e.status = b[pos];
  if (e.status < 0x80) {
    if (s.running < 0) {
      if (s.channel < 0) {
        fault = ttSmfCheck{ttSmfFault::kNoRunningStatus, pos};
        return Step::kBad;
      }
      e.resumed = true;
      s.running = s.channel;
    }
    e.status = static_cast<std::uint8_t>(s.running);
  } else {
    ++pos;
  }
  if (e.status < 0xF0) {
    s.running = s.channel = e.status;
    return Skip(pos, end, e.status >= 0xC0 && e.status < 0xE0 ? 1 : 2);
  }
  std::uint32_t n = 0;
  if (e.status == 0xF0 || e.status == 0xF7) {
    s.running = -1;
    s.cancelledBy = ttSmfNoteKind::kRunningStatusAfterSysex;
  } else if (e.status == 0xFF) {
    if (pos == end)
      return Step::kShort;
    e.metaType = b[pos++];
    if (e.metaType >= 0x80) {
      fault = ttSmfCheck{ttSmfFault::kBadMetaType, pos - 1};
      return Step::kBad;
    }
    s.running = -1;
    s.cancelledBy = ttSmfNoteKind::kRunningStatusAfterMeta;
  } else {
    fault = ttSmfCheck{ttSmfFault::kBadStatus, e.at};
    return Step::kBad;
  }
  const Step step = VarLen(b, pos, end, n);
  if (step == Step::kBad)
    fault = ttSmfCheck{ttSmfFault::kLongVarLen, pos};
  if (step != Step::kDone)
    return step;
  const int fixed = e.status == 0xFF ? FixedMetaLength(e.metaType) : -1;
  if (fixed >= 0 && n != static_cast<std::uint32_t>(fixed)) {
    fault = ttSmfCheck{ttSmfFault::kBadMetaLength, e.at};
    return Step::kBad;
  }
  return Skip(pos, end, n);
}

void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

constexpr std::uint8_t kEndOfTrack[4] = {0x00, 0xFF, kMetaEndOfTrack, 0x00};  // delta 0

}  // namespace

ttSmfCheck ttSmfRepair::Plan(const std::uint8_t* file, const std::vector<ttSmfTrackSpan>& spans,
                             std::vector<ttSmfNote>& repairs) {
  tracks_.clear();
  inserts_.clear();
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const ttSmfCheck check = Walk(file, spans[i], static_cast<std::int32_t>(i), repairs);
    if (check.fault != ttSmfFault::kOk)
      return check;
  }
  return ttSmfCheck{ttSmfFault::kOk, 0};
}

ttSmfCheck ttSmfRepair::Walk(const std::uint8_t* file, const ttSmfTrackSpan& span,
                             std::int32_t number, std::vector<ttSmfNote>& repairs) {
  const std::size_t firstNote = repairs.size();
  auto note = [&](ttSmfNoteKind kind, std::uint32_t offset, std::uint32_t count,
                  std::uint32_t value) {
    for (std::size_t i = firstNote; i < repairs.size(); ++i) {
      if (repairs[i].kind == kind) {
        ++repairs[i].count;
        return;
      }
    }
    repairs.push_back(ttSmfNote{kind, offset, number, count, value, {}});
  };

  const std::uint32_t end = span.start + span.length;
  Track track{span.start, end, inserts_.size(), false};
  Status status;
  std::uint32_t time = 0;
  std::uint32_t lastTime = 0;  // of the last complete event
  for (std::uint32_t pos = span.start;;) {
    if (pos == end) {
      track.addEndOfTrack = true;
      note(ttSmfNoteKind::kEndOfTrackAdded, end, 1, lastTime);
      break;
    }
    const std::uint32_t eventStart = pos;
    std::uint32_t delta = 0;
    ttSmfCheck fault{ttSmfFault::kOk, 0};
    Event event{};
    Step step = VarLen(file, pos, end, delta);
    if (step == Step::kBad)
      fault = ttSmfCheck{ttSmfFault::kLongVarLen, pos};
    if (step == Step::kDone) {
      time += delta;
      step = ReadEvent(file, pos, end, status, event, fault);
    }
    if (step == Step::kBad)
      return fault;
    if (step == Step::kShort) {
      // An event that runs past its chunk's own end is no defect we mend; one
      // that the end of the file cut off is.
      if (!span.cut)
        return ttSmfCheck{ttSmfFault::kBadEndOfTrack, end};
      track.end = eventStart;
      track.addEndOfTrack = true;
      note(ttSmfNoteKind::kIncompleteEventDropped, eventStart, end - eventStart, 0);
      note(ttSmfNoteKind::kEndOfTrackAdded, eventStart, 1, lastTime);
      break;
    }
    if (event.resumed) {
      inserts_.push_back(Insert{event.at, event.status});
      note(status.cancelledBy, event.at, 1, 0);
    }
    if (event.status == 0xFF && event.metaType == kMetaEndOfTrack) {
      if (pos != end) {
        track.end = pos;
        note(ttSmfNoteKind::kBytesAfterEndOfTrack, pos, end - pos, 0);
      }
      break;
    }
    lastTime = time;
  }
  tracks_.push_back(track);
  return ttSmfCheck{ttSmfFault::kOk, 0};
}

bool ttSmfRepair::Build(const std::uint8_t* file, std::uint16_t format, std::uint16_t division,
                        ttByteArray& out) const {
  if (out.data != nullptr)
    out.Resize(0, 1);
  out.length = 0;
  std::uint64_t total = 14;
  for (std::size_t t = 0; t < tracks_.size(); ++t) {
    const std::size_t inserts =
        (t + 1 < tracks_.size() ? tracks_[t + 1].firstInsert : inserts_.size()) -
        tracks_[t].firstInsert;
    total += 8 + std::uint64_t{tracks_[t].end - tracks_[t].start} + inserts +
             (tracks_[t].addEndOfTrack ? 4 : 0);
  }
  if (total > 0xFFFFFFFFu || tracks_.size() > 0xFFFF)
    return false;
  out.Resize(static_cast<std::uint32_t>(total), 0);

  std::uint8_t* p = out.data;
  std::memcpy(p, kHeaderId, 4);
  PutBigEndian32(p + 4, 6);
  const std::uint16_t words[3] = {format, static_cast<std::uint16_t>(tracks_.size()), division};
  for (int i = 0; i < 3; ++i) {
    p[8 + 2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
    p[9 + 2 * i] = static_cast<std::uint8_t>(words[i]);
  }
  p += 14;
  for (std::size_t t = 0; t < tracks_.size(); ++t) {
    const Track& track = tracks_[t];
    const std::size_t last = t + 1 < tracks_.size() ? tracks_[t + 1].firstInsert : inserts_.size();
    std::uint8_t* body = p + 8;
    std::uint32_t from = track.start;
    for (std::size_t i = track.firstInsert; i < last; ++i) {
      const Insert& insert = inserts_[i];
      std::memcpy(body, file + from, insert.offset - from);
      body += insert.offset - from;
      *body++ = insert.status;
      from = insert.offset;
    }
    std::memcpy(body, file + from, track.end - from);
    body += track.end - from;
    if (track.addEndOfTrack) {
      std::memcpy(body, kEndOfTrack, 4);
      body += 4;
    }
    std::memcpy(p, kTrackId, 4);
    PutBigEndian32(p + 4, static_cast<std::uint32_t>(body - p - 8));
    p = body;
  }
  return true;
}
