// The operating-system seams the core relies on, on the system at hand.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/event_log.h"
#include "platform/library_search.h"
#include "platform/local_time.h"
#include "platform/perf_counter.h"
#include "platform/semaphore.h"
#include "platform/sleep.h"
#include "platform/thread.h"
#include "platform/workstation.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/sim_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace spelvane::platform {
namespace {

struct Handoff {
    Semaphore* semaphore;
    ManualResetEvent* started;
    std::atomic<bool> acquired{false};
};

unsigned takeSemaphore(void* parameter) {
    auto* handoff = static_cast<Handoff*>(parameter);
    handoff->started->set();
    handoff->semaphore->wait();
    handoff->acquired = true;
    handoff->semaphore->release();
    return 0;
}

TEST(SemaphoreTest, SecondTakerWaitsUntilTheFirstReleases) {
    Semaphore semaphore(1, 1);
    ASSERT_TRUE(semaphore.valid());
    ManualResetEvent started;
    Handoff handoff{&semaphore, &started};
    semaphore.wait();
    Thread thread;
    ASSERT_TRUE(thread.start(takeSemaphore, &handoff));
    ASSERT_TRUE(started.wait(5000));
    sleepMilliseconds(50);
    EXPECT_FALSE(handoff.acquired) << "the semaphore let a second taker through";
    semaphore.release();
    thread.join();
    EXPECT_TRUE(handoff.acquired);
    semaphore.wait();  // the taker gave it back
    semaphore.release();
}

unsigned setEvent(void* parameter) {
    static_cast<ManualResetEvent*>(parameter)->set();
    return 0;
}

TEST(EventTest, ManualResetEventStaysSetUntilReset) {
    ManualResetEvent event;
    ASSERT_TRUE(event.valid());
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(20)) << "an unset event must time out";

    Thread thread;
    ASSERT_TRUE(thread.start(setEvent, &event));
    EXPECT_TRUE(event.wait(kWaitForever));
    thread.join();
    EXPECT_TRUE(event.isSet());
    EXPECT_TRUE(event.wait(0)) << "still set for a second waiter";

    event.reset();
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(10));
}

TEST(TimingTest, CounterMovesForwardAcrossASleep) {
    int64_t frequency = 0;
    ASSERT_TRUE(performanceFrequency(frequency));
    ASSERT_GT(frequency, 0);
    int64_t before = 0;
    int64_t after = 0;
    ASSERT_TRUE(performanceCounter(before));
    sleepMilliseconds(30);
    ASSERT_TRUE(performanceCounter(after));
    int64_t elapsedMs = (after - before) * 1000 / frequency;
    EXPECT_GE(elapsedMs, 25);
    EXPECT_LT(elapsedMs, 5000);
}

// A child that waits (suspended, or in pause) until ended; then it stays
// held, by its handle or unreaped, until the test ends.
struct HeldChild {
#ifdef _WIN32
    PROCESS_INFORMATION child = {};
    HeldChild() {
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, sizeof program);
        CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &start, &child);
    }
    ~HeldChild() {
        end();
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    uint32_t number() const { return child.dwProcessId; }
    bool end() {
        TerminateProcess(child.hProcess, 0);
        return WaitForSingleObject(child.hProcess, 10000) == WAIT_OBJECT_0;
    }
    STARTUPINFOA start = {sizeof start};
#else
    pid_t child = fork();
    HeldChild() { if (child == 0) pause(), _exit(0); }
    ~HeldChild() {
        if (end()) waitpid(child, nullptr, 0);
    }
    uint32_t number() const { return child > 0 ? static_cast<uint32_t>(child) : 0; }
    bool end() {
        siginfo_t ended = {};
        return child > 0 && kill(child, SIGKILL) == 0 && waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT) == 0;
    }
#endif
};

TEST(LocalTimeTest, CalendarTimeBreaksIntoValidFields) {
    int64_t now = calendarTimeNow();
    EXPECT_GT(now, 1600000000) << "the clock reads before 2020";
    LocalTime local{};
    ASSERT_TRUE(toLocalTime(now, local));
    EXPECT_GE(local.year, 2020);
    EXPECT_GE(local.month, 1);
    EXPECT_LE(local.month, 12);
    EXPECT_GE(local.day, 1);
    EXPECT_LE(local.day, 31);
    EXPECT_LE(local.hour, 23);
    EXPECT_LE(local.minute, 59);
    EXPECT_LE(local.second, 60);

    // Whatever the zone, 2001-09-09 01:46:40 UTC is 9 or 8 or 10 September 2001.
    ASSERT_TRUE(toLocalTime(1000000000, local));
    EXPECT_EQ(local.year, 2001);
    EXPECT_EQ(local.month, 9);
    EXPECT_GE(local.day, 8);
    EXPECT_LE(local.day, 9);
    EXPECT_EQ(local.second, 40);

    LocalTime later{};
    ASSERT_TRUE(toLocalTime(1000000000 + 61, later));
    EXPECT_EQ(later.second, 41);
    EXPECT_EQ((later.minute - local.minute + 60) % 60, 1);

    // This process began on the same clock, before now, this side of a
    // day; a number no process runs under has no start.
    int64_t started = 0;
    ASSERT_EQ(processStartTime(processNumber(), started), ProcessLook::Began);
    EXPECT_LE(started, calendarTimeNow() + 1);
    EXPECT_GT(started, now - 24 * 3600);
    EXPECT_EQ(processStartTime(0x7ffffffe, started), ProcessLook::Ended);

    // A child begun just now began within the clocks' whole seconds of now;
    // once ended it runs no more, though its parent still holds it.
    HeldChild child;
    ASSERT_NE(child.number(), 0u);
    ASSERT_EQ(processStartTime(child.number(), started), ProcessLook::Began);
    EXPECT_LE(started, calendarTimeNow() + 1);
    EXPECT_GE(started, now - 2);
    ASSERT_TRUE(child.end());
    EXPECT_EQ(processStartTime(child.number(), started), ProcessLook::Ended);
}

TEST(DynamicLibraryTest, DeviceLibraryIsFoundByItsWindowsName) {
    DynamicLibrary library;
    ASSERT_TRUE(library.open("qzsd7.dll"));
    EXPECT_TRUE(library.isOpen());
    // The file the system loaded: the one beside this program.
    const std::string path = library.path();
    EXPECT_NE(path.find("qzsd7"), std::string::npos) << path;
    EXPECT_EQ(path.find("variants"), std::string::npos) << path;
    EXPECT_NE(library.symbol("qz_call"), nullptr);
    EXPECT_NE(library.symbol("qzmoduleinfo"), nullptr);
    EXPECT_EQ(library.symbol("no_such_export"), nullptr);
    library.close();
    EXPECT_FALSE(library.isOpen());
    EXPECT_EQ(library.symbol("qz_call"), nullptr);
    EXPECT_EQ(library.path(), "");
}

// A name with a folder is taken against the folder current when it is
// given, not the one the load runs in.
TEST(DynamicLibraryTest, ARelativePathNamesAFileOfTheCurrentFolder) {
    namespace fs = std::filesystem;
    const std::string original = testing::variantLibraryPath("device_like");
    testing::ScratchDirectory scratch;
    fs::create_directories("lib");
#ifdef _WIN32
    const char* copy = "lib\\standin.dll";
#else
    const char* copy = "lib/libstandin.so";
#endif
    fs::copy_file(original, copy);
    DynamicLibrary library;
    ASSERT_TRUE(library.open(copy)) << library.refusal();
    EXPECT_TRUE(fs::equivalent(library.path(), scratch.path() / copy)) << library.path();
    EXPECT_EQ(library.refusal(), "");
}

TEST(LibrarySearchTest, ProgramSystem32System16WindowsThenAbsolutePathFoldersNeverTheCurrentOne) {
    // Relative, drive-relative, root-relative and empty entries are the current folder again; a
    // folder named twice is tried once; quotes go; a path over MAX_PATH is left out; '/' becomes '\\'.
    LibrarySearchFolders folders{"C:\\Spelvane", "C:\\WINNT\\system32", "C:\\WINNT",
                                 ".;bin;C:rel;\\rooted;;\"D:\\Vendor dir\";c:\\winnt\\;\\\\srv\\share;E:/x/;F:\\" +
                                     std::string(250, 'x')};
    const std::vector<std::string> expected = {"C:\\Spelvane\\qzsd7.dll",       "C:\\WINNT\\system32\\qzsd7.dll",
                                               "C:\\WINNT\\System\\qzsd7.dll", "C:\\WINNT\\qzsd7.dll",
                                               "D:\\Vendor dir\\qzsd7.dll",    "\\\\srv\\share\\qzsd7.dll",
                                               "E:\\x\\qzsd7.dll"};
    EXPECT_EQ(libraryCandidates("qzsd7.dll", folders), expected);
    folders.program.clear();  // a program name the system cut
    EXPECT_EQ(libraryCandidates("qzsd7.dll", folders).front(), "C:\\WINNT\\system32\\qzsd7.dll");
}

#ifdef _WIN32
// Once a library is opened the current folder is out of the system's search
// for the rest of the process, loads between the library's calls too:
// SetDllDirectoryW("") replaced whatever folder was set. Not looked up (as
// on Windows 2000, which lacks it), the folder set stays.
TEST(DynamicLibraryTest, OpeningTakesTheCurrentFolderOutOfTheSystemsSearch) {
    using SetFolder = BOOL(WINAPI*)(LPCWSTR);
    using GetFolder = DWORD(WINAPI*)(DWORD, LPWSTR);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto setFolder = reinterpret_cast<SetFolder>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    const auto getFolder = reinterpret_cast<GetFolder>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetDllDirectoryW")));
    if (!setFolder || !getFolder) GTEST_SKIP() << "a system without SetDllDirectoryW";
    for (const bool lookUp : {true, false}) {
        SCOPED_TRACE(lookUp ? "looked up" : "not looked up");
        ASSERT_TRUE(setFolder(L"C:\\marker"));
        lookUpDllDirectoryCall(lookUp);
        DynamicLibrary library;
        ASSERT_TRUE(library.open("qzsd7.dll"));
        wchar_t folder[MAX_PATH] = {};
        getFolder(MAX_PATH, folder);
        EXPECT_EQ(std::wstring(folder), lookUp ? L"" : L"C:\\marker");
    }
    lookUpDllDirectoryCall(true);
    setFolder(nullptr);
}

// Every event names the process's user: a security identifier the system
// can write out, e.g. S-1-5-21-... for an account.
TEST(EventLogTest, EventsNameTheProcessUser) {
    const std::string sid = eventUserSid();
    EXPECT_EQ(sid.rfind("S-1-", 0), 0u) << sid;
    EXPECT_GT(sid.size(), 5u) << sid;
}
#endif

}  // namespace
}  // namespace spelvane::platform
