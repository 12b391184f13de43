#include "command_threads.h"

#include <canvas/dispatch_queue.h>

#include <rapidjson/document.h>

#include <cstring>
#include <memory>
#include <string>

namespace command_threads {
namespace {

size_t WideLength(const char16_t* s) {
    size_t n = 0;
    while (s && s[n]) ++n;
    return n;
}

// A deferred command: a copy of the record and of what its work reads, run
// later on the main thread. The poster's record is left untouched, so a
// deferred command returns nothing in its slots.
struct DeferredCopy {
    ModuleCommand record{};
    std::string id;
    std::string text;
    std::u16string wide;
    std::string dataText;
    rapidjson::Document json;
};

void Defer(const Entry& entry, const ModuleCommand* command) {
    auto copy = std::make_shared<DeferredCopy>();
    memcpy(&copy->record, command, sizeof(ModuleCommand));
    ModuleCommand& record = copy->record;
    switch (entry.copy) {
    case Copy::kNothing:
        break;
    case Copy::kTexts:
    case Copy::kText:
        if (command->text) {
            copy->text = command->text;
            record.text = &copy->text[0];
        }
        if (entry.copy == Copy::kText) break;
        [[fallthrough]];
    case Copy::kWideText:
        if (command->wideText) {
            copy->wide.assign(command->wideText, WideLength(command->wideText));
            record.wideText = &copy->wide[0];
        }
        break;
    case Copy::kDataText:
        if (command->data) {
            copy->dataText = static_cast<const char*>(command->data);
            record.data = &copy->dataText[0];
        }
        break;
    case Copy::kId:
        if (command->id) {
            copy->id = command->id;
            record.id = &copy->id[0];
        }
        break;
    case Copy::kDataJson:
        if (const auto* value = static_cast<const rapidjson::Value*>(command->data)) {
            copy->json.CopyFrom(*value, copy->json.GetAllocator());
            record.data = &copy->json;
        } else {
            record.data = nullptr;
        }
        break;
    }
    const Handler handler = entry.handler;
    const bool queued = DispatchQueue::DispatchGetMainQueue()->DispatchAsync([copy, handler] { handler(&copy->record); });
    if (!queued && entry.dropped) entry.dropped(&copy->record);
}

}  // namespace

void Dispatch(const Entry& entry, ModuleCommand* command) {
    switch (entry.thread) {
    case Thread::kNone:
        return;
    case Thread::kDirect:
        entry.handler(command);
        return;
    case Thread::kMainOnly:
        if (DispatchQueue::IsMainThread()) entry.handler(command);
        return;
    case Thread::kMain:
        if (DispatchQueue::IsMainThread()) {
            entry.handler(command);
            return;
        }
        Defer(entry, command);
        return;
    case Thread::kDeferred:
        Defer(entry, command);
        return;
    }
}

}  // namespace command_threads
