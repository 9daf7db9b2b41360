// Callbacks across the core's boundary: an interface with one operation,
// Fire, and a wrapper that forwards Fire to a member function of a target.
#pragma once

#include <boost/shared_ptr.hpp>
#include <boost/make_shared.hpp>

#include <type_traits>

// A callback taking an A and returning an R. It has no virtual destructor: a
// callback object is always owned by a boost::shared_ptr created for its
// concrete type, whose control block deletes it through that type.
template <class R, class A>
class CZelFireCallbackRT {
public:
    virtual R Fire(A argument) = 0;

protected:
    ~CZelFireCallbackRT() = default;
};

// Forwards Fire to a member function of a target object. Fire does nothing
// (and returns a default R) while either the function or the target is unset.
template <class T, class R, class A>
class CZelCallbackWrapperRT final : public CZelFireCallbackRT<R, A> {
public:
    typedef R (T::*MemberFunction)(A);

    CZelCallbackWrapperRT() : m_pFunction(nullptr), m_pTarget(nullptr) {}
    CZelCallbackWrapperRT(MemberFunction function, T* target) : m_pFunction(function), m_pTarget(target) {}
    ~CZelCallbackWrapperRT() = default;

    R Fire(A argument) override
    {
        if (m_pFunction != nullptr && m_pTarget != nullptr)
            return (m_pTarget->*m_pFunction)(argument);
        if constexpr (!std::is_void<R>::value)
            return R();
    }

    MemberFunction m_pFunction;
    T* m_pTarget;
};

// Restore progress: a fraction from 0 to 1.
typedef CZelFireCallbackRT<void, double> CZelProgressCallback;
typedef boost::shared_ptr<CZelProgressCallback> CZelProgressCallbackPtr;

// Target of the default progress callback: does nothing with the progress.
class MMM {
public:
    void Ignore(double) {}
};

namespace zel_detail {
inline CZelProgressCallbackPtr MakeDefaultProgressCallback()
{
    static MMM target;
    return boost::make_shared<CZelCallbackWrapperRT<MMM, void, double>>(&MMM::Ignore, &target);
}
} // namespace zel_detail

// Every compilation unit that includes this header owns a default progress
// callback, for callers that have no progress to report.
static const CZelProgressCallbackPtr ZelDefaultProgressCallback = zel_detail::MakeDefaultProgressCallback();
