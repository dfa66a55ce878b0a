#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Paths of the keys the program uses, under HKEY_LOCAL_MACHINE.
std::string ProductKeyPath();
std::string ManifestKeyPath();
std::string DisplayKeyPath();
std::string StepKeyPath(const std::string& name);

void CreateKey(const std::string& path);
bool KeyExists(const std::string& path);
void DeleteKeyTree(const std::string& path);
void SetRawValue(const std::string& path, const char* pszName, DWORD dwType, const void* pData,
                 DWORD cbData);
void SetStringValue(const std::string& path, const char* pszName, const std::string& value,
                    DWORD dwType = REG_SZ);
// The value's bytes and type; false when it cannot be read.
bool ReadRawValue(const std::string& path, const char* pszName, std::string* pData,
                  DWORD* pdwType = NULL);
// The value as text without its terminating NUL; "<absent>" when it cannot be read.
std::string ReadStringValue(const std::string& path, const char* pszName);
// The same through the wide-character functions, where no character is lost to a code page.
void SetWideValue(const std::string& path, const char* pszName, const std::wstring& value);
std::wstring ReadWideValue(const std::string& path, const char* pszName);
std::vector<std::string> SubkeyNames(const std::string& path);

// Every key and value under a key, as "value name|type|hex data" lines in a map from key path;
// for comparing a whole tree before and after a run. Each subkey is opened by its own name from
// its parent's handle: Wine's 8-bit registry calls refuse a whole path longer than MAX_PATH,
// which deep keys of long names make. A value or key that cannot be read shows as an error line,
// so that it differs from any other snapshot.
typedef std::map<std::string, std::string> RegistrySnapshot;
RegistrySnapshot SnapshotTree(const std::string& path);

// One step subkey; a NULL argument leaves that value out.
void WriteStep(const std::string& name, const char* pszType, const char* pszCommand,
               const char* pszParameters = NULL, const char* pszText = NULL,
               const char* pszTimeout = NULL);
void SetInstallLocation(const std::string& location);

// A fixture that owns the program's keys: they are removed before and after each test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

void RemoveProgramKeys();
