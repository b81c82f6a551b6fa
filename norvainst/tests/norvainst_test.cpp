#include "norvainst.h"

#include <hostwin/control.h>

#include <gtest/gtest.h>

namespace {

class Norvainst : public ::testing::Test {
 protected:
  void SetUp() override { hostwin::Reset(); }
  void TearDown() override { EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles(); }

  static hostwin::services::Config Existing() {
    hostwin::services::Config c;
    c.name = "NORVA";
    c.displayName = "Other";
    c.type = SERVICE_WIN32_OWN_PROCESS;
    c.startType = SERVICE_DEMAND_START;
    c.imagePath = "D:\\elsewhere.exe";
    return c;
  }
};

// Each case is the process's whole command line, program name first.
TEST_F(Norvainst, CommandLines) {
  const std::vector<std::string> install = {"OpenSCManagerA", "GetSystemDirectoryA", "CreateServiceA",
                                            "CloseServiceHandle", "CloseServiceHandle"};
  const std::vector<std::string> remove = {"OpenSCManagerA", "OpenServiceA", "DeleteService", "CloseServiceHandle",
                                           "CloseServiceHandle"};
  const std::vector<std::string> nothing = {"OpenSCManagerA", "CloseServiceHandle"};
  struct Case {
    const char* commandLine;
    bool existsBefore;
    bool existsAfter;
    std::vector<std::string> serviceCalls;
  } cases[] = {
      {"norvainst i", false, true, install},
      {"norvainst install", false, true, install},
      {"norvainst i", true, true, {"OpenSCManagerA", "GetSystemDirectoryA", "CreateServiceA", "CloseServiceHandle"}},
      {"norvainst u", true, false, remove},
      {"norvainst uninstall", true, false, remove},
      {"norvainst u", false, false, {"OpenSCManagerA", "OpenServiceA", "CloseServiceHandle"}},
      {"norvainst I", false, false, nothing},
      {"norvainst U", true, true, nothing},
      {"norvainst x", false, false, nothing},
      {"norvainst", true, true, nothing},
      {"norvainst \t ", true, true, nothing},
      {"", true, true, nothing},
      // A quoted program name ends at its closing quote, blank or not after it.
      {"\"C:\\dir\\norvainst.exe\"i", false, true, install},
      {"\"C:\\dir\\norvainst.exe\" i", false, true, install},
      {"\"C:\\my dir\\norvainst.exe\"u", true, false, remove},
      {"\"C:\\my dir\\norvainst.exe\" \t u", true, false, remove},
      // Without its closing quote the whole line is the program name.
      {"\"C:\\dir\\norvainst.exe i", false, false, nothing},
      // Tabs are blanks: they end an unquoted name and are skipped after it.
      {"C:\\dir\\norvainst.exe\ti", false, true, install},
      {"norvainst\t\tu", true, false, remove},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << " [" << c.commandLine << "]");
    hostwin::Reset();
    if (c.existsBefore) hostwin::services::Add(Existing());
    EXPECT_EQ(RunNorvainst(c.commandLine), 0);
    EXPECT_EQ(hostwin::services::Exists("NORVA"), c.existsAfter);
    std::vector<std::string> calls;
    for (const hostwin::Call& call : hostwin::Calls()) calls.push_back(call.fn);
    EXPECT_EQ(calls, c.serviceCalls);
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
    // An existing registration is never changed by an install.
    if (c.existsBefore && c.existsAfter) {
      EXPECT_EQ(hostwin::services::Find("NORVA")->imagePath, "D:\\elsewhere.exe");
    }
  }
}

TEST_F(Norvainst, InstallUsesTheServiceSettings) {
  hostwin::SetSystemDirectory("E:\\WINNT\\system32");
  ASSERT_EQ(RunNorvainst("norvainst i"), 0);
  const hostwin::services::Config* c = hostwin::services::Find("NORVA");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->name, "NORVA");
  EXPECT_EQ(c->displayName, "NORVA");
  EXPECT_EQ(c->type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(c->startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(c->errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(c->imagePath, "E:\\WINNT\\system32\\norva.exe");
  EXPECT_FALSE(c->hasLoadOrderGroup);
  EXPECT_FALSE(c->wantsTag);
  EXPECT_FALSE(c->hasDependencies);
  EXPECT_EQ(c->account, "");  // LocalSystem
  EXPECT_FALSE(c->hasPassword);
  EXPECT_EQ(hostwin::CallsOf("OpenSCManagerA")[0].args, "(null)|(null)|983103");  // SC_MANAGER_ALL_ACCESS
  EXPECT_EQ(hostwin::CallsOf("CreateServiceA")[0].args, "NORVA|E:\\WINNT\\system32\\norva.exe|983551");
}

TEST_F(Norvainst, ManagerThatCannotBeOpened) {
  hostwin::services::SetManagerOpenError(ERROR_ACCESS_DENIED);
  for (const char* line : {"norvainst i", "norvainst u", ""}) {
    SCOPED_TRACE(line);
    hostwin::ClearCalls();
    EXPECT_EQ(RunNorvainst(line), -1);
    EXPECT_EQ(hostwin::Calls().size(), 1u);  // nothing after the failed open
  }
}

TEST_F(Norvainst, RemovingAServiceStillHeldOpenMarksIt) {
  hostwin::services::Add(Existing());
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE held = OpenServiceA(manager, "NORVA", SERVICE_ALL_ACCESS);
  EXPECT_EQ(RunNorvainst("norvainst u"), 0);
  ASSERT_TRUE(hostwin::services::Exists("NORVA"));
  EXPECT_TRUE(hostwin::services::Find("NORVA")->markedForDelete);
  EXPECT_EQ(RunNorvainst("norvainst i"), 0);  // a marked service cannot be created again yet
  EXPECT_EQ(hostwin::services::Find("NORVA")->imagePath, "D:\\elsewhere.exe");
  CloseServiceHandle(held);
  CloseServiceHandle(manager);
  EXPECT_FALSE(hostwin::services::Exists("NORVA"));
}

// The image path and its terminator must fit 260 characters; a longer system
// directory registers nothing and still ends with 0.
TEST_F(Norvainst, SystemDirectoryLengths) {
  struct Case {
    std::size_t dirLength;
    bool installed;
  } cases[] = {{249, true}, {250, false}, {259, false}, {300, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dirLength);
    hostwin::Reset();
    std::string dir = "C:\\" + std::string(c.dirLength - 3, 'd');
    hostwin::SetSystemDirectory(dir);
    EXPECT_EQ(RunNorvainst("norvainst i"), 0);
    EXPECT_EQ(hostwin::services::Exists("NORVA"), c.installed);
    if (c.installed) {
      EXPECT_EQ(hostwin::services::Find("NORVA")->imagePath, dir + "\\norva.exe");
    }
  }
}

TEST_F(Norvainst, FailuresAfterTheManagerOpensStillEndWithZero) {
  for (const char* fn : {"GetSystemDirectoryA", "CreateServiceA", "OpenServiceA", "DeleteService", "CloseServiceHandle"}) {
    for (const char* line : {"norvainst i", "norvainst u"}) {
      SCOPED_TRACE(std::string(fn) + " " + line);
      hostwin::Reset();
      const bool install = std::string(line) == "norvainst i";
      if (!install) hostwin::services::Add(Existing());
      hostwin::FailAll(fn, ERROR_ACCESS_DENIED);
      EXPECT_EQ(RunNorvainst(line), 0);
      EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
      if (install) {
        const bool created = std::string(fn) != "GetSystemDirectoryA" && std::string(fn) != "CreateServiceA";
        EXPECT_EQ(hostwin::services::Exists("NORVA"), created);
      }
    }
  }
}

}  // namespace
