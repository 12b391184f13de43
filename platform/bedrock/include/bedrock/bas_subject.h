// A minimal subject/observer pair for notifications inside one module.
#ifndef BEDROCK_BAS_SUBJECT_H
#define BEDROCK_BAS_SUBJECT_H

#include <cstdint>
#include <vector>

class BASObserver {
public:
    virtual ~BASObserver() = default;
    virtual void Update(int32_t value, const char* command) {}
};

class BASSubject {
public:
    virtual ~BASSubject() = default;
    void Attach(BASObserver* observer) { observers_.push_back(observer); }
    void Notify(int32_t value, const char* command) {
        // A copy, so an observer that attaches another during the call does
        // not invalidate the loop.
        const std::vector<BASObserver*> observers = observers_;
        for (BASObserver* observer : observers) observer->Update(value, command);
    }

private:
    std::vector<BASObserver*> observers_;
};

#endif  // BEDROCK_BAS_SUBJECT_H
