// One conversion at a time, from the request to its end: the host's progress
// dialog, the request to the photo module (through HeicWork), the end logo,
// and a stop after which "convert" waits, visibly, until the photos already
// begun are done.
#ifndef WORKBENCH_CONVERSION_FLOW_H
#define WORKBENCH_CONVERSION_FLOW_H

#include "presenter/output_settings.h"
#include "presenter/view_resources.h"
#include "work/heic_work.h"

#include <pixbridge/host_payloads.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
struct BatchTally;

class ConversionFlow {
public:
    // The id of the workbench's progress and loading dialogs.
    static constexpr const char* kDeviceId = "HEIC_WORK_UUID";

    // `cancel` and its two values are what the progress dialog calls when the
    // user ends it; `finishingChanged` runs when Finishing() changes.
    ConversionFlow(const ViewResources& resources, ProgressCancelFn cancel, void* cancelValue1, void* cancelValue2,
                   std::function<void()> finishingChanged);
    ~ConversionFlow();

    // The request document for `paths` (UTF-8) with the panel's settings.
    static std::string BuildRequest(const std::vector<std::string>& paths, const OutputSettings& settings);
    // Opens the progress dialog and sends `request`. False while a job is
    // under way: the progress notifications carry no job, so a new one
    // starts only after the previous request has ended.
    bool Start(const std::string& request);
    // The progress dialog's cancel: the conversion stops after the file in hand.
    void Stop();
    bool Busy() const { return converting_; }
    bool Finishing() const { return finishing_; }

private:
    // The photo module's end reply, on the main thread.
    void Replied(int32_t kind);
    void CheckDrained();
    void SetFinishing(bool finishing);

    const ViewResources& res_;
    ProgressStartBlock cancel_{};
    std::function<void()> finishingChanged_;
    std::unique_ptr<HeicWork> work_;
    bool converting_ = false;
    bool finishing_ = false;
    std::unique_ptr<QTimer> drainTimer_;
    // The batch under way, as the desktop is told of it.
    std::shared_ptr<BatchTally> tally_;
    // Callbacks of the work run on other threads; they reach the flow only
    // while it lives.
    std::shared_ptr<ConversionFlow*> alive_;
};

#endif  // WORKBENCH_CONVERSION_FLOW_H
