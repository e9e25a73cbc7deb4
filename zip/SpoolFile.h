#pragma once
// The spool: a temporary file that holds the compressed data of the members
// waiting in the list, so that a backup of any size needs only the memory of
// one chunk. The file is created in the temporary folder and unlinked at
// once: it has no name, and the system reclaims it when the process ends,
// however it ends.

#include <cstddef>
#include <cstdint>

#include "platform/UniqueFd.h"
#include "zip/MemberCompressor.h"

namespace kuv::zip {

class SpoolFile : public ByteSink {
public:
    SpoolFile() = default;
    ~SpoolFile() override = default;
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;

    // Creates the file when needed; false when the temporary folder refuses it.
    bool Open();
    // Appends at the end; false (and nothing counted) when the medium refuses.
    bool Write(const std::uint8_t* data, size_t size) override;
    // The bytes written so far: the offset of the next Write.
    std::uint64_t Size() const { return size_; }
    // Reads exactly size bytes at offset; false when they are not all there.
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, size_t size) const;
    // Forgets everything from offset on (a member given up halfway).
    void Truncate(std::uint64_t offset);
    // Forgets everything and gives the space back.
    void Reset() { Truncate(0); }

private:
    platform::UniqueFd fd_;
    std::uint64_t size_ = 0;
};

}  // namespace kuv::zip
