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
    void Set(const std::string& words, FigureKind kind)
    {
        EnterCriticalSection(&m_lock);
        m_words = words;
        m_kind = kind;
        LeaveCriticalSection(&m_lock);
    }
    std::string Get(FigureKind* pKind = NULL)
    {
        EnterCriticalSection(&m_lock);
        const std::string words = m_words;
        if (pKind != NULL)
            *pKind = m_kind;
        LeaveCriticalSection(&m_lock);
        return words;
    }

private:
    CRITICAL_SECTION m_lock;
    std::string m_words;
    FigureKind m_kind = kFinding;
};

CClaim& Claim()
{
    static CClaim claim;
    return claim;
}

} // namespace

void ClaimFigure(const std::string& words, FigureKind kind)
{
    Claim().Set(words, kind);
}

void ReportFigure(bool bFailed)
{
    FigureKind kind = kFinding;
    const std::string words = Claim().Get(&kind);
    Claim().Set(std::string(), kFinding);
    if (words.empty() || ::testing::Test::IsSkipped())
        return;
    const bool bHeld = !bFailed && !::testing::Test::HasFailure();
    const char* pszPrefix = !bHeld ? "FAILED: " : kind == kFinding ? "checked: " : "";
    printf("%s%s\n", pszPrefix, words.c_str());
    fflush(stdout);
}

std::string ClaimedFigure()
{
    return Claim().Get();
}
