// qxcsv: the CSV component from a shell. Every command drives one ClsCsv exactly as an
// automation client would: load (LoadFile2 in the charset given), read or change cells, save
// (SaveFile2). Whatever the user names as the output survives: a regular file is replaced by a
// temporary file beside it, renamed over it only when the whole save succeeded, so a failed run
// never leaves a partial file; a link keeps pointing where it did and the file it names is
// replaced; FIFOs, devices and "-" (standard output) are written in place.
#include "CommandLine.h"
#include "TableView.h"

#include "csv/ClsCsv.h"
#include "encoding/Charset.h"
#include "platform/CommandIo.h"
#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/XString.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: qxcsv [options] COMMAND ARGS...\n"
    "\n"
    "commands:\n"
    "  show FILE                      print the table as aligned columns (UTF-8)\n"
    "  get FILE ROW COL               print one cell (rows and columns count from 0)\n"
    "  set FILE ROW COL VALUE [-o OUT]\n"
    "                                 change one cell and save (to OUT, or over FILE)\n"
    "  convert IN OUT --from CS --to CS\n"
    "                                 load IN in one charset and save OUT in another\n"
    "  charsets [--json]              one row per charset: name, code page, conversion,\n"
    "                                 the names accepted for it\n"
    "\n"
    "FILE, IN or OUT \"-\" is standard input or output. A regular output file is replaced\n"
    "whole; a link's target is replaced and the link kept; FIFOs and devices are written.\n"
    "\n"
    "options:\n"
    "  --charset NAME   charset of the file read (default utf-8; \"ansi\" is the system ANSI\n"
    "                   code page); set also saves in it\n"
    "  --header         the first line holds the column names\n"
    "  --delimiter C    field delimiter, applied after the load (\"tab\" for a tab)\n"
    "  --lf             save with LF line ends (default CR LF)\n"
    "  --log FORMAT     print the component's report (text, xml or html) on stderr\n"
    "  -h, --help       this text\n"
    "\n"
    "exit status: 0 success, 1 the component reported a failure or the output cannot be\n"
    "written, 2 bad usage\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "qxcsv: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// File names and values arrive in the system's own encoding for command lines: UTF-8 on Linux,
// the ANSI code page on Windows.
void setArg(XString& x, const std::string& s) {
#ifdef _WIN32
    x.setFromAnsi(s.c_str());
#else
    x.setFromUtf8(s.c_str());
#endif
}

void writeOut(FILE* f, const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), f);
}

void printReport(ClsCsv& csv, const std::string& format) {
    XString report;
    if (format == "xml")
        csv.lastErrorXml(report, false);
    else if (format == "html")
        csv.lastErrorHtml(report, false);
    else
        csv.lastErrorText(report, false);
    writeOut(stderr, report.getUtf8());
}

int componentFailure(ClsCsv& csv, const CommandLine& cl, const std::string& what) {
    std::fprintf(stderr, "qxcsv: %s\n", what.c_str());
    printReport(csv, cl.log.empty() ? "text" : cl.log);
    return 1;
}

bool parseIndex(const std::string& s, int& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (errno || *end || v < -2147483647L - 1 || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
}

// "-" is standard input, read whole and then loaded as LoadFile2 loads a file: a leading UTF-8
// byte-order mark dropped, the bytes converted from the charset, the text up to its first NUL.
bool loadStandardInput(ClsCsv& csv, const std::string& cs) {
    // The input is read straight into the text's block: room for all of it at once when it is a
    // redirected file, else grown by half as it comes.
    StringBuffer text(static_cast<const char*>(nullptr));
    std::string error;
    const size_t known = platform::standardInputSize();
    const int kMost = 0x7FFFFFF0;
    for (;;) {
        const int size = text.getSize();
        // A redirected file read to its size is read once more into what room is left, to see
        // its end without growing.
        const int room = text.getCapacity() - size - 1;
        if (room <= 0 || (room < (1 << 16) && static_cast<size_t>(size) != known)) {
            long long more = size / 2 > (1 << 16) ? size / 2 : 1 << 16;
            if (size == 0 && known > 0) more = static_cast<long long>(known) + 1;
            if (more > kMost - size) more = kMost - size;
            if (more <= 0 || !text.expectNumBytes(static_cast<int>(more))) {
                std::fprintf(stderr, "qxcsv: standard input is too large\n");
                return false;
            }
            platform::prepareToWrite(text.getWritableData() + size,
                                     static_cast<size_t>(text.getCapacity() - size - 1));
        }
        const long long n =
            platform::readStandardInput(text.getWritableData() + size,
                                        static_cast<size_t>(text.getCapacity() - size - 1), error);
        if (n < 0) {
            std::fprintf(stderr, "qxcsv: %s\n", error.c_str());
            return false;
        }
        if (n == 0) break;
        text.setLength(size + static_cast<int>(n));
    }
    if (text.getSize() > 3 && std::memcmp(text.getString(), "\xEF\xBB\xBF", 3) == 0)
        text.removeFirstN(3);
    Charset charset;
    charset.setByName(cs.c_str());
    text.convertEncoding(charset.getCodePage(), 65001);
    // The string takes the text over; like any UTF-8 text it ends at a NUL.
    XString data;
    data.setFromUtf8Taking(text);
    return csv.LoadFromString(data);
}

bool load(ClsCsv& csv, const CommandLine& cl, const std::string& path, const std::string& cs) {
    csv.put_HasColumnNames(cl.header);
    if (path == "-") {
        if (!loadStandardInput(csv, cs)) return false;
    } else {
        XString file, charset;
        setArg(file, path);
        charset.setFromUtf8(cs.c_str());
        if (!csv.LoadFile2(file, charset)) return false;
    }
    if (!cl.delimiter.empty()) {
        XString d;
        setArg(d, cl.delimiter);
        csv.put_Delimiter(d);
    }
    return true;
}

// Where a save goes, decided before anything is loaded.
struct Output {
    std::string named;    // as the user wrote it
    std::string resolved; // the file it names, links followed; empty for standard output
    platform::OutputKind kind = platform::OutputKind::kStream;
};

// False (with the reason on stderr) for outputs that cannot be written as files at all.
bool resolveOutput(const std::string& named, Output& out) {
    out.named = named;
    if (named == "-") return true;
    out.kind = platform::resolveOutput(named, out.resolved);
    if (out.kind == platform::OutputKind::kDirectory) {
        std::fprintf(stderr, "qxcsv: %s is a directory\n", named.c_str());
        return false;
    }
    if (out.kind == platform::OutputKind::kNoFolder) {
        std::fprintf(stderr, "qxcsv: cannot write %s: its folder does not exist\n", named.c_str());
        return false;
    }
    return true;
}

// How a save ended: written, refused by the component (its report tells why), or stopped by the
// system after the component's part succeeded (the reason is already on stderr).
enum class Saved { kOk, kComponentFailed, kSystemFailed };

// A stream is written in one pass from the text the component saves to a string, in the charset
// a file save would use.
Saved saveToStream(ClsCsv& csv, const Output& out, const std::string& cs) {
    XString saved;
    if (!csv.SaveToString(saved)) return Saved::kComponentFailed;
    // The saved text is taken out of the string, not copied (the string is not used again).
    saved.getUtf8();
    StringBuffer text;
    text.swap(saved.getUtf8Sb());
    saved.clear();
    Charset charset;
    charset.setByName(cs.c_str());
    const int cp = charset.getCodePage();
    if (cp != 0 && cp != 65001) text.convertEncoding(65001, cp);
    std::string error;
    if (!platform::writeStream(out.resolved, text.getString(), static_cast<size_t>(text.getSize()),
                               error)) {
        std::fprintf(stderr, "qxcsv: cannot write %s: %s\n", out.named.c_str(), error.c_str());
        return Saved::kSystemFailed;
    }
    return Saved::kOk;
}

// A file is saved beside the one it replaces, then renamed over it.
Saved saveAtomically(ClsCsv& csv, const Output& out, const std::string& cs) {
    std::random_device rd;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".qxtmp%08x", static_cast<unsigned>(rd()));
    std::string temp = out.resolved + suffix, error;
    XString file, charset;
    setArg(file, temp);
    charset.setFromUtf8(cs.c_str());
    if (!csv.SaveFile2(file, charset)) {
        platform::removeFile(temp);
        return Saved::kComponentFailed;
    }
    if (!platform::replaceFile(temp, out.resolved, error)) {
        platform::removeFile(temp);
        std::fprintf(stderr, "qxcsv: cannot replace %s: %s\n", out.named.c_str(), error.c_str());
        return Saved::kSystemFailed;
    }
    return Saved::kOk;
}

// Saves, and tells the exit status of a failure (0 when saved).
int save(ClsCsv& csv, const CommandLine& cl, const Output& out, const std::string& cs) {
    Saved s = out.kind == platform::OutputKind::kStream ? saveToStream(csv, out, cs)
                                                        : saveAtomically(csv, out, cs);
    if (s == Saved::kComponentFailed) return componentFailure(csv, cl, "cannot save " + out.named);
    return s == Saved::kOk ? 0 : 1;
}

int cmdShow(ClsCsv& csv, const CommandLine& cl) {
    if (cl.positional.size() != 1) return usageError("show takes one FILE");
    if (!load(csv, cl, cl.positional[0], cl.charset))
        return componentFailure(csv, cl, "cannot load " + cl.positional[0]);
    TableView view;
    if (cl.header) {
        std::vector<std::string> names;
        int n = csv.get_NumColumns();
        for (int i = 0; i < n; ++i) {
            XString name;
            csv.GetColumnName(i, name);
            names.push_back(name.getUtf8());
        }
        view.addRow(std::move(names));
        view.setHeader(true);
    }
    int rows = csv.get_NumRows();
    for (int r = 0; r < rows; ++r) {
        std::vector<std::string> cells;
        int cols = csv.GetNumCols(r);
        for (int c = 0; c < cols; ++c) {
            XString cell;
            csv.GetCell(r, c, cell);
            cells.push_back(cell.getUtf8());
        }
        view.addRow(std::move(cells));
    }
    writeOut(stdout, view.render());
    if (!cl.log.empty()) printReport(csv, cl.log);
    return 0;
}

int cmdGet(ClsCsv& csv, const CommandLine& cl) {
    int row = 0, col = 0;
    if (cl.positional.size() != 3) return usageError("get takes FILE ROW COL");
    if (!parseIndex(cl.positional[1], row) || !parseIndex(cl.positional[2], col))
        return usageError("ROW and COL must be whole numbers");
    if (!load(csv, cl, cl.positional[0], cl.charset))
        return componentFailure(csv, cl, "cannot load " + cl.positional[0]);
    XString cell;
    if (!csv.GetCell(row, col, cell)) {
        std::fprintf(stderr, "qxcsv: row %d does not exist (the table has %d rows)\n", row,
                     csv.get_NumRows());
        return 1;
    }
    writeOut(stdout, std::string(cell.getUtf8()) + "\n");
    if (!cl.log.empty()) printReport(csv, cl.log);
    return 0;
}

int cmdSet(ClsCsv& csv, const CommandLine& cl) {
    int row = 0, col = 0;
    if (cl.positional.size() != 4) return usageError("set takes FILE ROW COL VALUE");
    if (!parseIndex(cl.positional[1], row) || !parseIndex(cl.positional[2], col))
        return usageError("ROW and COL must be whole numbers");
    Output out;
    if (!resolveOutput(cl.output.empty() ? cl.positional[0] : cl.output, out)) return 1;
    if (!load(csv, cl, cl.positional[0], cl.charset))
        return componentFailure(csv, cl, "cannot load " + cl.positional[0]);
    XString value;
    setArg(value, cl.positional[3]);
    if (!csv.SetCell(row, col, value)) {
        std::fprintf(stderr, "qxcsv: cannot set row %d, column %d\n", row, col);
        return 1;
    }
    csv.put_Crlf(!cl.lf);
    if (int status = save(csv, cl, out, cl.charset)) return status;
    if (!cl.log.empty()) printReport(csv, cl.log);
    return 0;
}

int cmdConvert(ClsCsv& csv, const CommandLine& cl) {
    if (cl.positional.size() != 2) return usageError("convert takes IN OUT");
    std::string from = cl.from.empty() ? cl.charset : cl.from;
    std::string to = cl.to.empty() ? std::string("utf-8") : cl.to;
    Output out;
    if (!resolveOutput(cl.positional[1], out)) return 1;
    if (!load(csv, cl, cl.positional[0], from))
        return componentFailure(csv, cl, "cannot load " + cl.positional[0]);
    csv.put_Crlf(!cl.lf);
    if (int status = save(csv, cl, out, to)) return status;
    if (!cl.log.empty()) printReport(csv, cl.log);
    return 0;
}

const char* conversionName(int codePage) {
    switch (codePageConversionKind(codePage)) {
    case CodePageConversion::kTable:
        return "table";
    case CodePageConversion::kBuiltIn:
        return "built in";
    default:
        return "none";
    }
}

// One row per code page: the name the component gives it, how it converts, and every name that
// selects it (the canonical one too, unless it selects another code page), resolved by the
// component itself ("ansi" and "oem" land on the system's code pages,
// "default" and "x-user-defined" on code page 0, no conversion).
int cmdCharsets(const CommandLine& cl) {
    struct Row {
        std::string name;
        std::vector<std::string> aliases;
    };
    std::map<int, Row> rows;
    for (int i = 0; i < canonicalNameCount(); ++i) {
        int cp = 0;
        canonicalNameAt(i, &cp);
        StringBuffer name;
        codePageToCharsetName(cp, name);
        rows[cp].name = name.getString();
    }
    std::set<std::string> names = {"ansi", "oem", "default", "x-user-defined"};
    for (int i = 0; i < charsetNameCount(); ++i)
        names.insert(charsetNameAt(i, nullptr));
    for (const std::string& n : names) {
        Charset charset;
        charset.setByName(n.c_str());
        Row& row = rows[charset.getCodePage()];
        row.name = charset.getName();
        row.aliases.push_back(n);
    }
    std::string out = cl.json ? "[" : "name\tcode page\tconversion\taliases\n";
    for (const auto& [cp, row] : rows) {
        if (cl.json) {
            // Every name is plain ASCII without quotes or backslashes.
            out += out.size() > 1 ? ",\n {" : "\n {";
            out += "\"name\": " + (row.name.empty() ? "null" : "\"" + row.name + "\"");
            out += ", \"codePage\": " + std::to_string(cp) + ", \"conversion\": \"" +
                   conversionName(cp) + "\", \"aliases\": [";
            for (size_t i = 0; i < row.aliases.size(); ++i)
                out += (i ? ", \"" : "\"") + row.aliases[i] + "\"";
            out += "]}";
            continue;
        }
        out += (row.name.empty() ? "-" : row.name) + "\t" + std::to_string(cp) + "\t" +
               conversionName(cp) + "\t";
        // One name holds a space ("iso-8859-8 visual"), so names are separated by commas.
        for (size_t i = 0; i < row.aliases.size(); ++i)
            out += (i ? ", " : "") + row.aliases[i];
        out += "\n";
    }
    if (cl.json) out += "\n]\n";
    writeOut(stdout, out);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    platform::keepFreedLargeBlocks();
    // The tool holds one table: its file, text and save pieces of a quarter megabyte and more
    // get large pages. Faulting them in page by page took about a third of a one-megabyte
    // table's conversion on a virtual machine where small pages are dear.
    qxUseLargeBlocksFrom(std::size_t(256) << 10);
    CommandLine cl = CommandLine::parse(argc, argv);
    if (!cl.error.empty()) return usageError(cl.error);
    if (cl.help || cl.command == "help") {
        writeOut(stdout, kUsage);
        return 0;
    }
    if (cl.command.empty()) return usageError("no command given");
    ClsCsv csv;
    if (cl.command == "show") return cmdShow(csv, cl);
    if (cl.command == "get") return cmdGet(csv, cl);
    if (cl.command == "set") return cmdSet(csv, cl);
    if (cl.command == "convert") return cmdConvert(csv, cl);
    if (cl.command == "charsets") return cmdCharsets(cl);
    return usageError("unknown command " + cl.command);
}
