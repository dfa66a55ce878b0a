#include "support/TestOptions.h"

#include <windows.h>

namespace {

bool g_bExpectDoubleByte = false;
std::string g_programUnderTest;

} // namespace

void SetExpectDoubleByteCodePage()
{
    g_bExpectDoubleByte = true;
}

bool ExpectDoubleByteCodePage()
{
    return g_bExpectDoubleByte;
}

// Full, because the tests start the program from folders of their own and copy it elsewhere.
bool SetProgramUnderTest(const char* pszPath)
{
    char szFull[MAX_PATH];
    const DWORD cch = GetFullPathNameA(pszPath, MAX_PATH, szFull, NULL);
    if (cch == 0 || cch >= MAX_PATH)
        return false;
    const DWORD dwAttributes = GetFileAttributesA(szFull);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    g_programUnderTest = szFull;
    return true;
}

const std::string& ProgramUnderTest()
{
    return g_programUnderTest;
}
