#ifndef BEDROCK_EXPORT_H
#define BEDROCK_EXPORT_H

#if defined(BEDROCK_BUILDING)
#define BEDROCK_EXPORT __attribute__((visibility("default")))
#else
#define BEDROCK_EXPORT
#endif

#endif  // BEDROCK_EXPORT_H
