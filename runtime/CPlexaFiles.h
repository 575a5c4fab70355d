// File records; record 0 is the state stream used by the chunk operations.
#pragma once

#include <cmath>
#include <vector>

#include "runtime/CPlexaStrings.h"
#include "runtime/FileRecord.h"

namespace plexa {

class CPlexaFiles : public CPlexaStrings {
public:
    FileRecord& stateStream() { return fileRecords[0]; }
    void resetStream(FileRecord& record, std::uint32_t newMode) { record.reset(newMode); }
    void streamValue(FileRecord& record, double& value) {
        // A save may store another value for a slider than it holds now (a
        // host's value the audio thread has yet to take): it goes wherever
        // the serialize section streams that slider.
        if (savedSliders && record.mode == FileRecord::Writing && &value >= sliderValues &&
            &value < sliderValues + SliderValueCount) {
            double saved = savedSliders[&value - sliderValues];
            if (!std::isnan(saved)) {
                record.streamValue(saved);
                return;
            }
        }
        record.streamValue(value);
    }

    std::vector<FileRecord> fileRecords = std::vector<FileRecord>(1);

protected:
    CPlexaFiles() = default;
    // During a save only: one value per slider number, NaN where the slider's own value goes.
    const double* savedSliders = nullptr;
    ~CPlexaFiles() {
        for (FileRecord& record : fileRecords) record.flush();
    }
};

}  // namespace plexa
