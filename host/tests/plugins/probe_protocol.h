// What the probe modules of the loader tests understand. The test passes a
// DeliveryLog in `data`; every probe that receives a command appends its tag.
#ifndef PIXBRIDGE_TESTS_PROBE_PROTOCOL_H
#define PIXBRIDGE_TESTS_PROBE_PROTOCOL_H

#include <atomic>

struct DeliveryLog {
    char tags[32][48] = {};
    std::atomic<int> count{0};
    void Append(const char* tag) {
        const int i = count.fetch_add(1);
        if (i < 32) {
            for (int k = 0; k < 47 && tag[k]; ++k) tags[i][k] = tag[k];
        }
    }
};

// Appends the probe's tag to the DeliveryLog at `data`.
#define PROBE_RECORD "PROBE_RECORD"
// The probe writes its numeric version into `number`.
#define PROBE_VERSION "PROBE_VERSION"
// The probe broadcasts PROBE_RECORD (with the same `data`) as itself.
#define PROBE_BROADCAST_AS_ME "PROBE_BROADCAST_AS_ME"
// The probe writes its own instance into `result`.
#define PROBE_WHO_AM_I "PROBE_WHO_AM_I"

// The probe refuses LIBPLATFORM_COMMAND_CLOSE_ENSURE while `number` was non-zero.
#define PROBE_REFUSE_CLOSE "PROBE_REFUSE_CLOSE"
// The probe answers the last LIBWINDOW_COMMAND_SIZE_CHANGE in `total` x `current`.
#define PROBE_LAST_SIZE "PROBE_LAST_SIZE"
// The probe answers in `number` the thread (pthread_self) that last showed its
// window, 0 when none has since the last question.
#define PROBE_SHOWN_ON "PROBE_SHOWN_ON"

#endif  // PIXBRIDGE_TESTS_PROBE_PROTOCOL_H
