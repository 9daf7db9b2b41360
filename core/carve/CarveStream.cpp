#include "carve/CarveStream.h"

#include <algorithm>

CZelCarveStream::Ask CZelCarveStream::Need(size_t count)
{
    Ask ask;
    ask.kind = Ask::Need;
    ask.count = count;
    return ask;
}

CZelCarveStream::Ask CZelCarveStream::Skip(uint64_t count)
{
    Ask ask;
    ask.kind = Ask::Skip;
    ask.count = count;
    return ask;
}

CZelCarveStream::Ask CZelCarveStream::Scan()
{
    Ask ask;
    ask.kind = Ask::Scan;
    return ask;
}

CZelCarveStream::Ask CZelCarveStream::Done(bool validated, uint64_t giveBack)
{
    m_State = CarveState::Done;
    // Given back once the bytes of the call that ended it are counted.
    m_GiveBack = giveBack;
    m_Validated = validated;
    return Ask();
}

CZelCarveStream::Ask CZelCarveStream::Fail(const std::string& problem)
{
    m_State = CarveState::Failed;
    m_Problem = problem;
    return Ask();
}

void CZelCarveStream::GiveBack()
{
    if (m_State == CarveState::Done) {
        m_Taken -= std::min(m_GiveBack, m_Taken);
        m_GiveBack = 0;
    }
}

void CZelCarveStream::Apply(const Ask& ask)
{
    if (m_State != CarveState::Going)
        return;
    m_Ask = ask;
    m_Buffer.clear();
    // What a header asks for is small; a crafted length cannot make it
    // larger than the file may be.
    if (ask.kind == Ask::Need && (ask.count == 0 || ask.count > (uint64_t(1) << 20)))
        Fail("a header of " + std::to_string(ask.count) + " bytes");
    else if (ask.kind != Ask::Stop && ask.kind != Ask::Scan && ask.count > m_Bound - std::min(m_Taken, m_Bound))
        Fail("its end is not within " + std::to_string(m_Bound) + " bytes");
}

CarveState CZelCarveStream::Take(const uint8_t* bytes, size_t size, size_t& used)
{
    used = 0;
    if (!m_Started) {
        m_Started = true;
        Apply(Start());
    }
    while (m_State == CarveState::Going && used < size) {
        const uint8_t* at = bytes + used;
        const size_t left = size - used;
        if (m_Taken >= m_Bound && m_Ask.kind == Ask::Scan) {
            OnEnd();
            GiveBack();
            if (m_State == CarveState::Going)
                Fail("its end is not within " + std::to_string(m_Bound) + " bytes");
            break;
        }
        switch (m_Ask.kind) {
        case Ask::Need: {
            const size_t want = static_cast<size_t>(m_Ask.count) - m_Buffer.size();
            const size_t take = std::min(want, left);
            m_Buffer.insert(m_Buffer.end(), at, at + take);
            used += take;
            m_Taken += take;
            if (m_Buffer.size() == m_Ask.count) {
                std::vector<uint8_t> whole;
                whole.swap(m_Buffer);
                Apply(OnBytes(whole.data(), whole.size()));
                GiveBack();
            }
            break;
        }
        case Ask::Skip: {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(m_Ask.count, left));
            OnSkipped(at, take);
            used += take;
            m_Taken += take;
            m_Ask.count -= take;
            if (m_Ask.count == 0) {
                Apply(OnBytes(nullptr, 0));
                GiveBack();
            }
            break;
        }
        case Ask::Scan: {
            const size_t room = static_cast<size_t>(std::min<uint64_t>(left, m_Bound - m_Taken));
            size_t scanned = 0;
            Ask next = OnScan(at, room, scanned);
            scanned = std::min(scanned, room);
            used += scanned;
            m_Taken += scanned;
            if (next.kind != Ask::Scan || scanned < room)
                Apply(next);
            GiveBack();
            break;
        }
        case Ask::Stop:
            Fail("nothing asked for");
            break;
        }
    }
    return m_State;
}

CarveState CZelCarveStream::End()
{
    if (m_State == CarveState::Going) {
        if (!m_Started) {
            m_Started = true;
            Apply(Start());
        }
        // Where the format says: a file whose end is told by what follows
        // it may end here, giving back the start of a header (Unfinished)
        // that the bytes cut short.
        if (m_State == CarveState::Going)
            OnEnd();
        GiveBack();
        if (m_State == CarveState::Going)
            Fail("cut short");
    }
    return m_State;
}
