#include "support/TestOptions.h"

namespace {

bool g_bExpectDoubleByte = false;

} // namespace

void SetExpectDoubleByteCodePage()
{
    g_bExpectDoubleByte = true;
}

bool ExpectDoubleByteCodePage()
{
    return g_bExpectDoubleByte;
}
