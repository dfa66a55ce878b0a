#include "support/Figures.h"

#include <windows.h>

#include <stdio.h>

#include <gtest/gtest.h>

namespace {

// The watchdog reads the claim from its own thread.
class CClaim {
public:
    CClaim() { InitializeCriticalSection(&m_lock); }
    ~CClaim() { DeleteCriticalSection(&m_lock); }
    void Set(const std::string& words)
    {
        EnterCriticalSection(&m_lock);
        m_words = words;
        LeaveCriticalSection(&m_lock);
    }
    std::string Get()
    {
        EnterCriticalSection(&m_lock);
        const std::string words = m_words;
        LeaveCriticalSection(&m_lock);
        return words;
    }

private:
    CRITICAL_SECTION m_lock;
    std::string m_words;
};

CClaim& Claim()
{
    static CClaim claim;
    return claim;
}

} // namespace

void ClaimFigure(const std::string& words)
{
    Claim().Set(words);
}

void ReportFigure(bool bFailed)
{
    const std::string words = ClaimedFigure();
    Claim().Set(std::string());
    if (words.empty() || ::testing::Test::IsSkipped())
        return;
    const bool bHeld = !bFailed && !::testing::Test::HasFailure();
    printf("%s %s\n", bHeld ? "checked:" : "FAILED:", words.c_str());
    fflush(stdout);
}

std::string ClaimedFigure()
{
    return Claim().Get();
}
