#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/Unit1.h"
#include "app/settings.h"
#include "app/startup.h"
#include "fake_desktop.h"
#include "platform/files.h"
#include "support/tempdir.h"
#include "ui/pagelist.h"

namespace pagelume::app {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kMimetype = readFile(PAGELUME_SOURCE_DIR "/resources/epubfiles/mimetype");
const std::string kContainer =
    readFile(PAGELUME_SOURCE_DIR "/resources/epubfiles/META-INF/container.xml");

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A program installed in <dir>/prefix, as cmake --install lays it out.
struct InstalledLayout {
    TempDir dir;
    std::string bin = dir / "prefix/bin";
    std::string data = dir / "prefix/share/pagelume/epubfiles";
    UserDirs user{dir / "home/.config", dir / "home/.cache"};
    InstalledLayout() {
        fs::create_directories(bin);
        writeFile(data + "/mimetype", kMimetype);
        writeFile(data + "/META-INF/container.xml", kContainer);
        writeFile(dir / "prefix/share/doc/pagelume/README.md", "# Pagelume");
    }
};

TEST(ProgramPaths, AFolderTheUserMayWriteKeepsEverythingBesideTheProgram) {
    TempDir exe;
    fs::create_directories(exe / "epubfiles");
    const UserDirs user{exe / "cfg", exe / "cache"};
    for (bool withStaging : {true, false}) {
        if (!withStaging)
            fs::remove_all(exe / "epubfiles");
        const ProgramPaths p = ProgramPaths::choose(exe.path(), true, user);
        EXPECT_EQ(p.stagingDir, exe / "epubfiles");
        EXPECT_EQ(p.contentDir, exe / "epubfiles/OEBPS");
        EXPECT_EQ(p.configFile, exe / "config.ini");
        EXPECT_EQ(p.readme, exe / "README.md");
        EXPECT_EQ(p.containerSource, "");
    }
    std::string error;
    EXPECT_TRUE(prepareStagingDirectory(ProgramPaths(exe.path()), &error));
    EXPECT_FALSE(platform::pathExists(exe / "epubfiles")) << "nothing to copy beside the program";
}

TEST(ProgramPaths, AnInstalledCopyKeepsEachUsersFilesInTheirOwnFolders) {
    InstalledLayout in;
    // Root may write <prefix>/bin; the installed layout decides all the same.
    for (bool writable : {false, true}) {
        const ProgramPaths p = ProgramPaths::choose(in.bin, writable, in.user);
        EXPECT_EQ(p.configFile, in.dir / "home/.config/pagelume/config.ini");
        EXPECT_EQ(p.stagingDir, in.dir / "home/.cache/pagelume/epubfiles");
        EXPECT_EQ(p.contentDir, in.dir / "home/.cache/pagelume/epubfiles/OEBPS");
        EXPECT_EQ(p.containerSource, in.data);
        EXPECT_EQ(p.readme, in.dir / "prefix/share/doc/pagelume/README.md");
    }
    // Without a home to put them in, they stay where they always were.
    const ProgramPaths homeless = ProgramPaths::choose(in.bin, false, UserDirs{});
    EXPECT_EQ(homeless.configFile, in.bin + "/config.ini");
    EXPECT_EQ(homeless.containerSource, "");
}

TEST(ProgramPaths, AReadOnlyUnpackedCopyBringsItsOwnContainerFilesAndReadme) {
    TempDir exe;
    writeFile(exe / "epubfiles/mimetype", kMimetype);
    writeFile(exe / "README.md", "# Pagelume");
    const UserDirs user{exe / "cfg", exe / "cache"};
    const ProgramPaths p = ProgramPaths::choose(exe.path(), false, user);
    EXPECT_EQ(p.configFile, exe / "cfg/pagelume/config.ini");
    EXPECT_EQ(p.stagingDir, exe / "cache/pagelume/epubfiles");
    EXPECT_EQ(p.containerSource, exe / "epubfiles");
    EXPECT_EQ(p.readme, exe / "README.md");
}

TEST(UserDirs, FollowTheBaseDirectoryRules) {
    std::map<std::string, std::string> vars;
    auto env = [&vars](const char* name) -> const char* {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
    vars = {{"HOME", "/home/ann/"}};
    UserDirs d = userDirsFrom(env);
    EXPECT_EQ(d.configHome, "/home/ann/.config");
    EXPECT_EQ(d.cacheHome, "/home/ann/.cache");

    vars = {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "/cfg/"}, {"XDG_CACHE_HOME", "/var/c"}};
    d = userDirsFrom(env);
    EXPECT_EQ(d.configHome, "/cfg");
    EXPECT_EQ(d.cacheHome, "/var/c");

    // Relative and empty values are not to be used.
    vars = {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "cfg"}, {"XDG_CACHE_HOME", ""}};
    d = userDirsFrom(env);
    EXPECT_EQ(d.configHome, "/home/ann/.config");
    EXPECT_EQ(d.cacheHome, "/home/ann/.cache");

    vars = {{"HOME", "/"}};
    EXPECT_EQ(userDirsFrom(env).cacheHome, "/.cache");

    // No HOME: the password database's home, which is absolute when there is one.
    vars = {{"HOME", "relative"}};
    d = userDirsFrom(env);
    if (d.known()) {
        EXPECT_EQ(d.configHome.front(), '/');
        EXPECT_NE(d.configHome.find("/.config"), std::string::npos);
    }
}

class ContainerFiles : public ::testing::Test {
protected:
    InstalledLayout in;
    std::string staging = in.dir / "home/.cache/pagelume/epubfiles";
    std::string error;
};

TEST_F(ContainerFiles, MissingOnesAreCopiedIntoFoldersOnlyTheUserMayEnter) {
    ASSERT_TRUE(syncContainerFiles(in.data, staging, &error)) << error;
    EXPECT_EQ(readFile(staging + "/mimetype"), kMimetype);
    EXPECT_EQ(readFile(staging + "/META-INF/container.xml"), kContainer);
    for (const char* d : {"/.cache", "/.cache/pagelume", "/.cache/pagelume/epubfiles",
                          "/.cache/pagelume/epubfiles/META-INF"})
        EXPECT_EQ(modeOf(in.dir / "home" + d), 0700u) << d;
    EXPECT_EQ(modeOf(staging + "/mimetype"), 0644u);
    EXPECT_EQ(platform::listDirectory(staging).size(), 2u) << "no temporary file left";
}

TEST_F(ContainerFiles, DifferentOnesAreReplacedAndRightOnesLeftAlone) {
    writeFile(staging + "/mimetype", "application/zip");
    writeFile(staging + "/META-INF/container.xml", kContainer);
    writeFile(staging + "/OEBPS/page1.html", "from the last run");
    const ino_t containerBefore = inodeOf(staging + "/META-INF/container.xml");
    ASSERT_TRUE(syncContainerFiles(in.data, staging, &error)) << error;
    EXPECT_EQ(readFile(staging + "/mimetype"), kMimetype);
    EXPECT_EQ(inodeOf(staging + "/META-INF/container.xml"), containerBefore) << "not rewritten";
    EXPECT_TRUE(platform::fileExists(staging + "/OEBPS/page1.html")) << "only the two files";

    // The same length is not the same content.
    std::string flipped = kMimetype;
    flipped[0] = 'A';
    writeFile(staging + "/mimetype", flipped);
    ASSERT_TRUE(syncContainerFiles(in.data, staging, &error)) << error;
    EXPECT_EQ(readFile(staging + "/mimetype"), kMimetype);
}

TEST_F(ContainerFiles, FailuresAreReportedNotCrashedOn) {
    fs::create_directories(staging + "/mimetype/inside");  // a folder where the file belongs
    EXPECT_FALSE(syncContainerFiles(in.data, staging, &error));
    EXPECT_NE(error.find(staging + "/mimetype"), std::string::npos) << error;
    EXPECT_TRUE(platform::directoryExists(staging + "/mimetype/inside"));
    EXPECT_EQ(platform::listDirectory(staging).size(), 1u) << "no temporary file left";

    fs::remove(in.data + "/META-INF/container.xml");
    fs::remove_all(staging);
    EXPECT_FALSE(syncContainerFiles(in.data, staging, &error));
    EXPECT_EQ(error, "Cannot read " + in.data + "/META-INF/container.xml");

    ProgramPaths p = ProgramPaths::choose(in.bin, false, in.user);
    p.containerSource = in.dir / "nowhere";
    EXPECT_FALSE(prepareStagingDirectory(p, &error));
}

TEST(SavePath, AMissingSettingsFolderIsCreatedForTheUserAlone) {
    TempDir dir;
    const std::string config = dir / "home/.config/pagelume/config.ini";
    EXPECT_EQ(loadSavePath(config), "");
    storeSavePath(config, "/books");
    EXPECT_EQ(readFile(config), "[Options]\nSavePath=/books\n");
    EXPECT_EQ(modeOf(dir / "home/.config/pagelume"), 0700u);
    EXPECT_EQ(loadSavePath(config), "/books");
}

TEST(StartRequest, TellsTheWindowTheCommandLineAndPathsApart) {
    using Kind = StartRequest::Kind;
    EXPECT_EQ(parseStartRequest({}).kind, Kind::Window);
    const StartRequest bare = parseStartRequest({"--gui"});
    EXPECT_EQ(bare.kind, Kind::Window);
    EXPECT_TRUE(bare.pages.empty());

    const std::string cwd = fs::current_path().string();
    const StartRequest files =
        parseStartRequest({"--gui", "/b/2.png", "a/./1.png", "--", "-3.png", "--yes"});
    EXPECT_EQ(files.kind, Kind::Window);
    EXPECT_EQ(files.pages, (std::vector<std::string>{"/b/2.png", cwd + "/a/1.png", cwd + "/-3.png",
                                                     cwd + "/--yes"}));

    const StartRequest option = parseStartRequest({"--gui", "a.png", "--title", "T"});
    EXPECT_EQ(option.kind, Kind::BadUsage);
    EXPECT_NE(option.problem.find("--title"), std::string::npos);
    EXPECT_EQ(parseStartRequest({"--gui", "l.pagelume", "a.png"}).kind, Kind::BadUsage)
        << "a page list opens on its own";

    // Help and version need no staging directory; a conversion and the window do.
    EXPECT_FALSE(parseStartRequest({"a.png", "--version"}).usesStaging);
    EXPECT_FALSE(parseStartRequest({"-h"}).usesStaging);
    EXPECT_TRUE(parseStartRequest({"--title", "--help", "a.png"}).usesStaging);
    EXPECT_TRUE(parseStartRequest({"--", "--version"}).usesStaging);
    EXPECT_TRUE(parseStartRequest({"--gui", "--", "--help"}).usesStaging);
    EXPECT_TRUE(parseStartRequest({}).usesStaging);

    EXPECT_EQ(parseStartRequest({"--paths"}).kind, Kind::Paths);
    EXPECT_EQ(parseStartRequest({"--paths", "x"}).kind, Kind::BadUsage);
    for (std::vector<std::string> cli :
         {std::vector<std::string>{"--version"}, {"a.png", "--gui"}, {"--title", "--gui"}})
        EXPECT_EQ(parseStartRequest(cli).kind, Kind::CommandLine) << cli[0];
}

TEST(StartRequest, PathsAndBadUsageAreAnswered) {
    InstalledLayout in;
    const ProgramPaths p = ProgramPaths::choose(in.bin, false, in.user);
    std::ostringstream out, err;
    EXPECT_EQ(answerStartRequest(parseStartRequest({"--paths"}), p, out, err), 0);
    EXPECT_EQ(out.str(), "Settings: " + (in.dir / "home/.config/pagelume/config.ini") +
                             "\nStaging: " + (in.dir / "home/.cache/pagelume/epubfiles") + "\n");
    EXPECT_EQ(err.str(), "");
    out.str("");
    EXPECT_EQ(answerStartRequest(parseStartRequest({"--gui", "-x"}), p, out, err), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("pagelume: --gui takes only page files, not -x"), std::string::npos);
    EXPECT_FALSE(platform::pathExists(in.dir / "home")) << "answering touches nothing";
}

TEST(InstalledWindow, UsesTheUsersSettingsTheHandedPagesAndTheInstalledReadme) {
    InstalledLayout in;
    const ProgramPaths p = ProgramPaths::choose(in.bin, false, in.user);
    writeFile(p.configFile, "[Options]\nSavePath=/old\n");
    test::FakeDesktop desktop;
    TForm1 form(p, desktop);
    EXPECT_EQ(form.LabeledEdit4->text(), "/old");
    EXPECT_EQ(form.contentDir(), p.contentDir);

    addStartPages(form, {"/p/3.png", "/p/1.png", "/p/2.png"});
    ASSERT_EQ(form.pageCount(), 3);
    EXPECT_EQ(form.pagePath(0), "/p/3.png");
    EXPECT_EQ(form.pagePath(2), "/p/2.png");
    EXPECT_EQ(form.ListView1->rowCaption(2), "3");

    form.PNGButton5Click();
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0].toLocalFile().toStdString(),
              in.dir / "prefix/share/doc/pagelume/README.md");

    form.LabeledEdit4->setText("/new");
    writeFile(p.contentDir + "/page1.html", "left over");
    form.FormDestroy();
    EXPECT_EQ(readFile(p.configFile),
              "[Options]\nSavePath=/new\nStrictEpub=0\nBookKind=default\nRightToLeft=0\n");
    EXPECT_FALSE(platform::pathExists(p.contentDir));
    EXPECT_FALSE(platform::pathExists(in.bin + "/config.ini"));
}

}  // namespace
}  // namespace pagelume::app
