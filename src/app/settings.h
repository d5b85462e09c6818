#pragma once

#include <string>

namespace pagelume::app {

// Where the program keeps its files, all beside the executable.
struct ProgramPaths {
    explicit ProgramPaths(const std::string& exeDir);
    std::string stagingDir;  // exe dir + "/epubfiles"
    std::string contentDir;  // staging dir + "/OEBPS"
    std::string configFile;  // exe dir + "/config.ini"
};

// The remembered output folder: [Options] SavePath of config.ini.
std::string loadSavePath(const std::string& configFile);
// Throws pagelume::Exception("Unable to write to <file>") when it cannot.
void storeSavePath(const std::string& configFile, const std::string& savePath);

}  // namespace pagelume::app
