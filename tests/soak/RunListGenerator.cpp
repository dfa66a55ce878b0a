#include "soak/RunListGenerator.h"

#include <string.h>

#include "support/TestRegistry.h"

namespace {

// The read size and the words the program is meant to use, written out here rather than taken
// from its headers, so that what the soak expects does not move with the code it checks.
const DWORD kTextReadSize = 4095;
const size_t kLocationReadSize = MAX_PATH;
const char kExecutableWord[] = "executable";
const char kRegWord[] = "reg";

const size_t kMostSubkeys = 1000;
const size_t kLargestValue = 100000;
// All values of one run list together: a thousand steps of 100 KB values each would make every
// run list take minutes to write and compare, and find nothing that one such value does not.
const size_t kByteBudget = 4u << 20;

// A command that starts this way names a program in a folder that does not exist, so a step
// whose setup folder exists can keep it whole and still start nothing.
const char kMissingFolderCommand[] = "%InstallDir%\\fi-missing\\";

// The two real tokens come first, and twice, so that they are the pieces drawn most often.
const char* const kPlaceholderPieces[] = {"%InstallDir%",
                                          "%QuillmereDir%",
                                          "%InstallDir%",
                                          "%QuillmereDir%",
                                          "%InstallDir",
                                          "InstallDir%",
                                          "%QuillmereDir",
                                          "QuillmereDir%",
                                          "%%",
                                          "%",
                                          "%installdir%",
                                          "%QUILLMEREDIR%",
                                          "%%InstallDir%%",
                                          "%Install%QuillmereDir%Dir%",
                                          "%Quillmere%InstallDir%Dir%",
                                          "%InstallDir%%QuillmereDir%",
                                          "\\",
                                          " ",
                                          "x"};

const char* const kTimeouts[] = {"30",
                                 "0",
                                 "-5",
                                 " 12abc",
                                 "0x10",
                                 "99999999999999999999",
                                 "-99999999999999999999",
                                 "2147483647",
                                 "2147483648"};

// Characters outside any single ANSI code page, one to four bytes in UTF-8: Latin, Greek,
// Devanagari, CJK and one beyond the Basic Multilingual Plane.
const char* const kWideCharacters[] = {"\xC3\xA9",     "\xCE\xA9",     "\xE0\xA4\x95",
                                       "\xE8\xA3\xBD", "\xE5\x93\x81", "\xF0\x9F\x98\x80"};

bool IsStringType(DWORD dwType)
{
    return dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
}

bool EqualsIgnoringCase(const std::string& left, const char* pszRight)
{
    const size_t cchRight = strlen(pszRight);
    if (left.size() != cchRight)
        return false;
    for (size_t i = 0; i < cchRight; ++i) {
        char a = left[i], b = pszRight[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

WrittenValue Value(const std::string& name, DWORD dwType, const std::string& data)
{
    WrittenValue value;
    value.name = name;
    value.dwType = dwType;
    value.data = data;
    return value;
}

// A word and its NUL, as a careful installer writes it.
std::string Terminated(const char* pszWord)
{
    return std::string(pszWord, strlen(pszWord) + 1);
}

} // namespace

const WrittenValue* FindValue(const std::vector<WrittenValue>& values, const char* pszName)
{
    for (const WrittenValue& value : values) {
        if (EqualsIgnoringCase(value.name, pszName))
            return &value;
    }
    return NULL;
}

size_t Utf8SequenceLength(unsigned char byte)
{
    return byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
}

// The bytes of text cut at its end keep only a last character that is whole: its first byte
// is found back over the continuation bytes, and tells how long it is.
size_t WholeCharactersLength(const std::string& text)
{
    size_t first = text.size();
    while (first > 0 && text.size() - first < 3 &&
           (static_cast<unsigned char>(text[first - 1]) & 0xC0) == 0x80)
        --first;
    if (first-- == 0)
        return text.size();
    return first + Utf8SequenceLength(static_cast<unsigned char>(text[first])) > text.size()
               ? first
               : text.size();
}

bool ReadAsText(const WrittenValue* pValue, DWORD cbBuffer, std::string* pText)
{
    if (pValue == NULL || pValue->data.size() > cbBuffer)
        return false;
    std::string text = pValue->data;
    if (text.size() == cbBuffer && text.find('\0') == std::string::npos) {
        text.resize(cbBuffer - 1);
        text.resize(WholeCharactersLength(text));
    }
    const size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    *pText = text;
    return true;
}

StepKind KindAsRead(const WrittenStep& step)
{
    std::string type;
    if (!ReadAsText(FindValue(step.values, "type"), kTextReadSize, &type))
        return kNoStep;
    if (type == kExecutableWord)
        return kExecutableStep;
    if (type == kRegWord)
        return kRegImportStep;
    return kNoStep;
}

RunListGenerator::RunListGenerator(const std::string& probePath, const std::string& locationDir)
    : m_probePath(probePath), m_locationDir(locationDir), m_random(0), m_bSetupDirExists(false),
      m_nStepPercent(0), m_bEveryStepTyped(false), m_nLaunchBudget(0), m_cbBudget(0)
{
}

WrittenRunList RunListGenerator::Write(uint64_t seed)
{
    RemoveProgramKeys();
    m_random = SeededRandom(seed);
    m_cbBudget = kByteBudget;

    WrittenRunList list;
    list.seed = seed;
    WriteProductKey();
    WriteDisplayKey(&list);
    // Now and then the product's entry has no run list under it at all.
    if (m_random.Chance(1, 30))
        return list;
    HKEY hManifestKey;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ManifestKeyPath().c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                        NULL, &hManifestKey, NULL) != ERROR_SUCCESS)
        return list;
    list.bManifestKey = true;
    WriteManifest(hManifestKey, &list);
    RegCloseKey(hManifestKey);
    return list;
}

// The product's entry is checked through snapshots, so what is written here is not recorded.
void RunListGenerator::WriteProductKey()
{
    HKEY hProductKey;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ProductKeyPath().c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                        NULL, &hProductKey, NULL) != ERROR_SUCCESS)
        return;
    Put(hProductKey, Value("DisplayVersion", REG_SZ, Terminated("4.2")), NULL);
    m_bSetupDirExists = false;
    const WrittenValue location = RandomInstallLocation();
    if (!location.name.empty())
        Put(hProductKey, location, NULL);
    // Programs start only where the setup folder exists; elsewhere no step costs a second.
    m_nLaunchBudget = m_bSetupDirExists ? static_cast<int>(m_random.Between(0, 2)) : 0;

    // A sibling of the run list that looks like a step: nothing may touch it.
    if (m_random.Chance(1, 3)) {
        HKEY hOther;
        if (RegCreateKeyExA(hProductKey, "Other\\01", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hOther,
                            NULL) == ERROR_SUCCESS) {
            Put(hOther, Value("type", REG_SZ, Terminated(kRegWord)), NULL);
            Put(hOther, Value("command", REG_SZ, Terminated("x.reg")), NULL);
            RegCloseKey(hOther);
        }
    }
    RegCloseKey(hProductKey);
}

// An install location that is absent, too long for the program's MAX_PATH read, full of
// placeholders, of the wrong type, or (about one run list in three) the real folder that lets
// steps start programs. The returned value has no name when none is to be written.
WrittenValue RunListGenerator::RandomInstallLocation()
{
    WrittenValue location = Value("InstallLocation", REG_SZ, "");
    switch (m_random.Below(10)) {
    case 0:
        location.name.clear();
        break;
    case 1:
    case 2: {
        const size_t cbLength = m_random.Chance(1, 2) ? m_random.Between(261, 300)
                                                      : m_random.Between(301, kLargestValue);
        location.data = m_random.Chance(1, 2) ? RandomPlaceholders(cbLength)
                                              : "C:\\" + RandomText(cbLength - 3);
        Terminate(location.dwType, &location.data);
        KeepWholeCharacters(&location.data);
        break;
    }
    case 3:
    case 4:
        location.data = RandomPlaceholders(m_random.Between(1, 259));
        Terminate(location.dwType, &location.data);
        break;
    case 5:
        // Either side of the read's size: 259 characters and a NUL fit, 260 do not, 260
        // without a NUL fit and lose their last.
        location.data = "C:\\" + RandomText(256 + m_random.Below(2));
        if (m_random.Chance(1, 2))
            location.data += '\0';
        break;
    case 6:
        location = RandomValue("InstallLocation", kAnyText);
        break;
    default: {
        m_bSetupDirExists = true;
        location.data = m_locationDir;
        switch (m_random.Below(5)) {
        case 0: // no terminating NUL
            break;
        case 1:
            location.dwType = REG_EXPAND_SZ;
            location.data += '\0';
            break;
        case 2: { // what follows the NUL is not read, while the whole fits the read
            const size_t cchRoom = location.data.size() < kLocationReadSize
                                       ? kLocationReadSize - location.data.size() - 1
                                       : 0;
            location.data += '\0' + RandomText(m_random.Below(cchRoom + 1));
            break;
        }
        default:
            location.data += '\0';
            break;
        }
        break;
    }
    }
    return location;
}

void RunListGenerator::WriteDisplayKey(WrittenRunList* pList)
{
    if (m_random.Chance(1, 10))
        return;
    HKEY hDisplayKey;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, DisplayKeyPath().c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                        NULL, &hDisplayKey, NULL) != ERROR_SUCCESS)
        return;
    pList->bDisplayKey = true;
    // The installer's own display values, which the run list's replace only when it has them.
    if (m_random.Chance(1, 2))
        Put(hDisplayKey, RandomValue(RandomValueName("DisplayName").c_str(), kAnyText), NULL);
    if (m_random.Chance(1, 2))
        Put(hDisplayKey, RandomValue(RandomValueName("DisplayIcon").c_str(), kAnyText), NULL);
    Put(hDisplayKey, Value("UninstallString", REG_SZ, Terminated("\"C:\\Apps\\uninst.exe\"")),
        NULL);
    if (m_random.Chance(1, 4)) {
        HKEY hSub;
        if (RegCreateKeyExA(hDisplayKey, "Sub", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hSub, NULL) ==
            ERROR_SUCCESS) {
            Put(hSub, Value("DisplayName", REG_SZ, Terminated("not this one")), NULL);
            RegCloseKey(hSub);
        }
    }
    RegCloseKey(hDisplayKey);
}

void RunListGenerator::WriteManifest(HKEY hManifestKey, WrittenRunList* pList)
{
    const char* const names[] = {"Title", "DisplayName", "DisplayIcon"};
    for (const char* pszName : names) {
        if (!m_random.Chance(3, 4))
            continue;
        WrittenValue value = RandomValue(RandomValueName(pszName).c_str(), kAnyText);
        if (strcmp(pszName, "Title") != 0) {
            // A display value is copied as text, whatever its type: bytes that are no UTF-8
            // would be changed on the way. Now and then it fills the read with no NUL and a
            // character of several bytes last, which the read must give up whole.
            if (m_random.Chance(1, 6)) {
                const char* pszLast = kWideCharacters[m_random.Below(3) + 3];
                value.dwType = REG_SZ;
                value.data = RandomText(kTextReadSize - strlen(pszLast)) + pszLast;
            }
            KeepWholeCharacters(&value.data);
        }
        Put(hManifestKey, value, &pList->manifestValues);
    }
    if (m_random.Chance(1, 4))
        Put(hManifestKey, RandomValue("Comment", kAnyText), &pList->manifestValues);

    size_t nSubkeys;
    m_nStepPercent = m_random.Between(20, 98);
    m_bEveryStepTyped = false;
    switch (m_random.Below(20)) {
    case 0:
    case 1:
    case 2:
        nSubkeys = 0;
        break;
    case 3:
    case 4:
        // Exactly as many steps as the program holds, or one more, unless steps that would
        // start too many programs lose their word.
        nSubkeys = m_random.Between(596, 598);
        m_nStepPercent = 100;
        m_bEveryStepTyped = true;
        break;
    case 5:
        nSubkeys = kMostSubkeys;
        break;
    case 6:
    case 7:
    case 8:
    case 9:
        nSubkeys = m_random.Between(21, 200);
        break;
    case 10:
    case 11:
    case 12:
        nSubkeys = m_random.Between(201, kMostSubkeys);
        break;
    default:
        nSubkeys = m_random.Between(1, 20);
        break;
    }
    for (size_t i = 0; i < nSubkeys; ++i)
        WriteStep(hManifestKey, pList);
}

void RunListGenerator::WriteStep(HKEY hManifestKey, WrittenRunList* pList)
{
    WrittenStep step;
    HKEY hStepKey;
    if (!CreateUniqueSubkey(hManifestKey, &step.keyName, &hStepKey))
        return;

    if (m_bEveryStepTyped || !m_random.Chance(1, 12))
        step.values.push_back(RandomType());
    // childprobe.exe is the one program started on purpose; where the setup folder is missing
    // it is named but never started.
    const bool bProbe =
        KindAsRead(step) == kExecutableStep &&
        (m_bSetupDirExists ? m_nLaunchBudget > 0 && m_random.Chance(1, 4) : m_random.Chance(1, 50));
    if (bProbe) {
        // A child that crashes is left out: the platform reports it on the test's output,
        // where it reads like a crash of the runner.
        const char* const arguments[] = {"--sleep 0", "--exit 3", "--exit 259"};
        step.values.push_back(Value("command", REG_SZ, Terminated(m_probePath.c_str())));
        step.values.push_back(
            Value("parameters", REG_SZ, Terminated(arguments[m_random.Below(3)])));
    } else {
        if (m_random.Chance(7, 8))
            step.values.push_back(RandomValue(RandomValueName("command").c_str(), kCommand));
        if (m_random.Chance(2, 3))
            step.values.push_back(RandomValue(RandomValueName("parameters").c_str(), kParameters));
    }
    if (m_random.Chance(1, 2))
        step.values.push_back(RandomValue(RandomValueName("timeout").c_str(), kTimeout));
    if (m_random.Chance(3, 4))
        step.values.push_back(RandomValue(RandomValueName("text").c_str(), kAnyText));
    if (m_random.Chance(1, 10))
        step.values.push_back(RandomValue(m_random.Chance(1, 2) ? "" : "Extra", kAnyText));

    if (Launches(step, bProbe)) {
        if (m_nLaunchBudget > 0) {
            --m_nLaunchBudget;
            ++pList->nLaunchingSteps;
        } else {
            // Over the budget: a word in the wrong case makes it no step at all.
            for (WrittenValue& value : step.values) {
                if (&value == FindValue(step.values, "type"))
                    value = Value(value.name, REG_SZ, Terminated("Reg"));
            }
        }
    }

    std::vector<WrittenValue> values;
    values.swap(step.values);
    for (const WrittenValue& value : values)
        Put(hStepKey, value, &step.values);
    // A subkey inside a step that is no step: it stays, like the step.
    if (KindAsRead(step) == kNoStep && m_random.Chance(1, 20)) {
        HKEY hChild;
        if (RegCreateKeyExA(hStepKey, "child", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hChild, NULL) ==
            ERROR_SUCCESS) {
            Put(hChild, Value("type", REG_SZ, Terminated(kExecutableWord)), NULL);
            RegCloseKey(hChild);
        }
    }
    RegCloseKey(hStepKey);
    pList->steps.push_back(step);
}

// Whether running the step starts a program. Nothing starts without the setup folder, which
// every step's program runs in; a step's own command never names an existing program but for
// childprobe.exe; an import starts regedit.exe unless its "command" reads as empty text.
bool RunListGenerator::Launches(const WrittenStep& step, bool bProbe) const
{
    if (!m_bSetupDirExists)
        return false;
    switch (KindAsRead(step)) {
    case kExecutableStep:
        return bProbe;
    case kRegImportStep: {
        std::string command;
        return !ReadAsText(FindValue(step.values, "command"), kTextReadSize, &command) ||
               !command.empty();
    }
    default:
        return false;
    }
}

bool RunListGenerator::CreateUniqueSubkey(HKEY hParent, std::string* pName, HKEY* phKey)
{
    // Names are compared without case, also for letters beyond ASCII (Greek capital and small
    // omega name one key): a name the registry already holds is drawn again.
    for (int nTry = 0; nTry < 20; ++nTry) {
        const std::string name = RandomKeyName();
        HKEY hKey;
        DWORD dwDisposition = 0;
        if (RegCreateKeyExA(hParent, name.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey,
                            &dwDisposition) != ERROR_SUCCESS)
            continue;
        if (dwDisposition == REG_CREATED_NEW_KEY) {
            *pName = name;
            *phKey = hKey;
            return true;
        }
        RegCloseKey(hKey);
    }
    return false;
}

WrittenValue RunListGenerator::RandomType()
{
    const std::string name = RandomValueName("type");
    if (m_random.Chance(m_nStepPercent, 100)) {
        const char* pszWord = m_random.Chance(1, 2) ? kExecutableWord : kRegWord;
        const std::string word = pszWord;
        // Mostly as a careful installer writes it; else in an encoding that still reads as
        // the word.
        switch (m_random.Below(20)) {
        case 0:
            return Value(name, REG_SZ, word);
        case 1:
            return Value(name, REG_EXPAND_SZ, Terminated(pszWord));
        case 2:
            return Value(name, REG_MULTI_SZ, word + '\0' + '\0');
        case 3:
            return Value(name, REG_BINARY, word);
        case 4:
            return Value(name, REG_NONE, Terminated(pszWord));
        case 5:
            return Value(name, REG_SZ, word + '\0' + RandomText(m_random.Between(1, 40)));
        case 6:
            return Value(name, REG_SZ, word + std::string(kTextReadSize - word.size(), '\0'));
        case 7:
            return Value(name, word.size() == 3 ? REG_DWORD : REG_QWORD,
                         word + std::string(word.size() == 3 ? 1 : 6, '\0'));
        default:
            return Value(name, REG_SZ, Terminated(pszWord));
        }
    }
    switch (m_random.Below(12)) {
    case 0:
        return Value(name, REG_SZ, Terminated("Executable"));
    case 1:
        return Value(name, REG_SZ, Terminated("EXECUTABLE"));
    case 2:
        return Value(name, REG_SZ, Terminated("Reg"));
    case 3:
        return Value(name, REG_SZ, Terminated("REG"));
    case 4:
        return Value(name, REG_SZ, Terminated("reg "));
    case 5:
        return Value(name, REG_SZ, Terminated(" executable"));
    case 6:
        return Value(name, REG_SZ, "");
    case 7:
        return Value(name, REG_SZ, std::string(1, '\0'));
    case 8: // fills the read without a NUL, so the read cuts its last byte
        return Value(name, REG_SZ,
                     kExecutableWord + std::string(kTextReadSize - strlen(kExecutableWord), 'x'));
    case 9: // the word, but one byte more than the read takes
        return Value(name, REG_SZ, kRegWord + std::string(kTextReadSize + 1 - 3, '\0'));
    case 10:
        return RandomValue(name.c_str(), kAnyText);
    default: {
        std::string data(4, '\0');
        for (char& ch : data)
            ch = static_cast<char>(m_random.Below(256));
        return Value(name, REG_DWORD, data);
    }
    }
}

WrittenValue RunListGenerator::RandomValue(const char* pszName, Role role)
{
    DWORD dwType;
    switch (m_random.Below(20)) {
    case 10:
    case 11:
        dwType = REG_EXPAND_SZ;
        break;
    case 12:
    case 13:
        dwType = REG_MULTI_SZ;
        break;
    case 14:
    case 15:
        dwType = REG_BINARY;
        break;
    case 16:
    case 17:
        dwType = REG_DWORD;
        break;
    case 18:
        dwType = REG_NONE;
        break;
    case 19:
        dwType = REG_QWORD;
        break;
    default:
        dwType = REG_SZ;
        break;
    }
    size_t cbLength;
    if (dwType == REG_DWORD && m_random.Chance(3, 4))
        cbLength = 4;
    else if (dwType == REG_QWORD && m_random.Chance(3, 4))
        cbLength = 8;
    else
        cbLength = RandomLength();

    WrittenValue value = Value(pszName, dwType, RandomContent(role, cbLength));
    if (IsStringType(dwType))
        Terminate(dwType, &value.data);
    MakeLaunchSafe(role, &value.data);
    if (IsStringType(dwType))
        KeepWholeCharacters(&value.data);
    return value;
}

std::string RunListGenerator::RandomContent(Role role, size_t cbLength)
{
    if (cbLength == 0)
        return std::string();
    std::string content;
    switch (role == kAnyText ? 2 + m_random.Below(3) : m_random.Below(5)) {
    case 0:
        if (role == kCommand)
            content = "fi-missing-" + RandomText(m_random.Between(1, 12)) + ".exe";
        else if (role == kParameters)
            content = "-q /log=%InstallDir%\\log.txt ";
        else
            content = kTimeouts[m_random.Below(sizeof kTimeouts / sizeof kTimeouts[0])];
        break;
    case 1:
        if (role == kCommand)
            content = kMissingFolderCommand + RandomText(m_random.Between(1, 12)) + ".exe";
        else
            content = "/x " + RandomPlaceholders(m_random.Between(1, 40));
        break;
    case 2:
        content = RandomPlaceholders(cbLength);
        break;
    case 3:
        content = RandomText(cbLength);
        break;
    default:
        content.resize(cbLength);
        for (char& ch : content)
            ch = static_cast<char>(m_random.Below(256));
        break;
    }
    if (content.size() > cbLength)
        content.resize(cbLength);
    else if (content.size() < cbLength)
        content += RandomText(cbLength - content.size());
    return content;
}

// Exactly cbLength bytes of UTF-8, about one character in eight from outside every ANSI code
// page.
std::string RunListGenerator::RandomText(size_t cbLength)
{
    const size_t nWide = sizeof kWideCharacters / sizeof kWideCharacters[0];
    std::string text;
    while (text.size() < cbLength) {
        const char* pszWide = kWideCharacters[m_random.Below(nWide)];
        if (m_random.Chance(1, 8) && text.size() + strlen(pszWide) <= cbLength)
            text += pszWide;
        else
            text += static_cast<char>(m_random.Between(0x20, 0x7E));
    }
    return text;
}

std::string RunListGenerator::RandomPlaceholders(size_t cchLength)
{
    const size_t nPieces = sizeof kPlaceholderPieces / sizeof kPlaceholderPieces[0];
    std::string text;
    // Most run lists repeat one token; the rest mix them.
    const bool bRepeat = m_random.Chance(1, 2);
    const char* pszRepeated = kPlaceholderPieces[m_random.Below(4)];
    while (text.size() < cchLength)
        text += bRepeat ? pszRepeated : kPlaceholderPieces[m_random.Below(nPieces)];
    text.resize(cchLength);
    return text;
}

std::string RunListGenerator::RandomKeyName()
{
    size_t cchName;
    switch (m_random.Below(20)) {
    case 0:
    case 1:
    case 2:
        cchName = 255; // the longest name a key can have
        break;
    case 3:
    case 4:
    case 5:
    case 6:
        cchName = m_random.Between(13, 254);
        break;
    default:
        cchName = m_random.Between(1, 12);
        break;
    }
    std::string name = RandomText(cchName);
    // A backslash would make a path of it.
    for (char& ch : name) {
        if (ch == '\\')
            ch = '/';
    }
    return name;
}

std::string RunListGenerator::RandomValueName(const char* pszName)
{
    std::string name = pszName;
    // Value names are found without regard to case.
    if (m_random.Chance(1, 20)) {
        for (char& ch : name) {
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return name;
}

// Mostly short; now and then empty, one byte, either side of the 4095-byte read, or up to
// 100 000 bytes while the run list's byte budget lasts.
size_t RunListGenerator::RandomLength()
{
    const size_t nDraw = m_random.Below(32);
    if (nDraw == 0)
        return 0;
    if (nDraw == 1)
        return 1;
    if (nDraw <= 4 && m_cbBudget > kTextReadSize + 1)
        return kTextReadSize - 3 + nDraw; // 4094, 4095, 4096
    if (nDraw == 5 && m_cbBudget > kLargestValue)
        return m_random.Between(kTextReadSize + 2, kLargestValue);
    if (nDraw <= 9 && m_cbBudget > kTextReadSize)
        return m_random.Between(41, kTextReadSize - 2);
    return m_random.Between(2, 40);
}

// Text values mostly end in a NUL (two for a list of strings); the rest end in a character.
void RunListGenerator::Terminate(DWORD dwType, std::string* pData)
{
    if (pData->empty())
        return;
    std::string& data = *pData;
    if (m_random.Chance(7, 10)) {
        data[data.size() - 1] = '\0';
        if (dwType == REG_MULTI_SZ && data.size() >= 2)
            data[data.size() - 2] = '\0';
    } else if (data[data.size() - 1] == '\0') {
        data[data.size() - 1] = 'x';
    }
}

// Where the setup folder exists, a step's command or parameters could start whatever program
// they happen to name (a two-letter command is a program's name often enough). A first
// character that no program name starts with keeps every such step from starting anything.
void RunListGenerator::MakeLaunchSafe(Role role, std::string* pData) const
{
    if (!m_bSetupDirExists || pData->empty())
        return;
    if (role == kCommand &&
        pData->compare(0, strlen(kMissingFolderCommand), kMissingFolderCommand) != 0)
        (*pData)[0] = '~';
    else if (role == kParameters)
        (*pData)[0] = '-';
}

// Bytes that begin no whole UTF-8 character (a cut one, or any byte at random) become ASCII,
// the length kept: text is written in the runner's code page, UTF-8, and anything else would
// reach the registry as a replacement character, not as written. The platform's own converter
// tells a whole character, as it does when the registry takes the text.
void RunListGenerator::KeepWholeCharacters(std::string* pData)
{
    std::string& data = *pData;
    for (size_t i = 0; i < data.size();) {
        const unsigned char byte = static_cast<unsigned char>(data[i]);
        const size_t cbChar = Utf8SequenceLength(byte);
        if (byte < 0x80 || (i + cbChar <= data.size() &&
                            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, &data[i],
                                                static_cast<int>(cbChar), NULL, 0) != 0)) {
            i += cbChar;
        } else {
            data[i] = static_cast<char>(0x20 + (byte & 0x3F));
            ++i;
        }
    }
}

void RunListGenerator::Put(HKEY hKey, const WrittenValue& value, std::vector<WrittenValue>* pValues)
{
    // The platform counts a NUL in for text whose count left it out when the byte after the
    // data is one; a byte after the data that is not keeps the data exactly as written.
    const std::string buffer = value.data + 'G';
    if (RegSetValueExA(hKey, value.name.c_str(), 0, value.dwType,
                       reinterpret_cast<const BYTE*>(buffer.data()),
                       static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS)
        return;
    m_cbBudget -= value.data.size() < m_cbBudget ? value.data.size() : m_cbBudget;
    if (pValues != NULL)
        pValues->push_back(value);
}
