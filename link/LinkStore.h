#pragma once
// One use of the link file: open (creating it when missing), lock, check the
// header, find or add a record, write the fields concerned, close. Every
// record is read and written in place at its own offset; the file is never
// rewritten as a whole, so records the linked application changes between two
// uses are kept.
//
// Contract:
// - Open() takes an fcntl write lock on the whole file and holds it until the
//   store is destroyed; another process taking the same lock waits meanwhile.
// - When record 1 is not a header (or the file is shorter than one record),
//   Open() writes a blank data record 1 (file record 2) and then a header with
//   count 0; the rest of the file is left as it is but is no longer searched.
//   The count field of a record that is not the header is never used.
// - The number of data records used is the header's count, taken as 0 when
//   negative, at most 32767, and at most the number of whole data records the
//   file holds. A torn (truncated) last record therefore never counts: it is
//   not searched, and a new record is written over it as a whole record.
// - Appending writes the whole new record, then the header's count field
//   only. Updating writes the value field only; every other byte of the
//   record stays as it was.

#include <cstdint>
#include <string>
#include <vector>

#include "link/LinkRecord.h"

namespace kuv {

enum class LinkError {
    None = 0,
    Open,   // the file cannot be opened or created
    Lock,   // the advisory lock cannot be taken
    Read,   // a read failed
    Write,  // a write failed
    Full,   // 32767 data records: no room for another
};

// French text of an error, for logs and messages.
const char* LinkErrorMessage(LinkError error);

class LinkStore {
public:
    static constexpr int kMaxDataRecords = 32767;

    explicit LinkStore(std::string path);
    ~LinkStore();
    LinkStore(const LinkStore&) = delete;
    LinkStore& operator=(const LinkStore&) = delete;

    // Opens (creates), locks and checks the file as described above.
    LinkError Open();

    // Number of data records in use (after Open).
    int DataCount() const { return dataCount_; }

    // The first data record (1-based) whose key field equals normalisedKey
    // exactly (15 Windows-1252 bytes), or 0 when there is none.
    LinkError Find(const std::string& normalisedKey, int& dataRecord);

    LinkError ReadDataRecord(int dataRecord, LinkRecord& record);

    // Adds a blank record holding normalisedKey; dataRecord receives its
    // number.
    LinkError Append(const std::string& normalisedKey, int& dataRecord);

    // Writes the value field (40 Windows-1252 bytes) of a data record.
    LinkError WriteValue(int dataRecord, const std::string& normalisedValue);

private:
    static int64_t OffsetOfDataRecord(int dataRecord) {
        return static_cast<int64_t>(dataRecord) * static_cast<int64_t>(LinkRecord::kSize);
    }
    LinkError ReadAt(int64_t offset, void* buffer, size_t size);
    LinkError WriteAt(int64_t offset, const void* buffer, size_t size);
    LinkError Reinitialise();

    std::string path_;
    int fd_ = -1;
    int dataCount_ = 0;
};

}  // namespace kuv
