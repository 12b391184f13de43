// What a waiting request task finds in its data while a reply of the photo
// module is delivered to it.
#ifndef WORKBENCH_PHOTO_REPLY_H
#define WORKBENCH_PHOTO_REPLY_H

struct PhotoReply {
    // The reply's command name: it tells which record `result` points to
    // (LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL: ThumbnailResult,
    // LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE: ConvertResult).
    const char* command = nullptr;
    // The sender's record, valid only during the delivery.
    void* result = nullptr;
    // Set by the handler that took the reply, and with it the ownership of
    // a thumbnail image; an untaken image is released by the delivery.
    bool taken = false;
};

#endif  // WORKBENCH_PHOTO_REPLY_H
