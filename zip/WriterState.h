#pragma once
// The writing side's state of a clsZip instance: the pending member list,
// the archive comment, the compression level and the archives open for a
// streaming pass.

#include <cstdint>
#include <string>
#include <vector>

#include "zip/ZipRecords.h"

class clsZip;

namespace kuv::zip {

struct WriterState {
    std::vector<ZipMemberEntry> MemberList;  // pending members, in order of addition
    std::string comment;                     // the Comment property (UTF-8)
    std::int32_t level = -1;                 // LevelCompression

    // Empties the pending member list (and whatever holds its data).
    void ClearMembers();
};

}  // namespace kuv::zip
