#pragma once

#include <cstdint>
#include <string>

#include "adjust/ItemContext.h"
#include "app/Wizard.h"
#include "mock/RecordingMessageSink.h"
#include "mock/WizardRun.h"
#include "records/RunLog.h"
#include "serial/LineSettings.h"

namespace zul::test {

// A wizard bench whose runs are recorded into the spool folder: a second
// wizard on the bench's unit, clock and window that tells the run's record,
// as the main window's does.
struct RecordedBench : WizardRunBench {
    RecordedBench(const sim::Profile& profile, const std::string& folder,
                  const std::string& station = "BENCH-1")
        : WizardRunBench(profile), log(folder, station, "1.01-01", clock, messages) {
        log.SetLine(&line);
    }
    RecordingMessageSink messages;
    RunLog log;
    LineSettings line{.portName = "COM1"};
    // The wizard again, now telling the record.
    ItemContext recordedCtx{link, data, result, clock, log};
    Wizard recorded{view, recordedCtx};

    // Next until the wizard stands at step, or failed.
    void ClickTo(int16_t step) {
        for (int guard = 0; guard < 20 && recorded.AdjStep() != step && recorded.AdjStep() != -1;
             ++guard) {
            recorded.StartClick();
        }
    }
};

}  // namespace zul::test
