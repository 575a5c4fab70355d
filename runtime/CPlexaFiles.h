// File records; record 0 is the state stream used by the chunk operations.
#pragma once

#include <vector>

#include "runtime/CPlexaStrings.h"
#include "runtime/FileRecord.h"

namespace plexa {

class CPlexaFiles : public CPlexaStrings {
public:
    FileRecord& stateStream() { return fileRecords[0]; }
    void resetStream(FileRecord& record, std::uint32_t newMode) { record.reset(newMode); }
    void streamValue(FileRecord& record, double& value) { record.streamValue(value); }

    std::vector<FileRecord> fileRecords = std::vector<FileRecord>(1);

protected:
    CPlexaFiles() = default;
    ~CPlexaFiles() {
        for (FileRecord& record : fileRecords) record.flush();
    }
};

}  // namespace plexa
