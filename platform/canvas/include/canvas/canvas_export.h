#ifndef CANVAS_EXPORT_H
#define CANVAS_EXPORT_H

#if defined(CANVAS_BUILDING)
#define CANVAS_EXPORT __attribute__((visibility("default")))
#else
#define CANVAS_EXPORT
#endif

#endif  // CANVAS_EXPORT_H
