// Registry reads of the about box, against values written into the machine's registry.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "platform/registry_win.h"
#include "support/case_name.h"

namespace quorvale::testing {
namespace {

constexpr const char* kKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

// Test values live beside whatever the key holds and are removed afterwards, with the key
// itself when the test made it.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, &disposition);
    if (result != ERROR_SUCCESS) GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE (error " << result << ")";
    created_ = disposition == REG_CREATED_NEW_KEY;
  }
  void TearDown() override {
    if (key_ == nullptr) return;
    for (const char* name : {"QuorvaleTestText", "QuorvaleTestNumber", "QuorvaleTestBinary", "QuorvaleTestLong",
                             "QuorvaleTestEmpty", "QuorvaleTestFolder"}) {
      RegDeleteValueA(key_, name);
    }
    RegCloseKey(key_);
    if (created_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
  }
  void SetValue(const char* name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
  }
  void SetText(const char* name, const std::string& text) { SetValue(name, REG_SZ, text.c_str(), text.size() + 1); }

  HKEY key_ = nullptr;
  bool created_ = false;
};

TEST_F(RegistryTest, TextValueAsStored) {
  SetText("QuorvaleTestText", "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe");
  std::string out = "previous";
  ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "QuorvaleTestText", &out));
  EXPECT_EQ(out, "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe");

  SetText("QuorvaleTestEmpty", "");
  ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "QuorvaleTestEmpty", &out));
  EXPECT_EQ(out, "");
}

struct NumberCase {
  const char* name;
  DWORD value;
  const char* text;
};
void PrintTo(const NumberCase& c, std::ostream* out) { *out << c.name; }

class RegistryNumberTest : public RegistryTest, public ::testing::WithParamInterface<NumberCase> {};

// A number comes back as "&h" and its bytes from the last, each without a leading zero. The
// NUL cut that ends a string applies to a number's bytes too: a zero top byte goes.
TEST_P(RegistryNumberTest, NumberAsHexadecimalBytes) {
  const NumberCase& c = GetParam();
  SetValue("QuorvaleTestNumber", REG_DWORD, &c.value, sizeof c.value);
  std::string out;
  ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "QuorvaleTestNumber", &out));
  EXPECT_EQ(out, c.text);
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryNumberTest,
                         ::testing::Values(NumberCase{"TwoDigitBytes", 0x12345678, "&h12345678"},
                                           NumberCase{"OneDigitBytes", 0x12030405, "&h12345"},
                                           NumberCase{"ZeroTopByte", 0x0001A2B3, "&h1A2B3"},
                                           NumberCase{"Zero", 0, "&h000"},
                                           NumberCase{"ZeroMiddleBytes", 0xFF00000F, "&hFF00F"}),
                         CaseName());

TEST_F(RegistryTest, OtherTypesReadButLeaveTheOutputAlone) {
  const unsigned char bytes[] = {1, 2, 3};
  SetValue("QuorvaleTestBinary", REG_BINARY, bytes, sizeof bytes);
  std::string out = "previous";
  EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "QuorvaleTestBinary", &out));
  EXPECT_EQ(out, "previous");
}

TEST_F(RegistryTest, MissingOrTooLongValuesFail) {
  std::string out = "previous";
  EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "QuorvaleTestAbsent", &out));
  EXPECT_EQ(out, "");

  out = "previous";
  EXPECT_FALSE(
      ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvale Absent Key", "QuorvaleTestText", &out));
  EXPECT_EQ(out, "");

  // The value does not fit the 1024 bytes read.
  SetText("QuorvaleTestLong", std::string(1100, 'x'));
  out = "previous";
  EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, "QuorvaleTestLong", &out));
  EXPECT_EQ(out, "");
}

// The registered path is taken as it stands; else the registered folder, when it holds the
// tool; else nothing.
TEST_F(RegistryTest, TheSystemInformationToolIsFoundWhereItIsRegistered) {
  char temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string folder = std::string(temp) + "quorvale-msinfo";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string tool = folder + "\\MSINFO32.EXE";
  SystemInfoPlaces places{kKey, "QuorvaleTestText", kKey, "QuorvaleTestFolder"};
  EXPECT_EQ(FindSystemInfoTool(places), "");
  SetText("QuorvaleTestFolder", folder);
  EXPECT_EQ(FindSystemInfoTool(places), "");
  CloseHandle(CreateFileA(tool.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(FindSystemInfoTool(places), tool);
  SetText("QuorvaleTestText", "C:\\gone\\msinfo32.exe");
  EXPECT_EQ(FindSystemInfoTool(places), "C:\\gone\\msinfo32.exe");
  DeleteFileA(tool.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace quorvale::testing
