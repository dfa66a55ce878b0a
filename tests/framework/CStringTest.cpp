#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "framework/CString.h"
#include "support/TestOptions.h"

TEST(CString, EmptyStringConvertsToEmptyTextNeverNull)
{
    CString empty;
    const char* psz = empty;
    ASSERT_NE(nullptr, psz);
    EXPECT_STREQ("", psz);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(0, empty.GetLength());

    CString fromNull(static_cast<const char*>(NULL));
    EXPECT_STREQ("", static_cast<const char*>(fromNull));
}

TEST(CString, CopiesAreIndependent)
{
    CString original("C:\\Apps");
    CString copy(original);
    copy += "\\Setup";
    EXPECT_STREQ("C:\\Apps", original);
    EXPECT_STREQ("C:\\Apps\\Setup", copy);

    CString assigned;
    assigned = copy;
    copy = "other";
    EXPECT_STREQ("C:\\Apps\\Setup", assigned);
    EXPECT_EQ(13, assigned.GetLength());
}

TEST(CString, ConcatenatesInEveryOrder)
{
    CString a("ab");
    EXPECT_STREQ("\"ab\"", "\"" + a + "\"");
    EXPECT_STREQ("abab", a + a);
    a += a;
    EXPECT_STREQ("abab", a);
}

TEST(CString, AssignsFromItsOwnText)
{
    CString text("prefix-tail");
    text = static_cast<const char*>(text) + 7;
    EXPECT_STREQ("tail", text);
}

TEST(CString, ComparesBytewiseAndCaseSensitively)
{
    CString reg("reg");
    EXPECT_TRUE(reg == "reg");
    EXPECT_TRUE(reg != "Reg");
    EXPECT_TRUE(reg != "reg ");
    EXPECT_LT(reg.Compare("regedit"), 0);
    EXPECT_GT(reg.Compare("REG"), 0);
}

TEST(CString, BufferTakesTextWrittenIntoIt)
{
    CString text("old");
    char* pszBuffer = text.GetBuffer(10);
    ASSERT_NE(nullptr, pszBuffer);
    strcpy(pszBuffer, "new text");
    text.ReleaseBuffer();
    EXPECT_STREQ("new text", text);
    EXPECT_EQ(8, text.GetLength());
}

TEST(CStringReplace, ReplacesEveryOccurrenceLeftToRight)
{
    CString text("%InstallDir%\\a;%InstallDir%\\b");
    EXPECT_EQ(2, text.Replace("%InstallDir%", "C:\\Apps\\Tool"));
    EXPECT_STREQ("C:\\Apps\\Tool\\a;C:\\Apps\\Tool\\b", text);
}

TEST(CStringReplace, OccurrencesDoNotOverlap)
{
    CString text("aaaaa");
    EXPECT_EQ(2, text.Replace("aa", "b"));
    EXPECT_STREQ("bba", text);
}

TEST(CStringReplace, InsertedTextIsNotSearchedAgain)
{
    CString text("%X%-%X%");
    EXPECT_EQ(2, text.Replace("%X%", "%X%%X%"));
    EXPECT_STREQ("%X%%X%-%X%%X%", text);
}

TEST(CStringReplace, MatchesExactCaseOnly)
{
    CString text("%installdir% %INSTALLDIR% %InstallDir %InstallDir");
    EXPECT_EQ(0, text.Replace("%InstallDir%", "X"));
    EXPECT_STREQ("%installdir% %INSTALLDIR% %InstallDir %InstallDir", text);
}

TEST(CStringReplace, ReplacesWithNothingAndAtTheEnds)
{
    CString text("%T%middle%T%");
    EXPECT_EQ(2, text.Replace("%T%", ""));
    EXPECT_STREQ("middle", text);

    CString empty;
    EXPECT_EQ(0, empty.Replace("%T%", "x"));
    CString unchanged("abc");
    EXPECT_EQ(0, unchanged.Replace("", "x"));
    EXPECT_STREQ("abc", unchanged);
}

// In Shift-JIS the second byte of a double-byte character can be a backslash (0x5C), as in
// 0x95 0x5C. A path separator token must not match there.
TEST(CStringReplace, NeverMatchesOnATrailByteOfTheCodePage)
{
    const unsigned kShiftJis = 932;
    CString text("C:\\\x95\x5CSetup\\\x95\x5C");
    EXPECT_EQ(2, text.Replace("\\", "/", kShiftJis));
    EXPECT_STREQ("C:/\x95\x5CSetup/\x95\x5C", text);

    CString same("C:\\\x95\x5CSetup");
    EXPECT_EQ(1, same.Replace("\\", "/", kShiftJis));

    CString token("\x95\x5CSetup");
    EXPECT_EQ(0, token.Replace("\x5CSetup", "!", kShiftJis));
    EXPECT_STREQ("\x95\x5CSetup", token);
}

// In UTF-8 (the program's code page on Windows 10 1903 and later) no byte of a character of
// several bytes is ASCII, so there are no lead bytes to step over: a token right after such a
// character matches, which it would not if the character's bytes were taken two at a time.
TEST(CStringReplace, SingleByteAndUtf8CodePagesMatchEveryByte)
{
    const unsigned kWesternEuropean = 1252;
    CString text("C:\\\x95\x5CSetup");
    EXPECT_EQ(2, text.Replace("\\", "/", kWesternEuropean));
    EXPECT_STREQ("C:/\x95/Setup", text);

    CString utf8("\xE8\xA3\xBD%InstallDir%\xF0\x9F\x98\x80\\\xE0\xA4\x95\\");
    EXPECT_EQ(1, utf8.Replace("%InstallDir%", "C:\\Apps", CP_UTF8));
    EXPECT_EQ(3, utf8.Replace("\\", "/", CP_UTF8));
    EXPECT_STREQ("\xE8\xA3\xBD"
                 "C:/Apps\xF0\x9F\x98\x80/\xE0\xA4\x95/",
                 utf8);
}

TEST(CStringReplace, LoneLeadByteAtTheEndIsKept)
{
    const unsigned kShiftJis = 932;
    CString text("a\\\x95");
    EXPECT_EQ(1, text.Replace("\\", "/", kShiftJis));
    EXPECT_STREQ("a/\x95", text);
}

// The default code page is the system's: a trail byte that is a backslash is stepped over under
// Shift-JIS (932) and matched under a single-byte code page. The string tests run a second time
// with --expect-double-byte where the system code page is double-byte (under Wine, a Japanese
// locale), so that a machine where that did not take fails here instead of quietly testing a
// single-byte code page twice.
TEST(CStringReplace, SystemCodePageIsTheDefault)
{
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    if (ExpectDoubleByteCodePage()) {
        ASSERT_EQ(2u, info.MaxCharSize)
            << "the system code page, " << GetACP() << ", is not a double-byte one";
    }
    CString text("C:\\\x95\x5CSetup");
    if (GetACP() == 932) {
        EXPECT_EQ(1, text.Replace("\\", "/"));
        EXPECT_STREQ("C:/\x95\x5CSetup", text);
    } else {
        if (info.MaxCharSize != 1)
            GTEST_SKIP() << "a double-byte system code page other than 932: " << GetACP();
        EXPECT_EQ(2, text.Replace("\\", "/"));
        EXPECT_STREQ("C:/\x95/Setup", text);
    }
}

TEST(CString, EmptyingShowsNoTrailOfTheOldText)
{
    CString assigned("abc");
    assigned = "";
    EXPECT_STREQ("", assigned);

    CString replaced("%InstallDir%");
    EXPECT_EQ(1, replaced.Replace("%InstallDir%", ""));
    EXPECT_STREQ("", replaced);
    EXPECT_EQ(0, replaced.GetLength());

    CString emptied("abc");
    emptied.Empty();
    EXPECT_STREQ("", emptied);
    EXPECT_TRUE(emptied.IsEmpty());
}

// A string that cannot hold its text must not carry on without it: the process ends as it does
// when operator new finds no memory, so that no text cut short is ever used.
TEST(CStringDeathTest, TextTooLongToHoldEndsTheProcessWithNoMemory)
{
    EXPECT_EXIT(
        {
            CString text("abc");
            text.GetBuffer(INT_MAX);
        },
        [](int nExitCode) { return static_cast<DWORD>(nExitCode) == STATUS_NO_MEMORY; }, "");
}
