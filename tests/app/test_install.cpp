#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "app/settings.h"
#include "app/startup.h"
#include "install_support.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

// cmake --install into a temporary prefix, then the installed program as its
// users meet it: validators on the desktop files, and conversions by users
// who may not write the prefix.
namespace pagelume::app {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::readFile;
using test::run;
using test::shellWord;
using test::TempDir;
using test::writeFile;

const std::string kId = kAppId;

// Path, type, mode, owner, size, time and content of everything below root.
std::map<std::string, std::string> manifest(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        std::string v = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " " +
                        std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode))
            v += " " + std::to_string(std::hash<std::string>{}(readFile(e.path().string())));
        out[fs::relative(e.path(), root).string()] = v;
    }
    return out;
}

struct User {
    uid_t uid;
    std::string home;
};

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        // Other users must reach the prefix, their homes and the pages in here.
        ::chmod(dir_->path().c_str(), 0755);
        prefix_ = *dir_ / "prefix";
        std::tie(installStatus_, installOutput_) =
            run("umask 022 && " + shellWord(PAGELUME_CMAKE_COMMAND) + " --install " +
                shellWord(PAGELUME_BINARY_DIR) + " --prefix " + shellWord(prefix_));
        fs::create_directories(*dir_ / "pages");
        ::chmod((*dir_ / "pages").c_str(), 0755);
        for (int i = 1; i <= 2; ++i) {
            const std::string page = *dir_ / ("pages/p" + std::to_string(i) + ".png");
            writeFile(page, test::makePng(8, 12, [i](int x, int) { return 0xFF000000u | x * i; }));
            ::chmod(page.c_str(), 0644);
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(installStatus_, 0) << installOutput_; }

    static std::string in(const std::string& relative) { return prefix_ + "/" + relative; }
    static std::string program() { return in("bin/pagelume"); }
    // The program as run by whoever runs the tests, with a home in here.
    static std::string ownProgram() {
        return "env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME=" + shellWord(*dir_ / "owner") + " " +
               shellWord(program());
    }

    // A home of its own that only the user owns, but that others may look
    // into: only the program's own folders keep them out.
    static User makeUser(uid_t uid, const std::string& name) {
        User u{uid, *dir_ / name};
        fs::create_directories(u.home);
        ::chown(u.home.c_str(), uid, uid);
        ::chmod(u.home.c_str(), 0755);
        return u;
    }

    // Runs a shell command as the user, with a clean environment. Leak
    // checking stays off: its suppressions are not the user's to read.
    static std::pair<int, std::string> runAs(const User& u, const std::string& command,
                                             const std::string& env = "") {
        const std::string id = std::to_string(u.uid);
        return run("setpriv --reuid=" + id + " --regid=" + id +
                   " --clear-groups env -i HOME=" + shellWord(u.home) +
                   " PATH=/usr/bin:/bin LC_ALL=C.UTF-8 ASAN_OPTIONS=detect_leaks=0 " + env +
                   " sh -c " + shellWord("cd \"$HOME\" && " + command));
    }

    // Runs body in a child process that has become the user.
    static int inProcessOf(const User& u, const std::function<int()>& body) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(u.uid) != 0 || ::setuid(u.uid) != 0)
                ::_exit(90);
            ::setenv("HOME", u.home.c_str(), 1);
            ::unsetenv("XDG_CONFIG_HOME");
            ::unsetenv("XDG_CACHE_HOME");
            int status = 91;
            try {
                status = body();
            } catch (...) {
            }
            ::_exit(status);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string convertCommand(const User& u) {
        return shellWord(program()) + " --title T --author A --output " +
               shellWord(u.home + "/out") + " " + shellWord(*dir_ / "pages/p1.png") + " " +
               shellWord(*dir_ / "pages/p2.png");
    }

    static bool needsRoot() { return ::geteuid() != 0 || !test::have("setpriv"); }

    static inline TempDir* dir_ = nullptr;
    static inline std::string prefix_;
    static inline int installStatus_ = -1;
    static inline std::string installOutput_;
};

TEST_F(Installed, PutsEachFileWhereTheDesktopLooksForIt) {
    std::set<std::string> top;
    for (const auto& e : fs::directory_iterator(prefix_))
        top.insert(e.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{"bin", "share"}));
    EXPECT_EQ(::access(program().c_str(), X_OK), 0);

    const std::string source = PAGELUME_SOURCE_DIR;
    EXPECT_EQ(readFile(in("share/pagelume/epubfiles/mimetype")),
              readFile(source + "/resources/epubfiles/mimetype"));
    EXPECT_EQ(readFile(in("share/pagelume/epubfiles/META-INF/container.xml")),
              readFile(source + "/resources/epubfiles/META-INF/container.xml"));
    EXPECT_EQ(readFile(in("share/doc/pagelume/README.md")), readFile(source + "/README.md"));
    EXPECT_TRUE(fs::is_regular_file(in("share/man/man1/pagelume.1")));
    EXPECT_TRUE(fs::is_regular_file(in("share/applications/" + kId + ".desktop")));
    EXPECT_TRUE(fs::is_regular_file(in("share/metainfo/" + kId + ".metainfo.xml")));

    for (int size : {48, 128, 256}) {
        const std::string s = std::to_string(size);
        const std::string png =
            readFile(in("share/icons/hicolor/" + s + "x" + s + "/apps/" + kId + ".png"));
        ASSERT_GE(png.size(), 33u) << s;
        EXPECT_EQ(png.substr(1, 3), "PNG");
        auto be32 = [&](std::size_t at) {
            return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
                   (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
        };
        EXPECT_EQ(be32(16), uint32_t(size)) << "width of the " << s << " icon";
        EXPECT_EQ(be32(20), uint32_t(size)) << "height of the " << s << " icon";
    }
    EXPECT_TRUE(
        contains(readFile(in("share/icons/hicolor/scalable/apps/" + kId + ".svg")), "<svg"));

    const auto [status, version] = run(ownProgram() + " --version");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(version, "Pagelume 3.3\n");
    EXPECT_FALSE(fs::exists(*dir_ / "owner/.cache/pagelume")) << "--version creates nothing";
}

TEST_F(Installed, DesktopEntryMetadataAndManualPassTheirCheckers) {
    if (!test::have("desktop-file-validate") || !test::have("appstreamcli"))
        GTEST_SKIP() << "desktop-file-utils or appstream is not installed";
    const std::string desktop = in("share/applications/" + kId + ".desktop");
    auto [status, report] = run("desktop-file-validate " + shellWord(desktop));
    EXPECT_EQ(status, 0) << report;
    EXPECT_FALSE(contains(report, "error:") || contains(report, "warning:")) << report;
    const std::string entry = readFile(desktop);
    for (const char* line : {"\nName=Pagelume\n", "\nExec=pagelume --gui %F\n",
                             "\nMimeType=image/png;image/jpeg;image/gif;application/vnd.comicbook+zip;application/vnd.comicbook-rar;application/x-cb7;application/x-cbt;\n", "\nCategories=Graphics;Office;\n"})
        EXPECT_TRUE(contains(entry, line)) << line;
    EXPECT_TRUE(contains(entry, "\nIcon=" + kId + "\n"));

    const std::string metainfo = in("share/metainfo/" + kId + ".metainfo.xml");
    std::tie(status, report) = run("appstreamcli validate --no-net " + shellWord(metainfo));
    EXPECT_EQ(status, 0) << report;
    const std::string meta = readFile(metainfo);
    EXPECT_TRUE(contains(meta, "<id>" + kId + "</id>"));
    EXPECT_TRUE(contains(meta, "<launchable type=\"desktop-id\">" + kId + ".desktop</launchable>"));
    const std::size_t shot = meta.find("<screenshot type=\"default\">");
    ASSERT_NE(shot, std::string::npos);
    const std::size_t image = meta.find("<image", shot);
    ASSERT_NE(image, std::string::npos);
    EXPECT_EQ(meta.compare(meta.find('>', image) + 1, 8, "https://"), 0) << "a web address";

    // The manual renders without warnings and knows every option of --help.
    const std::string manual = in("share/man/man1/pagelume.1");
    if (test::have("groff")) {
        std::tie(status, report) = run("groff -man -Tutf8 -ww -z " + shellWord(manual));
        EXPECT_EQ(status, 0);
        EXPECT_EQ(report, "");
    }
    const std::string help = run(ownProgram() + " --help").second;
    const std::string page = readFile(manual);
    int options = 0;
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        std::size_t end = at + 2;
        while (end < help.size() && std::islower(static_cast<unsigned char>(help[end])))
            ++end;
        if (end == at + 2)
            continue;
        const std::string name = help.substr(at + 2, end - at - 2);
        EXPECT_TRUE(contains(page, "\\-\\-" + name)) << "--" << name << " is not in the manual";
        ++options;
    }
    EXPECT_GE(options, 8);
}

TEST_F(Installed, ItsOwnerTooGetsFoldersOfItsOwn) {
    // Whoever may write the prefix (here: whoever installed it) still keeps
    // settings and books in the making out of it.
    const std::string home = *dir_ / "owner";
    const auto before = manifest(prefix_);
    auto [status, output] = run(ownProgram() + " --paths");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, "Settings: " + home + "/.config/pagelume/config.ini\nStaging: " + home +
                          "/.cache/pagelume/epubfiles\n");
    std::tie(status, output) =
        run(ownProgram() + " --title T --author A --output " + shellWord(home + "/out") + " " +
            shellWord(*dir_ / "pages/p1.png"));
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(fs::exists(home + "/.cache/pagelume/epubfiles/META-INF/container.xml"));
    EXPECT_TRUE(fs::exists(home + "/out/T.epub"));
    EXPECT_EQ(manifest(prefix_), before);
}

TEST_F(Installed, AUserWhoCannotWriteThePrefixConvertsAndLeavesItAlone) {
    if (needsRoot())
        GTEST_SKIP() << "acting as another user needs root and setpriv";
    const User nobody = makeUser(65534, "nobody");
    const auto before = manifest(prefix_);

    auto [status, output] = runAs(nobody, convertCommand(nobody));
    ASSERT_EQ(status, 0) << output;
    EXPECT_TRUE(contains(output, "Successed to build: " + nobody.home + "/out/T.epub")) << output;
    const std::string book = readFile(nobody.home + "/out/T.epub");
    EXPECT_EQ(book.substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(book.substr(30, 28), "mimetypeapplication/epub+zip");
    EXPECT_TRUE(contains(book, "META-INF/container.xml"));
    EXPECT_TRUE(contains(book, "OEBPS/page2.html"));

    const std::string staging = nobody.home + "/.cache/pagelume/epubfiles";
    EXPECT_EQ(readFile(staging + "/mimetype"), readFile(in("share/pagelume/epubfiles/mimetype")));
    EXPECT_FALSE(fs::exists(staging + "/OEBPS")) << "the command line cleans up after itself";
    EXPECT_FALSE(fs::exists(nobody.home + "/.config/pagelume/config.ini"))
        << "the command line neither reads nor writes the settings";

    std::tie(status, output) = runAs(nobody, shellWord(program()) + " --paths");
    EXPECT_EQ(output, "Settings: " + nobody.home +
                          "/.config/pagelume/config.ini\nStaging: " + staging + "\n");
    std::tie(status, output) = runAs(nobody, shellWord(program()) + " --paths",
                                     "XDG_CONFIG_HOME=" + shellWord(nobody.home + "/c") +
                                         " XDG_CACHE_HOME=" + shellWord(nobody.home + "/k"));
    EXPECT_EQ(output, "Settings: " + nobody.home + "/c/pagelume/config.ini\nStaging: " +
                          nobody.home + "/k/pagelume/epubfiles\n");

    EXPECT_EQ(manifest(prefix_), before) << "the prefix is left as installed";
}

// The fresh-system check takes its package mirror from apt's own sources,
// as every other set-up step does through apt-get; no script names one.
TEST(SetUpScripts, TheMirrorComesFromTheMachinesAptSources) {
    TempDir etc;
    const std::string script = shellWord(PAGELUME_SOURCE_DIR "/scripts/check_deb_fresh.sh");
    const auto mirror = [&] {
        return run("APT_ETC=" + shellWord(etc.path()) + " bash " + script + " --mirror");
    };
    writeFile(etc / "sources.list",
              "# old style\ndeb [arch=amd64] file:///srv/old bookworm main\n");
    EXPECT_EQ(mirror(), (std::pair<int, std::string>{0, "file:///srv/old\n"}));
    writeFile(etc / "sources.list.d/debian.sources",
              "Types: deb\nURIs: file:///srv/security\nSuites: bookworm-security\n\n"
              "Types: deb deb-src\nURIs: file:///srv/main\nSuites: bookworm bookworm-updates\n");
    EXPECT_EQ(mirror(), (std::pair<int, std::string>{0, "file:///srv/main\n"}));
    fs::remove_all(etc / "sources.list.d");
    fs::remove(etc / "sources.list");
    EXPECT_EQ(mirror().first, 1) << "no source: no guess";

    std::vector<fs::path> scripts;
    for (const char* folder : {"scripts", "bench", "."})
        for (const auto& e : fs::directory_iterator(fs::path(PAGELUME_SOURCE_DIR) / folder))
            if (e.path().extension() == ".sh")
                scripts.push_back(e.path());
    for (const auto& e : fs::recursive_directory_iterator(fs::path(PAGELUME_SOURCE_DIR) / "bench"))
        if (e.path().extension() == ".sh")
            scripts.push_back(e.path());
    EXPECT_GE(scripts.size(), 4u);
    for (const auto& path : scripts) {
        const std::string text = readFile(path);
        EXPECT_FALSE(contains(text, "http://") || contains(text, "https://")) << path;
    }
}

TEST_F(Installed, AStagingFolderSomeoneElseCouldWriteIsNotUsed) {
    if (needsRoot())
        GTEST_SKIP() << "acting as other users needs root and setpriv";
    // A cache folder that everyone shares, where another user was first.
    const User victim = makeUser(65534, "victim"), other = makeUser(65533, "other");
    const std::string shared = *dir_ / "shared-cache";
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    const std::string planted = shared + "/pagelume/epubfiles";
    ASSERT_EQ(runAs(other, "mkdir -p " + shellWord(planted) + " && chmod 777 " +
                               shellWord(shared + "/pagelume") + " " + shellWord(planted) +
                               " && echo planted > " + shellWord(planted + "/notes.txt"))
                  .first,
              0);
    const auto [status, output] =
        runAs(victim, convertCommand(victim), "XDG_CACHE_HOME=" + shellWord(shared));
    EXPECT_EQ(status, 1) << output;
    EXPECT_TRUE(contains(output, "The staging folder " + shared + "/pagelume")) << output;
    EXPECT_FALSE(fs::exists(victim.home + "/out/T.epub"));
    EXPECT_FALSE(fs::exists(planted + "/OEBPS"));
}

TEST_F(Installed, TwoUsersSeeNeitherTheOthersSettingsNorItsStaging) {
    if (needsRoot())
        GTEST_SKIP() << "acting as other users needs root and setpriv";
    const User ann = makeUser(65534, "ann"), bob = makeUser(65533, "bob");
    const auto before = manifest(prefix_);
    const std::string bin = in("bin");

    for (const User* u : {&ann, &bob}) {
        // What the window does at shutdown, with the paths the installed copy chooses.
        const std::string save = u->home + "/books";
        EXPECT_EQ(inProcessOf(*u,
                              [&] {
                                  const ProgramPaths p = ProgramPaths::forProgramIn(bin);
                                  storeSavePath(p.configFile, save);
                                  return loadSavePath(p.configFile) == save ? 0 : 1;
                              }),
                  0);
        const auto [status, output] = runAs(*u, convertCommand(*u));
        EXPECT_EQ(status, 0) << output;
    }
    for (const User* u : {&ann, &bob}) {
        const std::string config = u->home + "/.config/pagelume/config.ini";
        EXPECT_EQ(readFile(config), "[Options]\nSavePath=" + u->home + "/books\n");
        struct stat st {};
        ASSERT_EQ(::stat(config.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, u->uid);
        EXPECT_TRUE(fs::exists(u->home + "/out/T.epub"));
    }
    for (const char* hidden : {"/.config/pagelume/config.ini", "/.config/pagelume",
                               "/.cache/pagelume/epubfiles/mimetype", "/.cache/pagelume"}) {
        EXPECT_NE(runAs(bob, "cat " + shellWord(ann.home + hidden) + " || ls " +
                                 shellWord(ann.home + hidden))
                      .first,
                  0)
            << hidden;
        EXPECT_NE(runAs(ann, "cat " + shellWord(bob.home + hidden) + " || ls " +
                                 shellWord(bob.home + hidden))
                      .first,
                  0)
            << hidden;
    }
    EXPECT_EQ(manifest(prefix_), before);
}

}  // namespace
}  // namespace pagelume::app
