#pragma once
// The reading side's state of a clsZip instance: the open archive, its end
// record, comment and directory table, and the temporary files handed to
// their associated program.

#include <cstdint>
#include <string>
#include <vector>

#include "zip/ZipRecords.h"

class clsZip;

namespace kuv::zip {

struct DirectoryEntry {
    std::string name;                 // UTF-8, "\" between folders
    std::int32_t compressedSize = 0;
    std::int32_t uncompressedSize = 0;
    std::int32_t dosDate = 0;         // the 16-bit word widened with its sign
    std::int32_t dosTime = 0;
};

struct ReaderState {
    int fd = -1;                             // the open archive, -1 when closed
    std::int64_t EndRecordPosition = 0;      // 1-based; 0 when no archive is open
    ZipEndRecord endRecord;
    std::string zipComment;
    std::vector<DirectoryEntry> DirectoryTable;
    std::int32_t inFileCount = 0;
    std::vector<std::string> OpenedTempFiles;

    // End of the instance: schedules the deletion of OpenedTempFiles.
    void Terminate(clsZip& owner);
};

}  // namespace kuv::zip
