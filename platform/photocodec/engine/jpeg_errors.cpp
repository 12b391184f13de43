#include "jpeg_errors.h"

#include <cstring>

#include <jerror.h>

namespace photocodec {

namespace {

void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr info, int level)
{
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        ++errors->truncations;
    }
}

}  // namespace

jpeg_error_mgr* useJpegErrors(JpegErrors& errors)
{
    std::memset(&errors, 0, sizeof(errors));
    jpeg_error_mgr* manager = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onError;
    errors.pub.emit_message = onMessage;
    return manager;
}

std::string jpegErrorText(const JpegErrors& errors, const char* fallback)
{
    return errors.message[0] != 0 ? errors.message : fallback;
}

}  // namespace photocodec
