#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adjust/AdjustmentData.h"
#include "adjust/ItemContext.h"
#include "adjust/ResultArea.h"
#include "app/Wizard.h"
#include "mock/FakeWizardView.h"
#include "mock/HostilePlan.h"
#include "mock/TimingPort.h"
#include "serial/Clock.h"
#include "serial/CommandExchange.h"
#include "sim/SimPort.h"
#include "sim/SimUnit.h"

namespace zul::test {

// What one complete wizard run came to, as the operator saw it.
struct WizardRunResult {
    bool complete = false;     // reached "**** COMPLETE ****"
    int16_t failedAtStep = 0;  // AdjStep of the click that failed (9 also for ticks and Clear)
    std::vector<std::string> finalLines;   // the result area on the last screen of the run
    std::vector<std::string> afterCancel;  // after Cancel (failed) or the next Next (complete)
    int16_t stepAfterCancel = -2;
    size_t commandsAtEnd = 0;         // commands received when the run ended
    size_t commandsAfterIdle = 0;     // after the clicks a failed or ended run ignores, and Cancel
    bool magControlsMissing = false;  // a tick or Clear came while the view had them off
    bool timerLeftOn = false;         // Timer1 still on after a failure
};

// One bench: the simulated unit behind the in-process port, a timing port in
// front of it, the exchange, the run's record and result area, a fake window
// and the wizard. A fresh bench per run.
class WizardRunBench {
public:
    explicit WizardRunBench(const sim::Profile& profile)
        : unit(profile), simPort(unit, clock), port(simPort, clock), link(port, data.reply) {
        simPort.OpenDevice("COM1");
        simPort.Configure(LineSettings{.portName = "COM1"});
        ShowIdleScreen(result);
    }

    // The clicks of an operator: Start, Next..., at the mag step the ticks
    // and Clear clicks of actions, until "**** COMPLETE ****" or the failed
    // state; then the clicks a failed screen ignores and Cancel, or, after a
    // complete run, Next.
    WizardRunResult Walk(const std::vector<MagAction>& actions) {
        WizardRunResult r;
        for (int guard = 0; guard < 20; ++guard) {
            const int16_t step = wizard.AdjStep();
            if (step == 9) {
                for (MagAction action : actions) {
                    if (wizard.AdjStep() != 9) break;
                    port.Boundary();
                    if (action == MagAction::Tick) {
                        if (!view.timerActive) r.magControlsMissing = true;
                        wizard.TimerTick();
                    } else {
                        if (!view.clearVisible) r.magControlsMissing = true;
                        wizard.ClearClick();
                    }
                }
                if (wizard.AdjStep() == -1) {
                    r.failedAtStep = 9;
                    break;
                }
            }
            port.Boundary();
            wizard.StartClick();
            if (wizard.AdjStep() == -1) {
                r.failedAtStep = step;
                break;
            }
            if (wizard.AdjStep() == 11) {
                r.complete = true;
                break;
            }
        }
        r.finalLines = result.Lines();
        r.commandsAtEnd = unit.Received().size();
        if (r.complete) {
            wizard.StartClick();  // "Change acceptor unit."
        } else {
            r.timerLeftOn = view.timerActive;
            // A failed screen ignores Start, ticks and Clear.
            wizard.StartClick();
            wizard.TimerTick();
            wizard.ClearClick();
            wizard.StartMenuClick();
            wizard.ExitClick();  // Cancel
        }
        r.afterCancel = result.Lines();
        r.stepAfterCancel = wizard.AdjStep();
        r.commandsAfterIdle = unit.Received().size();
        return r;
    }

    ManualClock clock;
    sim::SimUnit unit;
    sim::SimPort simPort;
    TimingPort port;
    AdjustmentData data;
    CommandExchange link;
    MemoryResultArea result;
    ItemContext ctx{link, data, result, clock};
    FakeWizardView view;
    Wizard wizard{view, ctx};
};

}  // namespace zul::test
