#include "link/LinkFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/LinkStore.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv {

const char* LinkErrorMessage(LinkError error) {
    switch (error) {
        case LinkError::None: return "Aucune erreur";
        case LinkError::Open: return "Le fichier de liaison ne peut pas être ouvert";
        case LinkError::Lock: return "Le fichier de liaison ne peut pas être verrouillé";
        case LinkError::Read: return "Erreur de lecture du fichier de liaison";
        case LinkError::Write: return "Erreur d'écriture du fichier de liaison";
        case LinkError::Full: return "Le fichier de liaison est plein";
    }
    return "Erreur inconnue du fichier de liaison";
}

LinkStore::LinkStore(std::string path) : path_(std::move(path)) {}

LinkStore::~LinkStore() {
    if (fd_ >= 0) {
        // Closing the descriptor releases the lock as well; unlocking first
        // makes the order explicit.
        struct flock unlock {};
        unlock.l_type = F_UNLCK;
        unlock.l_whence = SEEK_SET;
        ::fcntl(fd_, F_SETLK, &unlock);
        ::close(fd_);
    }
}

LinkError LinkStore::ReadAt(int64_t offset, void* buffer, size_t size) {
    return platform::ReadAllAt(fd_, buffer, size, static_cast<std::uint64_t>(offset)) ? LinkError::None
                                                                                       : LinkError::Read;
}

LinkError LinkStore::WriteAt(int64_t offset, const void* buffer, size_t size) {
    return platform::WriteAllAt(fd_, buffer, size, static_cast<std::uint64_t>(offset)) ? LinkError::None
                                                                                        : LinkError::Write;
}

LinkError LinkStore::Reinitialise() {
    // A blank first data record, then the header with count 0: a file that
    // was missing ends as "#INIT#" followed by one blank record.
    const LinkRecord::Bytes blank = LinkRecord().Encode();
    if (LinkError e = WriteAt(OffsetOfDataRecord(1), blank.data(), blank.size()); e != LinkError::None) {
        return e;
    }
    const LinkRecord::Bytes header = LinkRecord::Header(0).Encode();
    return WriteAt(0, header.data(), header.size());
}

LinkError LinkStore::Open() {
    if (fd_ >= 0) return LinkError::None;
    do {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) return LinkError::Open;

    // Write lock on the whole file, waiting for the linked application to
    // release its own.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    int rc;
    do {
        rc = ::fcntl(fd_, F_SETLKW, &lock);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return LinkError::Lock;

    struct stat st {};
    if (::fstat(fd_, &st) != 0) return LinkError::Read;
    bool header = false;
    int32_t count = 0;
    if (st.st_size >= static_cast<off_t>(LinkRecord::kSize)) {
        unsigned char raw[LinkRecord::kSize];
        if (LinkError e = ReadAt(0, raw, sizeof raw); e != LinkError::None) return e;
        const LinkRecord first = LinkRecord::Decode(raw);
        header = first.IsHeader();
        if (header) count = first.Count();
    }
    if (!header) {
        if (LinkError e = Reinitialise(); e != LinkError::None) return e;
        count = 0;
        if (::fstat(fd_, &st) != 0) return LinkError::Read;
    }

    const int64_t wholeRecords = static_cast<int64_t>(st.st_size) / static_cast<int64_t>(LinkRecord::kSize);
    int64_t usable = count < 0 ? 0 : count;
    if (usable > kMaxDataRecords) usable = kMaxDataRecords;
    if (usable > wholeRecords - 1) usable = wholeRecords - 1;
    dataCount_ = static_cast<int>(usable);
    return LinkError::None;
}

LinkError LinkStore::Find(const std::string& normalisedKey, int& dataRecord) {
    dataRecord = 0;
    if (dataCount_ <= 0) return LinkError::None;
    // The data records are read in one go: at most 32767 * 128 bytes.
    std::vector<unsigned char> area(static_cast<size_t>(dataCount_) * LinkRecord::kSize);
    if (LinkError e = ReadAt(OffsetOfDataRecord(1), area.data(), area.size()); e != LinkError::None) {
        return e;
    }
    for (int i = 1; i <= dataCount_; ++i) {
        const unsigned char* key = area.data() + static_cast<size_t>(i - 1) * LinkRecord::kSize +
                                   LinkRecord::kKeyOffset;
        if (normalisedKey.size() == LinkRecord::kKeyWidth &&
            std::memcmp(key, normalisedKey.data(), LinkRecord::kKeyWidth) == 0) {
            dataRecord = i;
            return LinkError::None;
        }
    }
    return LinkError::None;
}

LinkError LinkStore::ReadDataRecord(int dataRecord, LinkRecord& record) {
    if (dataRecord < 1 || dataRecord > dataCount_) return LinkError::Read;
    unsigned char raw[LinkRecord::kSize];
    if (LinkError e = ReadAt(OffsetOfDataRecord(dataRecord), raw, sizeof raw); e != LinkError::None) {
        return e;
    }
    record = LinkRecord::Decode(raw);
    return LinkError::None;
}

LinkError LinkStore::Append(const std::string& normalisedKey, int& dataRecord) {
    dataRecord = 0;
    if (dataCount_ >= kMaxDataRecords) return LinkError::Full;
    const int n = dataCount_ + 1;
    LinkRecord slot;  // every text field spaces, count 0
    slot.SetKeyField(normalisedKey);
    const LinkRecord::Bytes bytes = slot.Encode();
    if (LinkError e = WriteAt(OffsetOfDataRecord(n), bytes.data(), bytes.size()); e != LinkError::None) {
        return e;
    }
    // Header count field only; the header's other bytes stay as they are.
    LinkRecord counter;
    counter.SetCount(n);
    if (LinkError e = WriteAt(LinkRecord::kCountOffset, counter.Raw().data() + LinkRecord::kCountOffset, 4);
        e != LinkError::None) {
        return e;
    }
    dataCount_ = n;
    dataRecord = n;
    return LinkError::None;
}

LinkError LinkStore::WriteValue(int dataRecord, const std::string& normalisedValue) {
    if (dataRecord < 1 || dataRecord > dataCount_) return LinkError::Write;
    if (normalisedValue.size() != LinkRecord::kValueWidth) return LinkError::Write;
    return WriteAt(OffsetOfDataRecord(dataRecord) + static_cast<int64_t>(LinkRecord::kValueOffset),
                   normalisedValue.data(), normalisedValue.size());
}

std::string ReadLinkValue(const std::string& key, const std::string& filePath) {
    LinkStore store(filePath);
    if (store.Open() != LinkError::None) return {};
    int found = 0;
    if (store.Find(NormaliseLinkKey(key), found) != LinkError::None || found == 0) return {};
    LinkRecord record;
    if (store.ReadDataRecord(found, record) != LinkError::None) return {};
    return platform::Cp1252ToUtf8(record.ValueField());
}

bool WriteLinkValue(const std::string& key, const std::string& value, const std::string& filePath) {
    LinkStore store(filePath);
    if (store.Open() != LinkError::None) return false;
    const std::string normalisedKey = NormaliseLinkKey(key);
    int found = 0;
    if (store.Find(normalisedKey, found) != LinkError::None) return false;
    if (found == 0 && store.Append(normalisedKey, found) != LinkError::None) return false;
    return store.WriteValue(found, NormaliseLinkValue(value)) == LinkError::None;
}

}  // namespace kuv
