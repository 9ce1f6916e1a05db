#include "FuzzSupport.h"

#include "SmfValidator.h"
#include "ttSmfParser.h"

void CheckParsesTo(const std::uint8_t* image, std::uint32_t size, const ttSmfSequence& expected) {
  FuzzCheck(ValidateSmfImage(image, size).fault == ttSmfFault::kOk,
            "the validator refuses a written image");
  ttSmfParser parser;
  FuzzCheck(parser.Parse(image, size), "the reader refuses a written image");
  FuzzCheck(CurrentSequence.format == expected.format, "format changed by write and read");
  FuzzCheck(CurrentSequence.division == expected.division, "division changed by write and read");
  FuzzCheck(SameTracks(CurrentSequence.tracks, expected.tracks),
            "events changed by write and read");
}
