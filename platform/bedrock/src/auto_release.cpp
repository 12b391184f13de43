#include "bedrock/auto_release.h"

#include <glog/logging.h>

#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string file;
    int line = 0;
    int kind = 0;
};

struct Registry {
    std::mutex mutex;
    std::map<const void*, Record> live;
};

Registry& registry() {
    // Never destroyed: objects may be released by threads still running
    // while static destructors run.
    static Registry* instance = new Registry();
    return *instance;
}

// Per thread, a stack of local pools; each holds the references it keeps alive.
thread_local std::vector<std::vector<std::shared_ptr<void>>> localPools;

}  // namespace

void AutoRelease::InitPool() { registry(); }

void AutoRelease::StartLocalPool() { localPools.emplace_back(); }

void AutoRelease::EndLocalPool() {
    if (localPools.empty()) return;
    // Release outside the vector so a destructor that opens a pool is safe.
    std::vector<std::shared_ptr<void>> released = std::move(localPools.back());
    localPools.pop_back();
    released.clear();
}

void AutoRelease::DestroyPool() {
    while (!localPools.empty()) EndLocalPool();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.clear();
}

void AutoRelease::AddObject(const void* object, const char* file, int line, int kind) {
    if (!object) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live[object] = Record{file ? file : "", line, kind};
}

void AutoRelease::AddPoolObject(std::shared_ptr<void> object) {
    if (!object) return;
    if (localPools.empty()) return;  // no pool open: the caller's own reference decides
    localPools.back().push_back(std::move(object));
}

void AutoRelease::RemovePoolObject(const void* object) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.erase(object);
}

size_t AutoRelease::LiveObjectCount() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.live.size();
}

size_t AutoRelease::PrintLeakObject(std::ostream* stream) {
    std::vector<std::pair<const void*, Record>> leaks;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        leaks.assign(r.live.begin(), r.live.end());
    }
    for (const auto& [object, record] : leaks) {
        std::ostringstream line;
        line << "leaked object " << object << " kind " << record.kind << " created at "
             << record.file << ":" << record.line;
        if (stream) {
            *stream << line.str() << '\n';
        } else {
            LOG(WARNING) << line.str();
        }
    }
    return leaks.size();
}

LocalPool::LocalPool() { AutoRelease::StartLocalPool(); }
LocalPool::~LocalPool() { AutoRelease::EndLocalPool(); }
