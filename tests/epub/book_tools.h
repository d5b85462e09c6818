#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <map>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <utility>

// Outside programs that read the books in tests.
namespace pagelume::epub {

// Runs a command and returns its exit status and everything it printed.
inline std::pair<int, std::string> run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, ""};
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) output.append(buf.data(), n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

inline bool have(const std::string& tool) { return run("command -v " + tool).first == 0; }

// epubcheck's messages on a book, as "SEVERITY(CODE)" once each, and its summary.
struct EpubcheckReport {
    bool ran = false;
    std::set<std::string> kinds;
    std::string text;
};
inline EpubcheckReport epubcheck(const std::string& book) {
    EpubcheckReport report;
    if (!have("java") || !std::filesystem::exists("/usr/bin/epubcheck"))
        return report;
    report.ran = true;
    report.text = run("java -jar /usr/bin/epubcheck '" + book + "'").second;
    std::istringstream lines(report.text);
    for (std::string line; std::getline(lines, line);) {
        const auto close = line.find("):");
        if ((line.rfind("ERROR(", 0) == 0 || line.rfind("WARNING(", 0) == 0 ||
             line.rfind("FATAL(", 0) == 0) &&
            close != std::string::npos)
            report.kinds.insert(line.substr(0, close + 1));
    }
    return report;
}

// The colour most pixels of a binary PPM have that are not white.
inline uint32_t dominantColour(const std::string& ppm) {
    std::istringstream in(ppm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    EXPECT_EQ(magic, "P6") << "colour pixels";
    std::map<uint32_t, int> counts;
    const std::size_t start = static_cast<std::size_t>(in.tellg());
    for (std::size_t i = start; i + 2 < ppm.size(); i += 3) {
        const uint32_t c = (uint32_t(uint8_t(ppm[i])) << 16) | (uint32_t(uint8_t(ppm[i + 1])) << 8) |
                           uint8_t(ppm[i + 2]);
        if (c != 0xFFFFFF)
            ++counts[c];
    }
    uint32_t best = 0xFFFFFF;
    int most = 0;
    for (const auto& [c, n] : counts)
        if (n > most)
            best = c, most = n;
    return best;
}

}  // namespace pagelume::epub
