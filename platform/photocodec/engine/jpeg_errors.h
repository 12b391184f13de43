// libjpeg's fatal errors turned into a jump back to the caller, with the
// library's message kept, for both our JPEG reader and our JPEG writer.
//
// libjpeg reports a fatal error by calling error_exit, which must not
// return. Ours longjmps to the last setjmp(errors.jump), so every libjpeg
// call that can fail sits alone in a function of its own that holds nothing
// needing a destructor: the jump never skips one.
#ifndef PHOTOCODEC_JPEG_ERRORS_H
#define PHOTOCODEC_JPEG_ERRORS_H

// jpeglib.h needs FILE and size_t declared first.
#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace photocodec {

struct JpegErrors {
    jpeg_error_mgr pub;  // first: libjpeg hands us a pointer to it
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // Warnings that the data ended early (libjpeg fills the rest in grey).
    int truncations;
};

// Clears `errors`, installs the jump and keeps warnings off stderr; the
// result goes into the codec's `err`.
jpeg_error_mgr* useJpegErrors(JpegErrors& errors);

// The message of the last fatal error, or `fallback` when there was none.
std::string jpegErrorText(const JpegErrors& errors, const char* fallback);

// Calls `step(done)`, which reads or writes lines from line `done` on and
// returns how many it did, until `count` are through. False when a call does
// none (the data ended or the output stalled). Call it under the codec's
// setjmp: it holds nothing a jump could skip.
template <typename Step>
bool allLines(JDIMENSION count, Step step)
{
    JDIMENSION done = 0;
    while (done < count) {
        const JDIMENSION n = step(done);
        if (n == 0) {
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace photocodec

#endif  // PHOTOCODEC_JPEG_ERRORS_H
