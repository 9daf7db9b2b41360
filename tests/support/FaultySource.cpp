#include "support/FaultySource.h"

#include <algorithm>
#include <cerrno>

namespace jextest {

void FaultySource::FailAt(uint64_t offset, uint64_t length, int times)
{
    m_Faults.push_back({offset, length, times > 0 ? times : -1});
}

void FaultySource::VanishAfter(uint64_t reads)
{
    m_VanishAt = m_Reads + reads;
}

void FaultySource::WhenRead(uint64_t offset, std::function<void()> action)
{
    m_ActionAt = offset;
    m_Action = std::move(action);
}

CZelRead FaultySource::ReadAt(uint64_t offset, void* destination, size_t count)
{
    if (m_Action && offset <= m_ActionAt && m_ActionAt < offset + count) {
        auto action = std::move(m_Action);
        m_Action = nullptr;
        action();
    }
    ++m_Reads;
    m_EmptyReads += count == 0 ? 1 : 0;
    CZelRead read;
    if (m_Reads > m_VanishAt) {
        read.end = ZelReadEnd::Vanished;
        read.error = ENODEV;
        return read;
    }
    // The first fault the read touches ends it there.
    Fault* hit = nullptr;
    for (Fault& fault : m_Faults)
        if (fault.left != 0 && fault.offset < offset + count && offset < fault.offset + fault.length &&
            (hit == nullptr || fault.offset < hit->offset))
            hit = &fault;
    if (hit == nullptr)
        return m_pInner->ReadAt(offset, destination, count);
    if (hit->left > 0)
        --hit->left;
    size_t before = hit->offset > offset ? static_cast<size_t>(hit->offset - offset) : 0;
    read = before != 0 ? m_pInner->ReadAt(offset, destination, before) : CZelRead();
    if (read.end == ZelReadEnd::Complete) {
        read.end = ZelReadEnd::Failed;
        read.error = EIO;
    }
    return read;
}

ZelVolumeOpener FaultyOpener::Opener()
{
    auto prepare = m_Prepare;
    auto last = m_pLast;
    return [prepare, last](const std::string& path, std::string& error) -> std::unique_ptr<CZelVolumeSource> {
        std::unique_ptr<CZelVolumeSource> inner = ZelOpenVolumeSource(path, error);
        if (!inner)
            return nullptr;
        auto source = std::make_unique<FaultySource>(std::move(inner));
        if (prepare)
            prepare(*source);
        *last = source.get();
        return source;
    };
}

} // namespace jextest
