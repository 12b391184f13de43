// Writes a ZIP archive (deflate) of a few files: crash reports are packed so.
#ifndef BEDROCK_BAS_ZIP_H
#define BEDROCK_BAS_ZIP_H

#include "bedrock_export.h"

#include <string>
#include <vector>

struct BASZipEntry {
    std::string nameInArchive;
    std::string path;
};

// The archive is written beside its final name (a new file, mode 0600) and
// renamed into place, so a half-written archive is never left and no existing
// file or link target is ever written over. Entries are streamed, a chunk at
// a time, so memory stays small whatever the logs weigh; they are read only
// when they are regular files (links are refused). False when any file
// cannot be read or `zipPath` already exists.
BEDROCK_EXPORT bool BASWriteZip(const std::string& zipPath, const std::vector<BASZipEntry>& entries);

#endif  // BEDROCK_BAS_ZIP_H
