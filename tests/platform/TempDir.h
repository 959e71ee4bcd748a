#pragma once
// A fresh directory under the system's temporary directory for one test, removed with everything
// in it when the test ends; plus file helpers that use the standard library only, so that tests
// can prepare and check files without relying on the library's own file code.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace testfs {

namespace fs = std::filesystem;

// A path the standard library can open even when it is 260 characters or longer.
inline fs::path openable(const fs::path& p) {
#ifdef _WIN32
    std::wstring w = fs::path(p).make_preferred().wstring(); // the prefix turns off "/"
    if (w.size() >= 240 && w.compare(0, 4, L"\\\\?\\") != 0) return fs::path(L"\\\\?\\" + w);
#endif
    return p;
}

inline std::string utf8(const fs::path& p) {
    return p.u8string();
}

inline std::string withBackslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}
inline std::string withSlashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

inline std::string contentsOf(const fs::path& p) {
    std::ifstream in(openable(p), std::ios::binary);
    if (!in) return "<cannot read>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeAll(const fs::path& p, const std::string& bytes) {
    std::ofstream out(openable(p), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline bool setReadOnly(const fs::path& p, bool readOnly) {
    std::error_code ec;
    const fs::perms w = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(openable(p), readOnly ? w : fs::perms::owner_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add, ec);
    return !ec;
}

// Whether the system refuses to write to a read-only file. Windows does; Wine run by a privileged
// Unix user does not. The Linux stand-in refuses by design, whoever runs it.
inline bool readOnlyIsEnforced(const fs::path& scratchDir) {
#ifdef _WIN32
    fs::path probe = scratchDir / "read-only-probe.txt";
    if (!writeAll(probe, "x") || !setReadOnly(probe, true)) return true;
    bool refused = !std::ofstream(probe, std::ios::binary | std::ios::app);
    setReadOnly(probe, false);
    std::error_code ec;
    fs::remove(probe, ec);
    return refused;
#else
    (void)scratchDir;
    return true;
#endif
}

// A field of a case file: \n \r \t \0 \\ \xHH stand for those bytes, \e for nothing (an
// empty field), any other escaped byte for itself.
inline std::string unescape(const std::string& f) {
    std::string out;
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = i + 1 < f.size() && f[i] == '\\' ? f[++i] : 0;
        if (!c)
            out += f[i];
        else if (c == 'x')
            out += static_cast<char>(std::stoi(f.substr(i + 1, 2), nullptr, 16)), i += 2;
        else if (c != 'e')
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
    return out;
}

// The cases of a data file under tests/ (path relative to it): one case a line, fields split by
// tabs and left escaped (see unescape); '#' lines and blank lines are skipped. A missing or
// empty file gives one case of one field, which no test's field count accepts.
inline std::vector<std::vector<std::string>> caseRows(const std::string& relPath) {
    std::vector<std::vector<std::string>> cases;
#ifdef QX_TEST_DATA_DIR
    std::ifstream in(fs::u8path(std::string(QX_TEST_DATA_DIR) + "/" + relPath), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        cases.emplace_back();
        for (size_t at = 0, tab;; at = tab + 1) {
            tab = line.find('\t', at);
            cases.back().push_back(line.substr(at, tab - at));
            if (tab == std::string::npos) break;
        }
    }
#endif
    if (cases.empty()) cases.push_back({"<no cases in " + relPath + ">"});
    return cases;
}

class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        std::error_code ec;
        std::random_device rd;
        for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
            const auto tag = rd() ^ std::chrono::steady_clock::now().time_since_epoch().count();
            const fs::path candidate =
                fs::temp_directory_path(ec) /
                ("qx-test-" + std::to_string(tag) + "-" + std::to_string(counter.fetch_add(1)));
            if (fs::create_directory(candidate, ec)) root_ = candidate;
        }
    }
    ~TempDir() {
        if (root_.empty()) return;
        std::error_code ec, ignored;
        // Read-only files left behind would stop the removal on Windows.
        for (auto it = fs::recursive_directory_iterator(openable(root_), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(openable(root_), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !root_.empty(); }
    const fs::path& root() const { return root_; }
    // root/name, name given in UTF-8.
    fs::path path(const std::string& name) const { return root_ / fs::u8path(name); }
    std::string utf8Path(const std::string& name) const { return utf8(path(name)); }
    bool isEmpty() const {
        std::error_code ec;
        return fs::is_empty(root_, ec);
    }

private:
    fs::path root_;
};

} // namespace testfs
