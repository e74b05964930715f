// Decisions about attribute words that every build shares: which bits a correction writes, and
// when holes may be skipped.
#include "platform/file_system.h"

namespace {

// The attributes the program models; every other bit of an entry is left as it is.
const DWORD kModelled = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_ARCHIVE;
// Bits that describe an entry and are not set through its attribute word (the file system keeps
// them itself): left out of the word written, since some make the change fail.
const DWORD kDescriptive = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                           FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_SPARSE_FILE |
                           FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED |
                           FILE_ATTRIBUTE_INTEGRITY_STREAM | FILE_ATTRIBUTE_VIRTUAL |
                           FILE_ATTRIBUTE_RECALL_ON_OPEN | FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS;
// A placeholder's data may not be on the disk yet: its holes are not zeros.
const DWORD kPlaceholder =
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_RECALL_ON_OPEN | FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS;

}  // namespace

DWORD CorrectedAttributeWord(DWORD current, DWORD wanted) {
  DWORD word = (current & ~(kModelled | kDescriptive)) | (wanted & kModelled);
  return word == 0 ? FILE_ATTRIBUTE_NORMAL : word;
}

bool SkipsSharedHoles(DWORD sourceAttributes, DWORD destinationAttributes) {
  return (sourceAttributes & destinationAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0 &&
         ((sourceAttributes | destinationAttributes) & kPlaceholder) == 0;
}
