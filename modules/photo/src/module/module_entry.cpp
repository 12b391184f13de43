// Module.Photo's entry: registration and the receive function.
#include "module_base.h"
#include "module_heic.h"

#include <photocodec/heic_decoder.h>
#include <pixbridge/command_names.h>
#include <pixbridge/module_contract.h>

#include <cstring>

namespace {

int32_t Receive(ModuleCommand* command) {
    if (!command || !command->command) return 0;
    if (strcmp(command->command, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE) == 0) {
        module_base::StartRequest(command, &module_heic::RunConversionTask);
    } else if (strcmp(command->command, LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL) == 0) {
        module_base::StartRequest(command, &module_heic::RunThumbnailTask);
    }
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* context) {
    module_base::SetContext(context);
    context->receive = &Receive;
    // The workbench asks for thumbnails as soon as photos are added: the
    // codec's helper loads its decoders meanwhile.
    HeicDecoder::PrepareHelper();
}
