// The reader against arbitrary bytes. Oracles: the model-free validator
// accepts exactly what the reader accepts; whatever the reader accepts, the
// writer writes, and the written image reads back to the same events.

#include <cstddef>
#include <cstdint>
#include <cstring>  // std::memcpy
#include <memory>   // std::unique_ptr

#include "FuzzSupport.h"
#include "SmfImage.h"
#include "SmfValidator.h"
#include "ttByteArray.h"
#include "ttSmfParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu)
    return 0;
  const auto n = static_cast<std::uint32_t>(size);
  // An exact-size block of our own: a read one byte past the end lands
  // outside it, where AddressSanitizer sees it.
  std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[n == 0 ? 1 : n]);
  if (n != 0)
    std::memcpy(image.get(), data, n);

  ttSmfParser parser;
  const bool parsed = parser.Parse(image.get(), n);
  const bool valid = ValidateSmfImage(image.get(), n).fault == ttSmfFault::kOk;
  FuzzCheck(parsed == valid, parsed ? "the validator refuses what the reader accepts"
                                    : "the validator accepts what the reader refuses");
  image.reset();
  if (!parsed) {
    CurrentSequence.Clear();
    return 0;
  }

  // A sequence the reader filled always has deltas the writer can write back
  // (wrapped times give back the file's own deltas), so a refusal is a finding.
  ttByteArray written;
  const std::uint32_t writtenSize = BuildSmfImage(written);
  FuzzCheck(writtenSize != 0, "the writer refuses a sequence the reader filled");
  FuzzCheck(writtenSize == written.length, "the writer's count differs from its image");

  ttSmfSequence first;
  first.format = CurrentSequence.format;
  first.division = CurrentSequence.division;
  first.tracks.swap(CurrentSequence.tracks);
  CheckParsesTo(written.data, writtenSize, first);

  // Written again, the image must come back byte for byte: the writer's form
  // is canonical.
  ttByteArray again;
  FuzzCheck(BuildSmfImage(again) == writtenSize &&
                std::memcmp(again.data, written.data, writtenSize) == 0,
            "a written image does not come back byte for byte");
  CurrentSequence.Clear();
  return 0;
}
