// Decisions about attribute words that every build shares: which bits a correction writes, and
// when holes may be skipped.
#include "platform/file_system.h"

namespace {

// The attributes the program models; every other bit of an entry is left as it is.
const uint32_t kModelled =
    kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;
// Bits that describe an entry and are not set through its attribute word (the file system keeps
// them itself): left out of the word written, since some make the change fail.
const uint32_t kDescriptive = kAttributeDirectory | kAttributeDevice | kAttributeReparsePoint |
                              kAttributeSparse | kAttributeCompressed | kAttributeEncrypted |
                              kAttributeIntegrityStream | kAttributeVirtual |
                              kAttributeRecallOnOpen | kAttributeRecallOnDataAccess;
// A placeholder's data may not be on the disk yet: its holes are not zeros.
const uint32_t kPlaceholder =
    kAttributeOffline | kAttributeRecallOnOpen | kAttributeRecallOnDataAccess;

}  // namespace

uint32_t CorrectedAttributeWord(uint32_t current, uint32_t wanted) {
  uint32_t word = (current & ~(kModelled | kDescriptive)) | (wanted & kModelled);
  return word == 0 ? kAttributeNormal : word;
}

bool SkipsSharedHoles(uint32_t sourceAttributes, uint32_t destinationAttributes) {
  return (sourceAttributes & destinationAttributes & kAttributeSparse) != 0 &&
         ((sourceAttributes | destinationAttributes) & kPlaceholder) == 0;
}
