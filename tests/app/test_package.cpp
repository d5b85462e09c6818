#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/startup.h"
#include "install_support.h"
#include "support/tempdir.h"

// cpack -G DEB from this build, read back with dpkg-deb.
namespace pagelume::app {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::readFile;
using test::run;
using test::shellWord;
using test::TempDir;

TEST(DebianPackage, DependsOnItsLibrariesAndHoldsEveryInstalledFile) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"})
        if (!test::have(tool))
            GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    auto [status, output] = run(shellWord(PAGELUME_CPACK_COMMAND) + " --config " +
                                shellWord(PAGELUME_BINARY_DIR "/CPackConfig.cmake") +
                                " -G DEB -B " + shellWord(dir.path()));
    ASSERT_EQ(status, 0) << output;
    std::string deb;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.path().extension() == ".deb")
            deb = e.path().string();
    ASSERT_NE(deb, "") << output;
    EXPECT_EQ(fs::path(deb).filename().string().rfind("pagelume_3.3_", 0), 0u) << deb;

    const auto [infoStatus, info] = run("dpkg-deb --info " + shellWord(deb));
    ASSERT_EQ(infoStatus, 0) << info;
    for (const char* field : {"Package: pagelume\n", "Version: 3.3\n", "Section: graphics\n",
                              "Recommends: qt6-wayland\n"})
        EXPECT_TRUE(contains(info, field)) << field << info;
    const std::string depends = run("dpkg-deb --field " + shellWord(deb) + " Depends").second;
    for (const char* library : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6",
                                "libqt6widgets6", "libjpeg62-turbo", "zlib1g"})
        EXPECT_TRUE(contains(depends, library)) << library << " missing from " << depends;

    const auto [listStatus, contents] = run("dpkg-deb --contents " + shellWord(deb));
    ASSERT_EQ(listStatus, 0) << contents;
    const std::string id = kAppId;
    for (const std::string& file :
         {std::string("./usr/bin/pagelume"), std::string("./usr/share/pagelume/epubfiles/mimetype"),
          std::string("./usr/share/pagelume/epubfiles/META-INF/container.xml"),
          "./usr/share/applications/" + id + ".desktop",
          "./usr/share/metainfo/" + id + ".metainfo.xml",
          "./usr/share/icons/hicolor/48x48/apps/" + id + ".png",
          "./usr/share/icons/hicolor/256x256/apps/" + id + ".png",
          "./usr/share/icons/hicolor/scalable/apps/" + id + ".svg",
          std::string("./usr/share/doc/pagelume/README.md"),
          std::string("./usr/share/man/man1/pagelume.1")})
        EXPECT_TRUE(contains(contents, " " + file + "\n")) << file;
    std::istringstream lines(contents);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(contains(line, " root/root ")) << line;
        const std::string path = line.substr(line.rfind(' ') + 1);
        EXPECT_TRUE(path == "./" || path == "./usr/" || path.rfind("./usr/", 0) == 0) << line;
        if (contains(line, "./usr/bin/pagelume")) {
            EXPECT_EQ(line.substr(0, 10), "-rwxr-xr-x");
        }
    }

    // Unpacked, it is the installed program with its data beside it.
    ASSERT_EQ(run("dpkg-deb -x " + shellWord(deb) + " " + shellWord(dir / "root")).first, 0);
    EXPECT_EQ(readFile(dir / "root/usr/share/pagelume/epubfiles/mimetype"),
              readFile(PAGELUME_SOURCE_DIR "/resources/epubfiles/mimetype"));
    const auto [runStatus, version] = run("env HOME=" + shellWord(dir / "home") + " " +
                                          shellWord(dir / "root/usr/bin/pagelume") + " --version");
    EXPECT_EQ(runStatus, 0);
    EXPECT_EQ(version, "Pagelume 3.3\n");
}

}  // namespace
}  // namespace pagelume::app
