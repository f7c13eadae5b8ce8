#pragma once

#include <memory>
#include <string>
#ifndef _WIN32
#include <thread>
#endif

namespace norvale {

// A named mutex, re-entrant for the thread that holds it. Released while other
// threads wait, it passes to one of them before its holder can take it again.
// On Windows it is the kernel mutex of that name, shared with every process
// that opens the name (the kernel hands it to a waiter at the release); in the
// native build it is a lock shared by name within the process that passes to
// the thread that has waited longest.
class TMutex {
public:
    explicit TMutex(const std::string& name);
    ~TMutex();
    TMutex(const TMutex&) = delete;
    TMutex& operator=(const TMutex&) = delete;

    // Waits without a time limit; a mutex left by a thread that ended while
    // holding it counts as acquired.
    void Wait();
    void Release();

    const std::string& Name() const { return name_; }

#ifndef _WIN32
    // Whether `thread` waits for the mutexes of this name now, for tests that
    // must know it queued before they let the holder go on. The native build
    // only: the kernel does not tell.
    bool IsQueued(std::thread::id thread) const;
#endif

private:
    struct Impl;
    std::string name_;
    std::unique_ptr<Impl> impl_;
};

// The text of a failed creation: the name is taken by another kind of object
// when `nameExists`, otherwise the creation failed outright.
std::string MutexCreationFailureText(const std::string& name, bool nameExists);

// Holds a TMutex for one scope.
class TMutexLock {
public:
    explicit TMutexLock(TMutex& mutex) : mutex_(mutex) { mutex_.Wait(); }
    ~TMutexLock() { mutex_.Release(); }
    TMutexLock(const TMutexLock&) = delete;
    TMutexLock& operator=(const TMutexLock&) = delete;

private:
    TMutex& mutex_;
};

}  // namespace norvale
