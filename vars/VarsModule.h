// The library's module: the count of live objects, outside factory
// references and server locks that keeps it loaded, and the lock under
// which class factories are made.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class CJexVarsModule {
public:
    static CJexVarsModule& Instance();

    void Lock() { m_LockCount.fetch_add(1); }
    void Unlock() { m_LockCount.fetch_sub(1); }
    int32_t LockCount() const { return m_LockCount.load(); }
    std::mutex& FactoryLock() { return m_FactoryLock; }
    // The full path of this library.
    std::string LibraryPath() const;

private:
    std::atomic<int32_t> m_LockCount{0};
    std::mutex m_FactoryLock;
};

// Counts one live object of the library while it exists.
class CZelModuleLock {
public:
    CZelModuleLock() { CJexVarsModule::Instance().Lock(); }
    ~CZelModuleLock() { CJexVarsModule::Instance().Unlock(); }
    CZelModuleLock(const CZelModuleLock&) = delete;
    CZelModuleLock& operator=(const CZelModuleLock&) = delete;
};
