#pragma once
// Turns a complete SMF image in memory into CurrentSequence. Strict about
// structure: any byte it does not understand inside a track fails the parse.
// A failed parse leaves in the sequence whatever had been stored before the
// failing step; nothing is rolled back.

#include <cstdint>

#include "ttByteStream.h"

class ttSmfSequence;

class ttSmfParser {
 public:
  ttSmfParser();
  virtual ~ttSmfParser();
  ttSmfParser(const ttSmfParser&) = delete;
  ttSmfParser& operator=(const ttSmfParser&) = delete;

  // Clears and fills CurrentSequence from data[0..size). True when the header
  // and every announced chunk were read without error. Bytes after the last
  // announced chunk are not read.
  bool Parse(const std::uint8_t* data, std::uint32_t size);

  bool ReadHeader();
  bool ReadChunk();
  // Reads up to n bytes into the scratch block (replaced first when force is
  // set or it is smaller than n); returns the count read.
  std::uint32_t ReadScratch(std::uint32_t n, bool force);

  ttByteStream stream;
  ttSmfSequence* sequence;
  std::uint8_t* scratch;
  std::uint32_t scratchSize;
  std::uint16_t chunkCount;
  // Whether the last Parse read the tracks side by side; false when it fell
  // back to reading chunk after chunk, which stores the same.
  bool sideBySide;

 private:
  bool ReadSideBySide(const std::uint8_t* data, std::uint32_t size);
  bool ReadTrackEvents(std::uint32_t chunkLength);
};

// Division word to code: 0 ticks per quarter; 1..4 SMPTE 24, 25, 29.97, 30
// frames per second; 5 invalid.
int ClassifyDivision(std::uint16_t division);
