// The photo module's two jobs, each run as the work function of one task.
#ifndef PIXBRIDGE_PHOTO_MODULE_HEIC_H
#define PIXBRIDGE_PHOTO_MODULE_HEIC_H

#include <bedrock/vo_task.h>

#include <memory>

namespace module_heic {

// Converts every file of "heic_array" into "output_dir" as JPEG or PNG,
// reporting each file to the requester and to the progress display.
void RunConversionTask(const std::shared_ptr<VoTask>& task);
// Answers each photo of "heic_array" with its thumbnail and dimensions.
void RunThumbnailTask(const std::shared_ptr<VoTask>& task);

}  // namespace module_heic

#endif  // PIXBRIDGE_PHOTO_MODULE_HEIC_H
