#include "app/settings.h"

#include <utility>

#include "platform/exception.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace pagelume::app {

ProgramPaths::ProgramPaths(const std::string& exeDir)
    : stagingDir(exeDir + "/epubfiles"),
      contentDir(stagingDir + "/OEBPS"),
      configFile(exeDir + "/config.ini"),
      readme(exeDir + "/README.md") {}

ProgramPaths ProgramPaths::forProgramIn(const std::string& exeDir) {
    return choose(exeDir, directoryWritable(exeDir), currentUserDirs());
}

ProgramPaths ProgramPaths::choose(const std::string& exeDir, bool exeDirWritable,
                                  const UserDirs& user) {
    ProgramPaths paths(exeDir);
    const std::string installedStaging = installedDataDir(exeDir) + "/epubfiles";
    const bool besideHasStaging = platform::directoryExists(paths.stagingDir);
    const bool installedLayout = !besideHasStaging && platform::directoryExists(installedStaging);
    // Root may write /usr/bin, but settings and books in the making do not
    // belong there: an installed layout counts as installed for everyone.
    if ((exeDirWritable && !installedLayout) || !user.known())
        return paths;

    paths.stagingDir = user.cacheHome + "/pagelume/epubfiles";
    paths.contentDir = paths.stagingDir + "/OEBPS";
    paths.configFile = user.configHome + "/pagelume/config.ini";
    // A read-only unpacked copy carries its own container files and README.
    paths.containerSource = installedLayout ? installedStaging : exeDir + "/epubfiles";
    if (!platform::fileExists(paths.readme))
        paths.readme = installedDocDir(exeDir) + "/README.md";
    return paths;
}

std::string loadSavePath(const std::string& configFile) {
    return platform::readProfileString(configFile, "Options", "SavePath", "");
}

namespace {

void storeOption(const std::string& configFile, const char* key, const std::string& value) {
    const std::string folder = platform::directoryPart(configFile);
    if (!folder.empty() && !platform::directoryExists(folder))
        createPrivateDirectories(folder.substr(0, folder.size() - 1));
    if (!platform::writeProfileString(configFile, "Options", key, value))
        throw Exception("Unable to write to " + configFile);
}

}  // namespace

void storeSavePath(const std::string& configFile, const std::string& savePath) {
    storeOption(configFile, "SavePath", savePath);
}

namespace {

constexpr std::pair<epub::BookKind, const char*> kKindNames[] = {
    {epub::BookKind::Default, "default"},
    {epub::BookKind::Strict, "strict"},
    {epub::BookKind::FixedLayout, "fixed-layout"},
};

}  // namespace

epub::BookKind loadBookKind(const std::string& configFile) {
    const std::string name = platform::readProfileString(configFile, "Options", "BookKind", "");
    for (const auto& [kind, known] : kKindNames) {
        if (name == known)
            return kind;
    }
    return platform::readProfileString(configFile, "Options", "StrictEpub", "0") == "1"
               ? epub::BookKind::Strict
               : epub::BookKind::Default;
}

void storeBookKind(const std::string& configFile, epub::BookKind kind) {
    storeOption(configFile, "StrictEpub", kind == epub::BookKind::Strict ? "1" : "0");
    for (const auto& [known, name] : kKindNames) {
        if (known == kind)
            storeOption(configFile, "BookKind", name);
    }
}

FitChoice loadFitChoice(const std::string& configFile) {
    FitChoice c;
    c.device = platform::readProfileString(configFile, "Options", "FitDevice", "");
    c.size = platform::readProfileString(configFile, "Options", "FitSize", "");
    c.grey = platform::readProfileString(configFile, "Options", "Greyscale", "0") == "1";
    return c;
}

// Written only once fitting was chosen, so that other settings files stay as they were.
void storeFitChoice(const std::string& configFile, const FitChoice& choice) {
    if (choice.device.empty() && choice.size.empty() && !choice.grey &&
        platform::readProfileString(configFile, "Options", "FitDevice", "").empty() &&
        platform::readProfileString(configFile, "Options", "Greyscale", "").empty())
        return;
    storeOption(configFile, "FitDevice", choice.device);
    storeOption(configFile, "FitSize", choice.size);
    storeOption(configFile, "Greyscale", choice.grey ? "1" : "0");
}

bool loadRightToLeft(const std::string& configFile) {
    return platform::readProfileString(configFile, "Options", "RightToLeft", "0") == "1";
}

void storeRightToLeft(const std::string& configFile, bool rightToLeft) {
    storeOption(configFile, "RightToLeft", rightToLeft ? "1" : "0");
}

bool stagingDirectoryIsPrivate(const ProgramPaths& paths, std::string* problem) {
    if (paths.containerSource.empty())
        return true;
    createPrivateDirectories(paths.stagingDir);
    const std::string parent = platform::directoryPart(paths.stagingDir);
    for (const std::string& dir : {parent.substr(0, parent.size() - 1), paths.stagingDir}) {
        if (!folderIsPrivate(dir)) {
            if (problem)
                *problem = "The staging folder " + dir +
                           " is not yours alone (another user owns it, others may write to it, "
                           "or it is a link). Remove it and start Pagelume again.";
            return false;
        }
    }
    return true;
}

bool prepareStagingDirectory(const ProgramPaths& paths, std::string* error) {
    if (paths.containerSource.empty())
        return true;
    return syncContainerFiles(paths.containerSource, paths.stagingDir, error);
}

}  // namespace pagelume::app
