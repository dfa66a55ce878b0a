#include "support/TestRegistry.h"

#include <stdio.h>

#include <vector>

#include "support/InstallerNames.h"
#include "support/TestPaths.h"

std::string ProductKeyPath()
{
    return installer::kProductKey;
}
std::string ManifestKeyPath()
{
    return installer::kRunListKey;
}
std::string DisplayKeyPath()
{
    return installer::kDisplayKey;
}
std::string StepKeyPath(const std::string& name)
{
    return ManifestKeyPath() + "\\" + name;
}

void CreateKey(const std::string& path)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &hKey, NULL))
        << path;
    RegCloseKey(hKey);
}

bool KeyExists(const std::string& path)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

void DeleteKeyTree(const std::string& path)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

void SetRawValue(const std::string& path, const char* pszName, DWORD dwType, const void* pData,
                 DWORD cbData)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &hKey, NULL))
        << path;
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData))
        << path << " " << pszName;
    RegCloseKey(hKey);
}

void SetStringValue(const std::string& path, const char* pszName, const std::string& value,
                    DWORD dwType)
{
    SetRawValue(path, pszName, dwType, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool ReadRawValue(const std::string& path, const char* pszName, std::string* pData, DWORD* pdwType)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD dwType = 0, cbData = 0;
    LONG lResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, NULL, &cbData);
    std::string data(cbData, '\0');
    if (lResult == ERROR_SUCCESS && cbData != 0)
        lResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, reinterpret_cast<BYTE*>(&data[0]),
                                   &cbData);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
        return false;
    data.resize(cbData);
    *pData = data;
    if (pdwType != NULL)
        *pdwType = dwType;
    return true;
}

std::string ReadStringValue(const std::string& path, const char* pszName)
{
    std::string data;
    if (!ReadRawValue(path, pszName, &data))
        return "<absent>";
    while (!data.empty() && data[data.size() - 1] == '\0')
        data.resize(data.size() - 1);
    return data;
}

void SetWideValue(const std::string& path, const char* pszName, const std::wstring& value)
{
    const std::wstring name = Wide(pszName);
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), name.c_str(), REG_SZ,
                              value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))))
        << path << "\\" << pszName;
}

std::wstring ReadWideValue(const std::string& path, const char* pszName)
{
    WCHAR szValue[4096];
    DWORD cbValue = sizeof szValue;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), Wide(pszName).c_str(), RRF_RT_REG_SZ,
                     NULL, szValue, &cbValue) != ERROR_SUCCESS)
        return L"<absent>";
    return szValue;
}

std::vector<std::string> SubkeyNames(const std::string& path)
{
    std::vector<std::string> names;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return names;
    char szName[1024];
    for (DWORD i = 0;; ++i) {
        DWORD cch = sizeof szName;
        if (RegEnumKeyExA(hKey, i, szName, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.push_back(std::string(szName, cch));
    }
    RegCloseKey(hKey);
    return names;
}

namespace {

std::string ErrorLine(const char* pszWhat, LONG lResult)
{
    char szLine[64];
    snprintf(szLine, sizeof szLine, "<%s error %ld>\n", pszWhat, lResult);
    return szLine;
}

std::string ValueLines(HKEY hKey)
{
    std::string lines;
    // Value names are at most 16383 characters; the data buffer grows for a larger value.
    std::vector<char> name(32768);
    std::vector<BYTE> data(1 << 16);
    for (DWORD dwIndex = 0;;) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        DWORD dwType = 0;
        const LONG lResult =
            RegEnumValueA(hKey, dwIndex, &name[0], &cchName, NULL, &dwType, &data[0], &cbData);
        if (lResult == ERROR_MORE_DATA && cbData > data.size()) {
            data.resize(cbData);
            continue;
        }
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult != ERROR_SUCCESS) {
            lines += ErrorLine("value", lResult);
            break;
        }
        char szType[16];
        snprintf(szType, sizeof szType, "%lu", static_cast<unsigned long>(dwType));
        std::string line = std::string(&name[0], cchName) + "|" + szType + "|";
        for (DWORD b = 0; b < cbData; ++b) {
            char szByte[3];
            snprintf(szByte, sizeof szByte, "%02x", data[b]);
            line += szByte;
        }
        lines += line + "\n";
        ++dwIndex;
    }
    return lines;
}

void SnapshotInto(HKEY hKey, const std::string& path, RegistrySnapshot* pSnapshot)
{
    std::string& lines = (*pSnapshot)[path];
    lines = ValueLines(hKey);
    char szName[1024];
    for (DWORD dwIndex = 0;; ++dwIndex) {
        DWORD cchName = sizeof szName;
        const LONG lResult = RegEnumKeyExA(hKey, dwIndex, szName, &cchName, NULL, NULL, NULL, NULL);
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult != ERROR_SUCCESS) {
            lines += ErrorLine("subkey list", lResult);
            break;
        }
        const std::string subkeyPath = path + "\\" + std::string(szName, cchName);
        HKEY hSubkey;
        const LONG lOpen = RegOpenKeyExA(hKey, szName, 0, KEY_READ, &hSubkey);
        if (lOpen != ERROR_SUCCESS) {
            (*pSnapshot)[subkeyPath] = ErrorLine("open", lOpen);
            continue;
        }
        SnapshotInto(hSubkey, subkeyPath, pSnapshot);
        RegCloseKey(hSubkey);
    }
}

} // namespace

RegistrySnapshot SnapshotTree(const std::string& path)
{
    RegistrySnapshot snapshot;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return snapshot;
    SnapshotInto(hKey, path, &snapshot);
    RegCloseKey(hKey);
    return snapshot;
}

void WriteStep(const std::string& name, const char* pszType, const char* pszCommand,
               const char* pszParameters, const char* pszText, const char* pszTimeout)
{
    const std::string path = StepKeyPath(name);
    CreateKey(path);
    if (pszType != NULL)
        SetStringValue(path, installer::kTypeName, pszType);
    if (pszCommand != NULL)
        SetStringValue(path, installer::kCommandName, pszCommand);
    if (pszParameters != NULL)
        SetStringValue(path, installer::kParametersName, pszParameters);
    if (pszText != NULL)
        SetStringValue(path, installer::kTextName, pszText);
    if (pszTimeout != NULL)
        SetStringValue(path, installer::kTimeoutName, pszTimeout);
}

void SetInstallLocation(const std::string& location)
{
    SetStringValue(ProductKeyPath(), installer::kInstallLocationName, location);
}

void RemoveProgramKeys()
{
    DeleteKeyTree(ProductKeyPath());
    DeleteKeyTree(DisplayKeyPath());
}

void RegistryTest::SetUp()
{
    RemoveProgramKeys();
}

void RegistryTest::TearDown()
{
    RemoveProgramKeys();
}
