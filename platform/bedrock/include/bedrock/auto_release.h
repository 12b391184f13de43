// Leak tracking and scoped keep-alive for the objects of the task system.
#ifndef BEDROCK_AUTO_RELEASE_H
#define BEDROCK_AUTO_RELEASE_H

#include "bedrock_export.h"

#include <cstddef>
#include <memory>
#include <ostream>

// Every recorded object carries the source file and line that created it;
// whatever is still recorded at exit is reported as a leak. Objects handed to
// AddPoolObject are kept alive until the innermost local pool of the calling
// thread ends.
class BEDROCK_EXPORT AutoRelease {
public:
    static void InitPool();
    static void StartLocalPool();
    static void EndLocalPool();
    static void DestroyPool();

    static void AddObject(const void* object, const char* file, int line, int kind = 0);
    static void AddPoolObject(std::shared_ptr<void> object);
    static void RemovePoolObject(const void* object);

    static size_t LiveObjectCount();
    // Writes one line per object still recorded; a null stream writes to the
    // process log. Returns the number of objects reported.
    static size_t PrintLeakObject(std::ostream* stream);
};

// Opens a local pool for the life of the object.
class BEDROCK_EXPORT LocalPool {
public:
    LocalPool();
    ~LocalPool();
    LocalPool(const LocalPool&) = delete;
    LocalPool& operator=(const LocalPool&) = delete;
};

#endif  // BEDROCK_AUTO_RELEASE_H
