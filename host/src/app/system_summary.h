// The one-line JSON summary of product and machine for the log and crash reports.
#ifndef PIXBRIDGE_HOST_SYSTEM_SUMMARY_H
#define PIXBRIDGE_HOST_SYSTEM_SUMMARY_H

#include <string>

// {"Product", "Version", "System" ("Linux 6.1.0-18-amd64"), "FreeMemSize", "TotalMemSize"}
std::string BuildSystemSummary();

#endif  // PIXBRIDGE_HOST_SYSTEM_SUMMARY_H
