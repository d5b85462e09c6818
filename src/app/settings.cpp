#include "app/settings.h"

#include "platform/exception.h"
#include "platform/profile.h"

namespace pagelume::app {

ProgramPaths::ProgramPaths(const std::string& exeDir)
    : stagingDir(exeDir + "/epubfiles"),
      contentDir(stagingDir + "/OEBPS"),
      configFile(exeDir + "/config.ini") {}

std::string loadSavePath(const std::string& configFile) {
    return platform::readProfileString(configFile, "Options", "SavePath", "");
}

void storeSavePath(const std::string& configFile, const std::string& savePath) {
    if (!platform::writeProfileString(configFile, "Options", "SavePath", savePath))
        throw Exception("Unable to write to " + configFile);
}

}  // namespace pagelume::app
