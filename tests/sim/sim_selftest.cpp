// The simulated NT checked against the NT behaviour the agent's tests rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim.h"

namespace {

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

std::string Cwd() {
  char buffer[300];
  const nt::u32 length = nt::GetCurrentDirectoryA(sizeof buffer, buffer);
  return std::string(buffer, length);
}

// Attributes, or the error with the high bit set, so one table column holds both.
nt::u32 Probe(const char* path) {
  const nt::u32 attributes = nt::GetFileAttributesA(path);
  return attributes != nt::kInvalidFileAttributes ? attributes : 0x80000000U | nt::GetLastError();
}
constexpr nt::u32 Err(nt::u32 code) {
  return 0x80000000U | code;
}

TEST_F(SimTest, PathsResolveAsOnNt) {
  sim::AddDrive('D');
  sim::AddDrive('E');
  sim::SetDriveReady('E', false);
  sim::AddFile("C:\\Work\\Job.rec", "x");
  sim::AddFile("C:\\Work\\prog", "x");
  sim::AddFile("D:\\root.txt", "x");
  sim::AddFile("D:\\Other\\there.txt", "x");
  sim::AddDir("\\\\srv\\share\\dir");
  sim::AddFile("C:\\ro.txt", "x", nt::kAttributeReadOnly);
  sim::SetEnvironment({"=D:=D:\\Other"});
  sim::SetCurrentDir("C:\\Work");

  const std::string tooLong(260, 'a');
  struct Case {
    const char* path;
    nt::u32 expected;
  } cases[] = {
      {"job.rec", nt::kAttributeNormal},
      {".\\JOB.REC", nt::kAttributeNormal},
      {"..\\work\\job.rec", nt::kAttributeNormal},
      {"C:/work//job.rec", nt::kAttributeNormal},
      {"\\Work\\job.rec", nt::kAttributeNormal},
      {"C:job.rec", nt::kAttributeNormal},    // drive-relative on the current drive
      {"D:there.txt", nt::kAttributeNormal},  // against =D:
      {"prog.", nt::kAttributeNormal},        // trailing dot dropped
      {"C:\\..\\..\\Work", nt::kAttributeDirectory},
      {"\\\\SRV\\Share\\Dir", nt::kAttributeDirectory},
      {"C:\\", nt::kAttributeDirectory},
      {"C:\\ro.txt", nt::kAttributeReadOnly},
      {"missing.txt", Err(nt::kErrorFileNotFound)},
      {"nodir\\job.rec", Err(nt::kErrorPathNotFound)},
      {"job.rec\\x", Err(nt::kErrorPathNotFound)},
      {"job.rec\\", Err(sim::kErrorInvalidName)},
      {"*.rec", Err(sim::kErrorInvalidName)},
      {"", Err(nt::kErrorPathNotFound)},
      {"F:\\x", Err(nt::kErrorPathNotFound)},
      {"E:\\x", Err(nt::kErrorNotReady)},
      {"\\\\srv\\other\\x", Err(sim::kErrorBadNetName)},
      {"\\\\nohost\\share", Err(sim::kErrorBadNetPath)},
      {tooLong.c_str(), Err(sim::kErrorFilenameTooLong)},
  };
  for (const Case& c : cases) EXPECT_EQ(Probe(c.path), c.expected) << c.path;

  // Without =D: a drive-relative path starts at the drive's root.
  sim::SetEnvironment({});
  EXPECT_EQ(Probe("D:root.txt"), nt::kAttributeNormal);
}

TEST_F(SimTest, CurrentDirectorySwitchesAndReportsAsNtDoes) {
  sim::AddDrive('D');
  sim::AddDrive('E');
  sim::AddDir("C:\\Agent\\Sub");
  sim::AddDir("D:\\Work");
  sim::AddFile("C:\\Agent\\file.txt", "x");
  sim::SetDriveReady('E', false);

  ASSERT_TRUE(nt::SetCurrentDirectoryA("c:/agent"));
  EXPECT_EQ(Cwd(), "c:\\agent");  // the case the caller typed
  ASSERT_TRUE(nt::SetCurrentDirectoryA("Sub\\.."));
  EXPECT_EQ(Cwd(), "c:\\agent");
  ASSERT_TRUE(nt::SetCurrentDirectoryA("D:"));  // another drive, no =D:: its root
  EXPECT_EQ(Cwd(), "D:\\");
  ASSERT_TRUE(nt::SetCurrentDirectoryA("work\\"));
  EXPECT_EQ(Cwd(), "D:\\work");

  struct Failure {
    const char* path;
    nt::u32 error;
  } failures[] = {
      {"C:\\Agent\\none", nt::kErrorFileNotFound},
      {"C:\\none\\none", nt::kErrorPathNotFound},
      {"C:\\Agent\\file.txt", sim::kErrorDirectory},
      {"E:\\", nt::kErrorNotReady},
  };
  for (const Failure& f : failures) {
    EXPECT_FALSE(nt::SetCurrentDirectoryA(f.path)) << f.path;
    EXPECT_EQ(nt::GetLastError(), f.error) << f.path;
  }
  EXPECT_EQ(Cwd(), "D:\\work");

  // Sizes: the length when it fits with its terminator, else the size needed,
  // with the buffer untouched.
  const std::string dir = sim::CurrentDir();
  const nt::u32 n = static_cast<nt::u32>(dir.size());
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(nt::GetCurrentDirectoryA(0, nullptr), n + 1);
  EXPECT_EQ(nt::GetCurrentDirectoryA(n, buffer), n + 1);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(nt::GetCurrentDirectoryA(n + 1, buffer), n);
  EXPECT_STREQ(buffer, "D:\\work");

  // A directory too deep for MAX_PATH is refused; one that fits is kept.
  const std::string fits = "C:\\" + std::string(254, 'd');  // 257 characters
  const std::string tooDeep = fits + "\\ee";                // 260 characters of path text
  sim::AddDir(tooDeep);
  EXPECT_TRUE(nt::SetCurrentDirectoryA(fits.c_str()));
  EXPECT_FALSE(nt::SetCurrentDirectoryA("ee"));
  EXPECT_EQ(nt::GetLastError(), sim::kErrorFilenameTooLong);
}

TEST_F(SimTest, FindFirstFileMatchesFilesAndDirectories) {
  sim::AddFile("C:\\Jobs\\Flag.FLG", "");
  sim::AddFile("C:\\Jobs\\a1.txt", "");
  sim::AddDir("C:\\Jobs\\Sub");
  sim::AddDir("C:\\Empty");
  struct Case {
    const char* pattern;
    nt::u32 error;  // 0: found
  } cases[] = {
      {"C:\\jobs\\flag.flg", 0},
      {"C:\\jobs\\*.flg", 0},
      {"C:\\jobs\\a?.txt", 0},
      {"C:\\jobs\\sub", 0},  // a directory matches its own name
      {"C:\\jobs", 0},
      {"C:\\empty\\*", 0},  // "." is listed
      {"C:\\empty\\*.*", 0},
      {"C:\\*", 0},
      {"C:\\jobs\\a??.txt", nt::kErrorFileNotFound},
      {"C:\\empty\\*.txt", nt::kErrorFileNotFound},
      {"C:\\jobs\\", nt::kErrorFileNotFound},
      {"C:\\", nt::kErrorFileNotFound},
      {"", nt::kErrorFileNotFound},
      {"C:\\none\\*", nt::kErrorPathNotFound},
      {"C:\\j*\\flag.flg", sim::kErrorInvalidName},
  };
  for (const Case& c : cases) {
    nt::Handle search = nt::FindFirstFileA(c.pattern);
    if (c.error == 0) {
      EXPECT_NE(search, nt::kInvalidHandle) << c.pattern;
      EXPECT_TRUE(nt::FindClose(search)) << c.pattern;
    } else {
      EXPECT_EQ(search, nt::kInvalidHandle) << c.pattern;
      EXPECT_EQ(nt::GetLastError(), c.error) << c.pattern;
    }
  }
  EXPECT_EQ(sim::OpenHandleCount(), 0);
  EXPECT_FALSE(nt::CloseHandle(nt::FindFirstFileA("C:\\jobs\\*"))) << "not a kernel handle";
  EXPECT_EQ(sim::OpenHandleCount(), 1);
}

TEST_F(SimTest, OpenHandlesShareAndBlockAsOnNt) {
  sim::AddFile("C:\\job.rec", "0123456789");
  const nt::u32 shareBoth = nt::kShareRead | nt::kShareWrite;

  nt::Handle reader = nt::CreateFileA("C:\\JOB.rec", nt::kGenericRead, shareBoth, nt::kOpenExisting,
                                      nt::kAttributeNormal);
  ASSERT_NE(reader, nt::kInvalidHandle);
  EXPECT_EQ(nt::GetLastError(), 0U);

  // A writer sharing both ways may join; one that shares nothing may not.
  EXPECT_EQ(nt::CreateFileA("C:\\job.rec", nt::kGenericWrite, 0, nt::kOpenExisting, 0),
            nt::kInvalidHandle);
  EXPECT_EQ(nt::GetLastError(), nt::kErrorSharingViolation);
  sim::SetLastError(0);
  nt::Handle writer = nt::CreateFileA("C:\\job.rec", nt::kGenericWrite, shareBoth,
                                      nt::kCreateAlways, nt::kAttributeNormal);
  ASSERT_NE(writer, nt::kInvalidHandle);
  EXPECT_EQ(nt::GetLastError(), sim::kErrorAlreadyExists);
  EXPECT_EQ(sim::ReadFile("C:\\job.rec"), "") << "CREATE_ALWAYS truncates at once";

  nt::u32 done = 0;
  ASSERT_TRUE(nt::WriteFile(writer, "abcdef", 6, &done));
  EXPECT_EQ(done, 6U);
  ASSERT_TRUE(nt::SetFilePointer(writer, 2));
  ASSERT_TRUE(nt::SetEndOfFile(writer));
  char buffer[8] = {};
  ASSERT_TRUE(nt::ReadFile(reader, buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "ab") << "writes are visible to the other handle";
  ASSERT_TRUE(nt::ReadFile(reader, buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0U) << "end of file reads 0 bytes and succeeds";
  EXPECT_FALSE(nt::WriteFile(reader, "x", 1, &done));
  EXPECT_EQ(nt::GetLastError(), nt::kErrorAccessDenied);

  EXPECT_FALSE(nt::DeleteFileA("C:\\job.rec"));
  EXPECT_EQ(nt::GetLastError(), nt::kErrorSharingViolation);
  EXPECT_TRUE(nt::CloseHandle(reader));
  EXPECT_TRUE(nt::CloseHandle(writer));
  EXPECT_FALSE(nt::CloseHandle(writer));
  EXPECT_EQ(nt::GetLastError(), nt::kErrorInvalidHandle);
  EXPECT_EQ(sim::OpenHandleCount(), 0);
  // A writer that shares only reading keeps out anyone who does not share writing.
  writer = nt::CreateFileA("C:\\job.rec", nt::kGenericWrite, nt::kShareRead, nt::kOpenExisting, 0);
  EXPECT_EQ(nt::CreateFileA("C:\\job.rec", nt::kGenericRead, nt::kShareRead, nt::kOpenExisting, 0),
            nt::kInvalidHandle);
  EXPECT_EQ(nt::GetLastError(), nt::kErrorSharingViolation);
  EXPECT_TRUE(nt::CloseHandle(writer));
  EXPECT_TRUE(nt::DeleteFileA("c:\\job.rec"));
  EXPECT_FALSE(sim::Exists("C:\\job.rec"));

  sim::AddFile("C:\\ro.flg", "", nt::kAttributeReadOnly);
  sim::AddDir("C:\\dir.flg");
  struct Refusal {
    const char* path;
    nt::u32 error;
  } deletes[] = {{"C:\\ro.flg", nt::kErrorAccessDenied},
                 {"C:\\dir.flg", nt::kErrorAccessDenied},
                 {"C:\\*.flg", sim::kErrorInvalidName},
                 {"C:\\gone.flg", nt::kErrorFileNotFound},
                 {"C:\\gone\\x.flg", nt::kErrorPathNotFound}};
  for (const Refusal& r : deletes) {
    EXPECT_FALSE(nt::DeleteFileA(r.path)) << r.path;
    EXPECT_EQ(nt::GetLastError(), r.error) << r.path;
  }
  EXPECT_EQ(nt::CreateFileA("C:\\ro.flg", nt::kGenericWrite, 0, nt::kOpenExisting, 0),
            nt::kInvalidHandle);
  EXPECT_EQ(nt::GetLastError(), nt::kErrorAccessDenied);
  EXPECT_EQ(nt::CreateFileA("C:\\dir.flg", nt::kGenericRead, 0, nt::kOpenExisting, 0),
            nt::kInvalidHandle);
  EXPECT_EQ(nt::GetLastError(), nt::kErrorAccessDenied);
}

TEST_F(SimTest, FaultsCountFromArmingAndTheLogKeepsOrder) {
  sim::AddFile("C:\\job.rec", "");
  sim::AddFile("C:\\job.flg", "");
  nt::Handle file = nt::CreateFileA("C:\\job.rec", nt::kGenericWrite, 0, nt::kOpenExisting, 0);
  nt::u32 done = 0;
  ASSERT_TRUE(nt::WriteFile(file, "a", 1, &done));

  sim::FailCall(sim::Op::WriteFile, 2, nt::kErrorDiskFull);  // the second write from here
  sim::ShortWrite(3, 1);
  EXPECT_TRUE(nt::WriteFile(file, "b", 1, &done));
  EXPECT_FALSE(nt::WriteFile(file, "c", 1, &done));
  EXPECT_EQ(nt::GetLastError(), nt::kErrorDiskFull);
  EXPECT_EQ(done, 0U);
  EXPECT_TRUE(nt::WriteFile(file, "def", 3, &done));
  EXPECT_EQ(done, 1U);
  EXPECT_EQ(sim::ReadFile("C:\\job.rec"), "abd");

  sim::FailCall(sim::Op::CloseHandle, 1, nt::kErrorDiskFull);
  EXPECT_FALSE(nt::CloseHandle(file));
  EXPECT_EQ(sim::OpenHandleCount(), 0) << "a failing close still closes";
  EXPECT_TRUE(nt::DeleteFileA("C:\\job.flg"));

  using sim::Op;
  const std::vector<sim::Call> expected = {
      {Op::WriteFile, "C:\\job.rec"},   {Op::WriteFile, "C:\\job.rec"},
      {Op::WriteFile, "C:\\job.rec"},   {Op::WriteFile, "C:\\job.rec"},
      {Op::CloseHandle, "C:\\job.rec"}, {Op::DeleteFileA, "C:\\job.flg"}};
  EXPECT_EQ(sim::CallsOf({Op::WriteFile, Op::CloseHandle, Op::DeleteFileA}), expected);
  EXPECT_EQ(sim::CallCount(Op::WriteFile), 4);

  sim::FailCallsFrom(Op::HeapAlloc, 2, nt::kErrorNotEnoughMemory);
  void* first = nt::HeapAlloc(10);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(nt::HeapAlloc(1), nullptr);
  EXPECT_EQ(nt::HeapAlloc(1), nullptr);
  EXPECT_EQ(sim::HeapStats().outstandingBlocks, 1U);
  nt::HeapFree(first);
  EXPECT_EQ(sim::HeapStats().outstandingBytes, 0U);
  EXPECT_EQ(sim::HeapStats().peakBytes, 10U);

  EXPECT_THROW(sim::FailCall(Op::GetLastError, 1, 5), std::invalid_argument);
  EXPECT_THROW(sim::FailCall(Op::ReadFile, 0, 5), std::invalid_argument);
}

TEST_F(SimTest, CreateProcessRecordsTheLaunchAndRunsTheProgram) {
  sim::AddDir("C:\\Work");
  sim::AddDir("C:\\Tools\\prog.exe");
  sim::AddFile("C:\\Work\\data.exe", "random bytes");
  sim::AddProgram("C:\\Work\\Prog.exe", [](const sim::Launch& launch) {
    sim::RemovePath("C:\\Work\\data.exe");  // what a program may do while it runs
    return launch.commandLine == "prog a b" ? 3U : 99U;
  });
  sim::SetCurrentDir("C:\\work");
  sim::SetEnvironment({"PATH=C:\\Tools"});
  sim::SetLastError(1234);

  const std::string block =
      "\x01\x00\x00\x00\xC1"
      "\x03\x00\x00\x00";
  nt::StartupInfo startup;
  startup.cb = 68;
  startup.cbReserved2 = static_cast<nt::u16>(block.size());
  startup.lpReserved2 = reinterpret_cast<const nt::u8*>(block.data());
  char commandLine[] = "prog a b";
  nt::ProcessInformation process;
  ASSERT_TRUE(nt::CreateProcessA(".\\prog.exe", commandLine, true, 0, &startup, &process));
  EXPECT_EQ(nt::GetLastError(), 1234U) << "success leaves the last error";
  EXPECT_EQ(nt::WaitForSingleObject(process.hProcess, nt::kInfinite), nt::kWaitObject0);
  nt::u32 code = 0;
  ASSERT_TRUE(nt::GetExitCodeProcess(process.hProcess, &code));
  EXPECT_EQ(code, 3U);
  EXPECT_EQ(sim::OpenHandleCount(), 2);
  EXPECT_TRUE(nt::CloseHandle(process.hProcess));
  EXPECT_TRUE(nt::CloseHandle(process.hThread));
  EXPECT_FALSE(sim::Exists("C:\\Work\\data.exe"));

  ASSERT_EQ(sim::Launches().size(), 1U);
  const sim::Launch& launch = sim::Launches()[0];
  EXPECT_EQ(launch.applicationName, ".\\prog.exe");
  EXPECT_EQ(launch.resolvedPath, "C:\\Work\\Prog.exe");
  EXPECT_EQ(launch.commandLine, "prog a b");
  EXPECT_EQ(launch.currentDirectory, "C:\\work");
  EXPECT_EQ(launch.environment, std::vector<std::string>{"PATH=C:\\Tools"});
  EXPECT_TRUE(launch.inheritHandles);
  EXPECT_EQ(launch.startupCb, 68U);
  EXPECT_EQ(launch.reserved2, block);
  EXPECT_EQ(launch.exitCode, 3U);

  sim::AddFile("C:\\Work\\data.exe", "random bytes");
  struct Refusal {
    const char* application;
    nt::u32 error;
  } refusals[] = {{"none.exe", nt::kErrorFileNotFound},
                  {"C:\\none\\prog.exe", nt::kErrorPathNotFound},
                  {"C:\\Tools\\prog.exe", nt::kErrorAccessDenied},
                  {"data.exe", nt::kErrorBadExeFormat}};
  for (const Refusal& r : refusals) {
    EXPECT_FALSE(nt::CreateProcessA(r.application, commandLine, true, 0, &startup, &process))
        << r.application;
    EXPECT_EQ(nt::GetLastError(), r.error) << r.application;
  }
  EXPECT_EQ(sim::Launches().size(), 1U);
}

TEST_F(SimTest, StandardHandlesFollowTheirConfiguration) {
  // A console hands over one typed line per read, then reports end of input.
  sim::SetStdin({sim::Stream::Console, "ab\r\nc\r\n", true, 0});
  nt::Handle in = nt::GetStdHandle(nt::kStdInputHandle);
  EXPECT_EQ(nt::GetFileType(in), nt::kFileTypeChar);
  char buffer[64];
  nt::u32 got = 0;
  ASSERT_TRUE(nt::ReadFile(in, buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, got), "ab\r\n");
  ASSERT_TRUE(nt::ReadFile(in, buffer, 1, &got));
  EXPECT_EQ(std::string(buffer, got), "c");
  EXPECT_EQ(sim::StdinRemaining(), "\r\n");
  ASSERT_TRUE(nt::ReadFile(in, buffer, sizeof buffer, &got));
  ASSERT_TRUE(nt::ReadFile(in, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0U);

  // A pipe gives all it has, then a broken pipe.
  sim::SetStdin({sim::Stream::Pipe, "x\ny\n", true, nt::kErrorBrokenPipe});
  EXPECT_EQ(nt::GetFileType(in), nt::kFileTypePipe);
  ASSERT_TRUE(nt::ReadFile(in, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 4U);
  EXPECT_FALSE(nt::ReadFile(in, buffer, sizeof buffer, &got));
  EXPECT_EQ(nt::GetLastError(), nt::kErrorBrokenPipe);

  // Standard error into a file: captured per call and appended to the file.
  sim::SetStderr({sim::Stream::File, "C:\\err.txt", 0});
  nt::Handle err = nt::GetStdHandle(nt::kStdErrorHandle);
  EXPECT_EQ(err, sim::kStderrHandle);
  EXPECT_EQ(nt::GetFileType(err), nt::kFileTypeDisk);
  ASSERT_TRUE(nt::WriteFile(err, "one ", 4, &got));
  ASSERT_TRUE(nt::WriteFile(err, "two", 3, &got));
  EXPECT_EQ(sim::StderrChunks(), (std::vector<std::string>{"one ", "two"}));
  EXPECT_EQ(sim::StderrText(), "one two");
  EXPECT_EQ(sim::ReadFile("C:\\err.txt"), "one two");

  sim::SetStdout({sim::Stream::Invalid, "", 0});
  sim::SetStdin({sim::Stream::Null, "", true, 0});
  EXPECT_EQ(nt::GetStdHandle(nt::kStdOutputHandle), nt::kInvalidHandle);
  EXPECT_EQ(nt::GetStdHandle(nt::kStdInputHandle), 0U);
  EXPECT_EQ(nt::GetFileType(sim::kStdoutHandle), nt::kFileTypeUnknown);
  EXPECT_EQ(nt::GetLastError(), nt::kErrorInvalidHandle);
  EXPECT_FALSE(nt::ReadFile(0, buffer, 1, &got));
}

TEST_F(SimTest, EnvironmentKeepsNtOrderAndBlocksAreExact) {
  sim::SetEnvironment({"Path=C:\\bin", "TEMP=C:\\tmp"});
  EXPECT_TRUE(nt::SetEnvironmentVariableA("PATH", "D:\\bin"));  // replaced in place
  EXPECT_TRUE(nt::SetEnvironmentVariableA("=D:", "D:\\Work"));  // sorts first
  EXPECT_TRUE(nt::SetEnvironmentVariableA("Zed", "1"));         // sorts last
  EXPECT_TRUE(nt::SetEnvironmentVariableA("temp", nullptr));    // deleted
  EXPECT_TRUE(nt::SetEnvironmentVariableA("NONE", nullptr));
  EXPECT_FALSE(nt::SetEnvironmentVariableA("A=B", "x"));
  EXPECT_EQ(nt::GetLastError(), sim::kErrorInvalidParameter);
  EXPECT_EQ(sim::Environment(),
            (std::vector<std::string>{"=D:=D:\\Work", "PATH=D:\\bin", "Zed=1"}));

  const char* block = nt::GetEnvironmentBlock();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(block, 30), std::string("=D:=D:\\Work\0PATH=D:\\bin\0Zed=1\0\0", 30));
  EXPECT_EQ(sim::OpenEnvironmentBlocks(), 1);
  nt::FreeEnvironmentBlock(block);
  EXPECT_EQ(sim::OpenEnvironmentBlocks(), 0);

  // A drive-relative path follows the per-drive variable the process set.
  sim::AddDrive('D');
  sim::AddFile("D:\\Work\\x.txt", "");
  EXPECT_EQ(nt::GetFileAttributesA("D:x.txt"), nt::kAttributeNormal);

  sim::SetStartupBlock(std::string("\0\0\0\0", 4));
  nt::StartupInfo info;
  nt::GetStartupInfoA(&info);
  EXPECT_EQ(info.cb, 68U);
  ASSERT_EQ(info.cbReserved2, 4U);
  ASSERT_NE(info.lpReserved2, nullptr);
  sim::SetStartupBlock(std::nullopt);
  nt::GetStartupInfoA(&info);
  EXPECT_EQ(info.lpReserved2, nullptr);

  try {
    nt::ExitProcess(516);
    ADD_FAILURE() << "ExitProcess returned";
  } catch (const sim::ProcessExit& exit) {
    EXPECT_EQ(exit.code, 516U);
  }
}

}  // namespace
