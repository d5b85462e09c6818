#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// Reads a file back with python3's xml.dom.minidom, an XML parser nobody here
// wrote, and reports every element and attribute with its namespace.
namespace pagelume::test {

struct ParsedNode {
    bool isAttribute = false;
    std::string name, ns, value;  // value: an element's own text, an attribute's value
};

struct ParseResult {
    bool ok = false;
    std::string error;  // the parser's message when not ok
    std::vector<ParsedNode> nodes;

    // The first element or attribute of that name, or null.
    const ParsedNode* find(const std::string& name, bool attribute = false) const {
        for (const auto& n : nodes) {
            if (n.name == name && n.isAttribute == attribute)
                return &n;
        }
        return nullptr;
    }
    // Namespace and value of the first such node; "(missing)" when absent.
    std::string ns(const std::string& name, bool attribute = false) const {
        const ParsedNode* n = find(name, attribute);
        return n ? n->ns : "(missing)";
    }
    std::string value(const std::string& name, bool attribute = false) const {
        const ParsedNode* n = find(name, attribute);
        return n ? n->value : "(missing)";
    }
};

inline bool havePython() {
    return std::system("python3 -c 'import xml.dom.minidom' >/dev/null 2>&1") == 0;
}

inline std::string unescapeField(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

// `path` must not contain a single quote (test temp dirs never do).
inline ParseResult parseWithMinidom(const std::string& path) {
    ParseResult result;
    const std::string command =
        "python3 '" PAGELUME_SOURCE_DIR "/tests/xml/minidom_dump.py' '" + path + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        result.error = "cannot run python3";
        return result;
    }
    std::string output;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        output.append(buf, n);
    const int status = ::pclose(pipe);
    if (status != 0) {
        result.error = output;
        return result;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> fields;
        std::size_t from = start;
        for (std::size_t tab; (tab = output.find('\t', from)) < end; from = tab + 1) {
            fields.push_back(output.substr(from, tab - from));
        }
        fields.push_back(output.substr(from, end - from));
        if (fields.size() != 4)
            continue;
        result.nodes.push_back({fields[0] == "A", fields[1], fields[2], unescapeField(fields[3])});
    }
    result.ok = true;
    return result;
}

}  // namespace pagelume::test
