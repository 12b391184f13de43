// Export macro of libLingua.
#ifndef LINGUA_LINGUA_EXPORT_H
#define LINGUA_LINGUA_EXPORT_H

#if defined(LINGUA_BUILDING)
#define LINGUA_EXPORT __attribute__((visibility("default")))
#else
// Users are built with hidden visibility too; declaring the entry points with
// default visibility on their side keeps them bound to libLingua's one copy
// (notably wxLocale's type information) instead of a hidden local one.
#define LINGUA_EXPORT __attribute__((visibility("default")))
#endif

#endif  // LINGUA_LINGUA_EXPORT_H
