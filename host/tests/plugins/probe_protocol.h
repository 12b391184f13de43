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

#endif  // PIXBRIDGE_TESTS_PROBE_PROTOCOL_H
