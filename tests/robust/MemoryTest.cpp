// Running out of memory, at every allocation in turn, while a file loads and
// while it saves: the n-th allocation of the replaced global functions fails.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>  // std::free, posix_memalign
#include <limits>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "DialogSession.h"
#include "PosixPlatform.h"
#include "TempFolder.h"
#include "Texts.h"

namespace {

constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
std::size_t allocations = 0;  // counted while armed
std::size_t failAt = kNever;  // the one allocation that fails
bool failed = false;
int sheltered = 0;        // inside the test double, which stands for the system
bool countPooled = true;  // the block source's small blocks and nodes count too

void Arm(std::size_t n) {
  allocations = 0;
  failed = false;
  failAt = n;
}
void Disarm() {
  failAt = kNever;
}

// Throws at the armed allocation.
void Count() {
  if (failAt != kNever && sheltered == 0 && allocations++ == failAt) {
    failed = true;
    throw std::bad_alloc();
  }
}

// Every block from posix_memalign, so that std::free gives back any of them.
constexpr std::size_t kPlain = alignof(std::max_align_t);
void* Take(std::size_t n, std::size_t alignment) {
  Count();
  void* block = nullptr;
  if (::posix_memalign(&block, alignment, n == 0 ? 1 : n) != 0)
    throw std::bad_alloc();
  return block;
}
void* TakeOrNull(std::size_t n, std::size_t alignment) noexcept {
  try {
    return Take(n, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

// Any pooled block or node may be the one that needs a new chunk: the linker
// sends the block source's two functions through these (--wrap), so that
// each counts and can fail too.
extern "C" std::uint8_t* __real__Z15ttAllocateBytesj(std::uint32_t n);
extern "C" void* __real__Z14ttAllocateNodemm(std::size_t n, std::size_t alignment);
extern "C" std::uint8_t* __wrap__Z15ttAllocateBytesj(std::uint32_t n) {
  if (countPooled)
    Count();
  return __real__Z15ttAllocateBytesj(n);
}
extern "C" void* __wrap__Z14ttAllocateNodemm(std::size_t n, std::size_t alignment) {
  if (countPooled)
    Count();
  return __real__Z14ttAllocateNodemm(n, alignment);
}

// Every form, so that no block is taken by one allocator and given back to
// another (a sanitizer's included).
#define TT_NEW(signature, alignment) \
  void* signature {                  \
    return Take(n, alignment);       \
  }
#define TT_NEW_OR_NULL(signature, alignment) \
  void* signature noexcept {                 \
    return TakeOrNull(n, alignment);         \
  }
#define TT_DELETE(signature) \
  void signature noexcept {  \
    std::free(block);        \
  }
TT_NEW(operator new(std::size_t n), kPlain)
TT_NEW(operator new[](std::size_t n), kPlain)
TT_NEW(operator new(std::size_t n, std::align_val_t a), static_cast<std::size_t>(a))
TT_NEW(operator new[](std::size_t n, std::align_val_t a), static_cast<std::size_t>(a))
TT_NEW_OR_NULL(operator new(std::size_t n, const std::nothrow_t&), kPlain)
TT_NEW_OR_NULL(operator new[](std::size_t n, const std::nothrow_t&), kPlain)
TT_NEW_OR_NULL(operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&),
               static_cast<std::size_t>(a))
TT_NEW_OR_NULL(operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&),
               static_cast<std::size_t>(a))
TT_DELETE(operator delete(void* block))
TT_DELETE(operator delete[](void* block))
TT_DELETE(operator delete(void* block, std::size_t))
TT_DELETE(operator delete[](void* block, std::size_t))
TT_DELETE(operator delete(void* block, const std::nothrow_t&))
TT_DELETE(operator delete[](void* block, const std::nothrow_t&))
TT_DELETE(operator delete(void* block, std::align_val_t))
TT_DELETE(operator delete[](void* block, std::align_val_t))
TT_DELETE(operator delete(void* block, std::size_t, std::align_val_t))
TT_DELETE(operator delete[](void* block, std::size_t, std::align_val_t))
TT_DELETE(operator delete(void* block, std::align_val_t, const std::nothrow_t&))
TT_DELETE(operator delete[](void* block, std::align_val_t, const std::nothrow_t&))

namespace {

using smftest::Bytes;
using Session = smftest::DialogSession;

// The double's own bookkeeping is not under test: its calls never fail.
const ttPlatform* Inner = nullptr;
template <typename F, F ttPlatform::*Member>
struct Shelter;
template <typename R, typename... A, R (*ttPlatform::*Member)(A...)>
struct Shelter<R (*)(A...), Member> {
  static R Call(A... args) {
    ++sheltered;
    struct Leave {
      ~Leave() { --sheltered; }
    } leave;
    return (Inner->*Member)(args...);
  }
};
#define TT_SHELTER(name) table.name = Shelter<decltype(ttPlatform::name), &ttPlatform::name>::Call

// Every call of the double sheltered; files are written by the system's
// calls, whose allocations count too.
struct ShelteredSession : Session {
  ttPlatform table{};
  explicit ShelteredSession(const Bytes& source = smftest::RealisticSource()) : Session(source) {
    Inner = Platform;
    TT_SHELTER(openRead);
    TT_SHELTER(fileSize);
    TT_SHELTER(readFile);
    TT_SHELTER(closeFile);
    TT_SHELTER(pathExists);
    TT_SHELTER(systemErrorText);
    TT_SHELTER(messageBox);
    TT_SHELTER(saveFileDialog);
    TT_SHELTER(setItemText);
    TT_SHELTER(getItemText);
    const ttPlatform real = PosixPlatform();
    table.createTemp = real.createTemp;
    table.writeAll = real.writeAll;
    table.closeWritten = real.closeWritten;
    table.replaceFile = real.replaceFile;
    table.removeFile = real.removeFile;
    Platform = &table;
  }
  ~ShelteredSession() { Platform = Inner; }
};

const std::vector<std::string> kOutOfMemory = {TT_TEXT_OUT_OF_MEMORY};

// Few long sysex events: more pooled bytes than a small slab holds, and an
// image that is a large block of its own.
Bytes LargeSource() {
  smftest::Track events;
  const Bytes data(4000, 0x11);
  for (std::uint32_t i = 0; i < 5000; ++i)
    events.push_back({i, smftest::Concat({{0xF0}, smftest::VarLen(4001), data, {0xF7}})});
  events.push_back({5000, smftest::EndOfTrack()});
  return smftest::Smf(0, 480, {events});
}

TEST(OutOfMemory, EachAllocationOfALoadFailingLeavesNoSourceAndTheDialogRunning) {
  // The large file's pooled blocks are not failed one by one: the small file's are.
  const struct {
    const char* why;
    Bytes source;
    bool pooled;
  } kRows[] = {
      {"a small file", smftest::RealisticSource(), true},
      {"a file of 20 MB", LargeSource(), false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    countPooled = row.pooled;
    std::size_t n = 0;
    for (;; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n));
      ShelteredSession session;
      StagingEvent.bytes.Resize(0, 1);  // no block left over: every round takes its slabs
      session.Drop();                   // a source was loaded before
      ASSERT_TRUE(SourceLoaded);
      session.platform.files["in.mid"] = row.source;
      Arm(n);
      RunDropCommand(smftest::kDialog, "in.mid");
      Disarm();
      if (SourceLoaded) {
        // Past the last allocation, or a failure absorbed (a sort's buffer).
        EXPECT_TRUE(session.platform.messages.empty());
        if (!failed)
          break;
        continue;
      }
      ASSERT_TRUE(failed);
      EXPECT_EQ(session.platform.Texts(), kOutOfMemory);
      EXPECT_TRUE(session.NoSource());
      EXPECT_TRUE(CurrentSequence.tracks.empty());  // what the load had taken is given back

      session.platform.messages.clear();
      session.Drop();
      EXPECT_TRUE(SourceLoaded);
      EXPECT_TRUE(session.platform.messages.empty());
    }
    EXPECT_GT(n, 3u);
  }
  countPooled = true;
}

// Whatever fails, the folder holds the old file and nothing else, the source
// stays loaded, and the next save writes what an undisturbed one writes.
TEST(OutOfMemory, EachAllocationOfASaveFailingWritesNothingAndKeepsTheSource) {
  const smftest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  const std::string name = "a-name-longer-than-any-short-string.mid";
  const std::string target = folder.Path(name);
  const Bytes old = {'o', 'l', 'd'};
  // Saves the loaded source over the old file, the n-th allocation failing.
  auto save = [&](Session& session, std::size_t n) {
    folder.Put(name, old);
    session.platform.fields[IDC_TARGET_BPM] = "97.5";
    session.platform.saveAnswers.push_back(target);
    Arm(n);
    RunSaveCommand(smftest::kDialog);
    Disarm();
    EXPECT_EQ(folder.Entries(), std::set<std::string>{name}) << "a temporary file is left";
    return smftest::ReadFile(target);
  };
  smftest::GenerateOptions noTempo;
  noTempo.tempo = false;  // the save adds one, which must not be left half-built
  for (const Bytes& source : {smftest::RealisticSource(), smftest::GenerateSmf(3, noTempo)}) {
    Bytes expected;
    {
      ShelteredSession session(source);
      session.Drop();
      expected = save(session, kNever);
      ASSERT_NE(expected, old);
    }
    std::size_t n = 0;
    for (;; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n));
      ShelteredSession session(source);
      session.Drop();
      ASSERT_TRUE(SourceLoaded);
      const Bytes written = save(session, n);
      if (session.platform.messages.empty()) {
        EXPECT_EQ(written, expected);
        if (!failed)
          break;
        continue;
      }
      ASSERT_TRUE(failed);
      EXPECT_EQ(session.platform.Texts(), kOutOfMemory);
      EXPECT_EQ(written, old);
      ASSERT_TRUE(SourceLoaded);

      // Every conversion starts from the loaded source, also after a failed one.
      session.platform.messages.clear();
      EXPECT_EQ(save(session, kNever), expected);
      EXPECT_TRUE(session.platform.messages.empty());
    }
    EXPECT_GE(n, 2u);  // at least the kept source times and the image
  }
}

}  // namespace
