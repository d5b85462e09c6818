// The program itself, run as a user runs it, stopped by signals and limits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "app/signals.h"
#include "platform/files.h"
#include "support/tempdir.h"

namespace pagelume::app {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

// The program in a folder of its own, with its container files beside it, so
// that its staging tree is this test's alone.
class Program : public ::testing::Test {
protected:
    Program() {
        fs::create_directories(dir / "bin");
        const std::string built = PAGELUME_BINARY_DIR "/pagelume";
        if (::link(built.c_str(), exe.c_str()) != 0)
            fs::copy_file(built, exe);
        test::installContainerFiles(dir / "bin/epubfiles");
    }

    // Pages of incompressible bytes, each its own file.
    std::vector<std::string> pages(int count, std::size_t size) {
        std::mt19937 gen(5);
        std::string bytes(size, '\0');
        for (auto& c : bytes)
            c = static_cast<char>(gen());
        std::vector<std::string> out;
        for (int i = 1; i <= count; ++i) {
            bytes[0] = static_cast<char>(i);
            out.push_back(dir / ("in/p" + std::to_string(i) + ".png"));
            writeFile(out.back(), bytes);
        }
        return out;
    }

    // Starts a conversion into dir/out; stderr goes to dir/err.
    pid_t start(const std::vector<std::string>& pageFiles, rlim_t fileSizeLimit = 0) {
        std::vector<std::string> args = {exe, "--yes", "--title", "T", "--author", "A",
                                         "--output", dir / "out"};
        args.insert(args.end(), pageFiles.begin(), pageFiles.end());
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            const int err = ::open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(err, 2);
            if (fileSizeLimit) {
                const struct rlimit limit { fileSizeLimit, fileSizeLimit };
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        return pid;
    }

    // Waits until what() holds, at most a minute; false when the program
    // ended first.
    bool waitFor(pid_t pid, const std::function<bool()>& what) {
        for (int i = 0; i < 60000; ++i) {
            if (what())
                return true;
            int status;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                ADD_FAILURE() << "ended before it could be interrupted: " << readFile(dir / "err");
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    int finish(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }

    // Everything in the output folder but the old book, and whether the
    // staging tree still holds a content directory.
    std::vector<std::string> junk() {
        std::vector<std::string> out;
        if (fs::exists(dir / "out"))
            for (const auto& e : fs::directory_iterator(dir / "out"))
                if (e.path().filename() != "T.epub")
                    out.push_back(e.path().filename());
        if (fs::exists(dir / "bin/epubfiles/OEBPS"))
            out.push_back("epubfiles/OEBPS");
        return out;
    }

    bool tempArchiveExists() {
        if (fs::exists(dir / "out"))
            for (const auto& e : fs::directory_iterator(dir / "out"))
                if (e.path().filename().string().rfind(".pagelume-", 0) == 0)
                    return true;
        return false;
    }

    TempDir dir;
    std::string exe = dir / "bin/pagelume";
};

TEST_F(Program, SignalsStopItCleanlyWhilePackingAndWhileCopying) {
    const auto big = pages(60, 1 << 20);
    writeFile(dir / "out/T.epub", "the old book");

    const pid_t packing = start(big);
    ASSERT_TRUE(waitFor(packing, [&] { return tempArchiveExists(); }));
    ::kill(packing, SIGINT);
    int status = finish(packing);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 130) << readFile(dir / "err");
    EXPECT_EQ(junk(), std::vector<std::string>{});
    EXPECT_EQ(readFile(dir / "out/T.epub"), "the old book");

    std::vector<std::string> many;
    for (int i = 0; i < 40; ++i)
        many.insert(many.end(), big.begin(), big.end());  // the same files again: shared copies
    const pid_t copying = start(many);
    ASSERT_TRUE(waitFor(copying, [&] { return fs::exists(dir / "bin/epubfiles/OEBPS/page30.html"); }));
    ::kill(copying, SIGTERM);
    status = finish(copying);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 143) << readFile(dir / "err");
    EXPECT_EQ(junk(), std::vector<std::string>{});
    EXPECT_EQ(readFile(dir / "out/T.epub"), "the old book");
    EXPECT_NE(readFile(dir / "err").find("interrupted"), std::string::npos);
}

TEST_F(Program, AFileSizeLimitIsAFullDiskNotADeath) {
    const auto big = pages(6, 1 << 20);
    writeFile(dir / "out/T.epub", "the old book");
    const int status = finish(start(big, 3 << 20));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = readFile(dir / "err");
    EXPECT_NE(err.find("Failed to build: " + (dir / "out/T.epub")), std::string::npos) << err;
    EXPECT_NE(err.find("Not enough room to write archive"), std::string::npos) << err;
    EXPECT_EQ(junk(), std::vector<std::string>{});
    EXPECT_EQ(readFile(dir / "out/T.epub"), "the old book");
}

// Runs the program with args; inChild prepares the child's descriptors,
// env (when given) replaces its environment. Returns the wait status.
int runProgram(const std::string& exe, std::vector<std::string> args,
               const std::function<void()>& inChild,
               const std::vector<std::string>* env = nullptr) {
    args.insert(args.begin(), exe);
    const pid_t pid = ::fork();
    if (pid == 0) {
        inChild();
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (env) {
            for (const auto& e : *env)
                envp.push_back(const_cast<char*>(e.c_str()));
            envp.push_back(nullptr);
            ::execve(exe.c_str(), argv.data(), envp.data());
        } else {
            ::execv(exe.c_str(), argv.data());
        }
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST_F(Program, AClosedPipeOrClosedStandardDescriptorsChangeOnlyWhatIsShown) {
    const auto two = pages(2, 100);
    std::vector<std::string> args = {"--title", "T",        "--author",
                                     "A",       "--output", dir / "out",
                                     "--yes",   two[0],     dir / "in/missing.png",
                                     two[1]};
    // pagelume ... 2>&1 | head -1, once head has gone.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    int status = runProgram(exe, args, [&] {
        ::signal(SIGPIPE, SIG_DFL);  // as a shell starts it
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
    });
    ::close(fds[1]);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(dir / "out/T.epub").substr(0, 2), "PK");
    EXPECT_EQ(junk(), std::vector<std::string>{});

    // pagelume ... 2>&-: the messages must not land in the first file it opens.
    fs::remove(dir / "out/T.epub");
    status = runProgram(exe, args, [] { ::close(2); });
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(dir / "out/T.epub").substr(0, 2), "PK");
    EXPECT_EQ(readFile(dir / "bin/epubfiles/.pagelume.lock"), "");
}

// Under the sanitizers the runtime's own files take the closed numbers
// first, so the program's start is checked here in a child of its own: a
// file opened afterwards must not become standard error.
TEST(StandardDescriptors, ClosedOnesAreOpenedOnDevNullFirst) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(0);
        ::close(2);
        openMissingStandardDescriptors();
        const int file = ::open("/proc/self/status", O_RDONLY);
        char target[64] = {};
        const bool devNull = ::readlink("/proc/self/fd/2", target, sizeof target - 1) > 0 &&
                             std::string(target) == "/dev/null" && ::fcntl(0, F_GETFD) != -1;
        ::_exit(devNull && file > 2 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Program, WithoutADisplayTheWindowSaysSoInsteadOfAborting) {
    const std::vector<std::string> env = {"HOME=" + dir.path(), "PATH=/usr/bin:/bin",
                                          "LC_ALL=C.UTF-8", "ASAN_OPTIONS=detect_leaks=0"};
    const int status = runProgram(
        exe, {},
        [&] {
            const int err = ::open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
        },
        &env);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(readFile(dir / "err"),
              "pagelume: cannot open the window: no display (is DISPLAY set?). To convert without "
              "a window, give pages on the command line; see pagelume --help.\n");
}

}  // namespace
}  // namespace pagelume::app
