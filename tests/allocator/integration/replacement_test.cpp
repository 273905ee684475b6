// The replacement set in a real program: every allocation of the process, the C and
// C++ libraries' and loaded libraries' included, comes from the default pool.
#include <dlfcn.h>
#include <malloc.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/allocator/replacement/project_heap.h"
#include "foundation/allocator/tarrock.h"
#include "platform/event_log.h"

extern char** environ;

namespace {

std::atomic<int> g_reports{0};
std::atomic<unsigned> g_lastCode{0};

int Record(TarrockErrorInfo* info) {
    ++g_reports;
    g_lastCode = info->code;
    return 0;
}

// Reports are recorded, not written out, except where a test restores the default.
const TarrockErrorHandler g_defaultHandler = TarrockSetErrorHandler(&Record);

// Hides a pointer or size from the compiler, which would otherwise warn about the
// faults these tests commit on purpose.
template <class T>
T Opaque(T value) {
    asm volatile("" : "+r"(value));
    return value;
}

bool Ours(void* p) {
    return TarrockCheckPointer(TarrockDefaultPool(), Opaque(p)) == 1;
}
bool Aligned16(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % 16 == 0;
}

std::string CommandOutput(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return out;
    std::array<char, 4096> buffer;
    while (std::fgets(buffer.data(), buffer.size(), pipe.get())) out += buffer.data();
    return out;
}

TEST(ReplacementSet, IsExportedFromTheExecutable) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    std::string symbols = CommandOutput("nm -D --defined-only '" + self + "'");
    ASSERT_FALSE(symbols.empty());
    for (const char* name : {"malloc",
                             "free",
                             "calloc",
                             "realloc",
                             "reallocarray",
                             "aligned_alloc",
                             "memalign",
                             "posix_memalign",
                             "valloc",
                             "pvalloc",
                             "malloc_usable_size",
                             "_msize",
                             "_expand",
                             "_Znwm",
                             "_Znam",
                             "_ZnwmRKSt9nothrow_t",
                             "_ZnwmSt11align_val_t",
                             "_ZdlPv",
                             "_ZdaPv",
                             "_ZdlPvm",
                             "_ZdlPvSt11align_val_t",
                             "_ZdlPvmSt11align_val_t"}) {
        EXPECT_NE(symbols.find(std::string(" T ") + name + "\n"), std::string::npos) << name;
    }
}

TEST(ReplacementSet, EveryRoadLeadsToTheDefaultPool) {
    void* m = std::malloc(10);
    char* s = ::strdup("allocated by the C library");
    auto* n = new int(5);
    auto* a = new int[100];
    auto owned = std::make_unique<std::string>(200, 'x');
    void* fromThread = nullptr;
    std::thread([&fromThread] { fromThread = std::malloc(300); }).join();
    EXPECT_TRUE(Ours(m));
    EXPECT_TRUE(Ours(s));
    EXPECT_TRUE(Ours(n));
    EXPECT_TRUE(Ours(a));
    EXPECT_TRUE(Ours(owned->data()));
    EXPECT_TRUE(Ours(fromThread));

    void* library = ::dlopen(PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto probeMalloc = reinterpret_cast<void* (*)(size_t)>(::dlsym(library, "probe_malloc"));
    auto probeStrdup = reinterpret_cast<char* (*)(const char*)>(::dlsym(library, "probe_strdup"));
    auto probeFree = reinterpret_cast<void (*)(void*)>(::dlsym(library, "probe_free"));
    ASSERT_TRUE(probeMalloc && probeStrdup && probeFree);
    void* lm = probeMalloc(5000);
    char* ls = probeStrdup("from a loaded library");
    EXPECT_TRUE(Ours(lm));
    auto lmAddress = reinterpret_cast<std::uintptr_t>(lm);
    EXPECT_TRUE(Ours(ls));
    probeFree(m);  // blocks cross freely between the program and the library
    std::free(lm);
    std::free(ls);
    ::dlclose(library);
    EXPECT_FALSE(Ours(reinterpret_cast<void*>(Opaque(lmAddress))));  // its region is gone

    std::free(s);
    delete n;
    delete[] a;
    std::free(fromThread);
    EXPECT_EQ(TarrockHeapCheck(), TARROCK_HEAP_OK);
}

TEST(ReplacementSet, EveryBlockIsAlignedTo16) {
    std::vector<void*> blocks;
    for (std::size_t n = 0; n < 10000; n = n * 3 / 2 + 1) {
        blocks.push_back(std::malloc(n));
        blocks.push_back(std::calloc(n, 1));
        blocks.push_back(std::realloc(std::malloc(5), n + 1));
        blocks.push_back(::operator new(n));
        for (std::size_t align : {32, 64, 4096}) blocks.push_back(::operator new(n, std::align_val_t(align)));
    }
    for (void* p : blocks) EXPECT_TRUE(Aligned16(p)) << p;
    struct alignas(64) Line {
        char bytes[64];
    };
    auto* line = new Line;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(line) % 64, 0u);
    delete line;
    for (void* p : blocks) std::free(p);
    EXPECT_GE(::malloc_usable_size(std::malloc(1)), 1u);
    EXPECT_EQ(_msize(std::malloc(10)), 12u);
}

TEST(ReplacementSet, ThreadsLeaveACleanPool) {
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &bad] {
            std::mt19937 random(static_cast<unsigned>(t) + 11);
            std::vector<std::pair<char*, std::size_t>> mine(100, {nullptr, 0});
            for (int step = 0; step < 50000; ++step) {
                auto& slot = mine[random() % mine.size()];
                std::size_t n = random() % 3 == 0 ? random() % 9000 : random() % 300;
                if (slot.first && slot.first[0] != static_cast<char>(t)) ++bad;
                switch (random() % 3) {
                    case 0:
                        std::free(slot.first);
                        slot = {static_cast<char*>(std::malloc(n + 1)), n + 1};
                        break;
                    case 1:
                        slot = {static_cast<char*>(std::realloc(slot.first, n + 1)), n + 1};
                        break;
                    default: {
                        std::string text(n, 'y');
                        delete[] slot.first;
                        slot = {new char[n + 1], n + 1};
                        std::memcpy(slot.first, text.c_str(), n + 1);
                        break;
                    }
                }
                if (!Aligned16(slot.first)) ++bad;
                slot.first[0] = static_cast<char>(t);
            }
            for (auto& slot : mine) std::free(slot.first);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(TarrockCheckPool(TarrockDefaultPool()), 1);
}

// A thread's cache goes back to the pool when the thread ends, while the C and C++
// libraries still free and allocate around it (thread_local destructors before, other
// thread-specific destructors after): thread after thread reuses the same blocks.
TEST(ReplacementSet, EndingThreadsGiveTheirSmallBlocksBack) {
    static pthread_key_t lateKey;
    ASSERT_EQ(::pthread_key_create(&lateKey,
                                   [](void* p) {
                                       std::free(p);
                                       std::free(std::malloc(40));
                                   }),
              0);
    auto round = [] {
        for (int t = 0; t < 20; ++t) {
            std::thread([] {
                thread_local std::string kept(100, 'k');
                kept[0] = 'K';
                ::pthread_setspecific(lateKey, std::malloc(24));
                std::vector<void*> blocks;
                for (int i = 0; i < 2000; ++i) blocks.push_back(std::malloc(static_cast<std::size_t>(i % 250)));
                for (void* p : blocks) std::free(p);
            }).join();
        }
    };
    round();
    round();
    std::size_t size = TarrockPoolSize(TarrockDefaultPool());
    for (int i = 0; i < 5; ++i) round();
    EXPECT_EQ(TarrockPoolSize(TarrockDefaultPool()), size);
    EXPECT_EQ(TarrockCheckPool(TarrockDefaultPool()), 1);
    ::pthread_key_delete(lateKey);
}

TEST(ReplacementSet, ForeignFreeIsReportedAndSurvived) {
    void* library = ::dlopen(DEEP_PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto probeMalloc = reinterpret_cast<void* (*)(size_t)>(::dlsym(library, "probe_malloc"));
    void* foreign = probeMalloc(64);  // the C library's own heap
    ASSERT_NE(foreign, nullptr);
    g_reports = 0;
    EXPECT_EQ(TarrockCheckPointer(nullptr, foreign), 0);
    auto foreignAddress = reinterpret_cast<std::uintptr_t>(foreign);
    std::free(foreign);
    EXPECT_EQ(g_lastCode, MEM_BAD_POINTER);
    EXPECT_EQ(::realloc(reinterpret_cast<void*>(Opaque(foreignAddress)), 10), nullptr);
    EXPECT_EQ(g_reports, 3);
    int local;
    ::operator delete(Opaque(static_cast<void*>(&local)));
    EXPECT_EQ(g_reports, 4);
    ::dlclose(library);
    EXPECT_EQ(TarrockHeapCheck(), TARROCK_HEAP_OK);
}

TEST(ReplacementSet, DefaultHandlerWritesOneLineAndCarriesOn) {
    std::string home = ::testing::TempDir() + "tarrock_home_" + std::to_string(::getpid());
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home + "/log");
    ::setenv("TESSARO_HOME", home.c_str(), 1);
    TarrockSetErrorHandler(g_defaultHandler);
    testing::internal::CaptureStderr();
    int local;
    std::free(Opaque(static_cast<void*>(&local)));
    std::string err = testing::internal::GetCapturedStderr();
    TarrockSetErrorHandler(&Record);
    EXPECT_EQ(err, "Tarrock Library: MEM_BAD_POINTER\n");
    auto events = tessaro::platform::ReadEventLogFile();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, "Error");
    EXPECT_EQ(events[0].source, "Tarrock Library");
    ASSERT_EQ(events[0].strings.size(), 1u);
    EXPECT_EQ(events[0].strings[0], "MEM_BAD_POINTER");
}

TEST(ReplacementSet, OperatorNewThrowsAndMallocSetsEnomem) {
    EXPECT_THROW((void)::operator new(SIZE_MAX / 2), std::bad_alloc);
    EXPECT_EQ(::operator new(SIZE_MAX / 2, std::nothrow), nullptr);
    errno = 0;
    EXPECT_EQ(std::malloc(Opaque(SIZE_MAX - 8)), nullptr);
    EXPECT_EQ(errno, ENOMEM);
    std::size_t big = Opaque(std::size_t(1) << 62);
    EXPECT_EQ(std::calloc(big, 8), nullptr);
    EXPECT_EQ(errno, ENOMEM);
}

TEST(ReplacementSet, AttachDetachKeepsTheHeapAndForkedChildrenAllocate) {
    void* before = std::malloc(100);
    EXPECT_EQ(TarrockAttach(), 1);
    TarrockSetErrorHandler(nullptr);
    // Threads keep the pool lock busy while children are forked and spawned.
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (int t = 0; t < 4; ++t)
        busy.emplace_back([&stop] {
            while (!stop) std::free(std::malloc(static_cast<std::size_t>(std::rand() % 5000)));
        });
    for (int i = 0; i < 30; ++i) {
        pid_t child = ::fork();
        if (child == 0) {
            void* p = std::malloc(1000);
            std::string text(500, 'z');
            std::free(p);
            std::_Exit(TarrockCheckPool(TarrockDefaultPool()) == 1 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pid_t spawned = 0;
        char arg0[] = "true";
        char* argv[] = {arg0, nullptr};
        ASSERT_EQ(::posix_spawnp(&spawned, "true", nullptr, nullptr, argv, environ), 0);
        ASSERT_EQ(::waitpid(spawned, &status, 0), spawned);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    stop = true;
    for (auto& t : busy) t.join();
    EXPECT_EQ(TarrockDetach(), 1);
    EXPECT_EQ(TarrockDetach(), 1);  // one more than attached: still harmless
    TarrockSetErrorHandler(&Record);
    EXPECT_EQ(TarrockCheckPointer(nullptr, before), 1);
    void* after = std::malloc(100);
    EXPECT_TRUE(Ours(after));
    std::free(before);
    std::free(after);
}

}  // namespace
